"""Exceptions the builder raises before anything runs; each message names the
node (id and op) and the attribute or input at fault."""

from __future__ import annotations

from collections.abc import Iterable


class GraphError(ValueError):
    """A graph the builder refuses: unknown op or attribute, impossible value,
    or images that do not fit the op."""


class GraphTypeError(GraphError, TypeError):
    """An attribute value of the wrong kind (a string where numbers belong, a
    float where an integer belongs, ...)."""


def node_label(node_id: int, op: str) -> str:
    """How messages name a node: its id and its op."""
    return f"node {node_id} ({op})"


def did_you_mean(word: str, choices: Iterable[str]) -> str:
    """A '; did you mean "x"?' suffix naming the closest choice, or ''."""
    import difflib  # only a refusal pays for its import

    close = difflib.get_close_matches(word, list(choices), n=1)
    return f'; did you mean "{close[0]}"?' if close else ""
