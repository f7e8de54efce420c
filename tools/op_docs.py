"""Renders the op table as text: one block per op that is both its section of
the op reference and the docstring of its builder method."""

from __future__ import annotations

import textwrap

from op_table import OPS, AttrDef, OpDef

WIDTH = 80  # the docstrings add 8 columns of indent

KIND_WORDS = {
    "int": "integer", "bool": "flag", "float": "number (float32)", "float64": "number (float64)",
    "floats": "float32 array", "floats64": "float64 array", "ints": "integer array", "str": "string",
    "dtype": "dtype", "cfa": "CFA pattern", "json": "switches (dict or JSON text)",
}

DERIVED_WORDS = {
    "input_channels": "the input's channel count",
    "coefficients_length": "the number of coefficients minus 1",
}


def _value(v: object) -> str:
    if isinstance(v, bool):
        return "true" if v else "false"
    if isinstance(v, str):
        return f'"{v}"' if v != "zeros" else "zeros"
    return repr(v)


def _status(a: AttrDef) -> str:
    if a.required and a.derived:
        return f"required; omitted: {DERIVED_WORDS[a.derived]}"
    if a.required and a.default is not None:
        return f"required; omitted: {_value(a.default)}"
    if a.required:
        return "required"
    return "optional" + (f"; absent means {_value(a.default)}" if a.default is not None else "")


def _limits(a: AttrDef) -> list[str]:
    out = []
    if a.length is not None:
        out.append(f"exactly {a.length} values")
    elif a.length_rule is not None:
        out.append(f"{a.length_rule} values")
    elif a.kind in ("floats", "floats64", "ints"):
        out.append(f"at least {a.min_length} value{'s' * (a.min_length > 1)}")
    lowest, highest = a.lowest, a.highest
    if lowest is not None and highest is not None:
        out.append(f"{lowest:g} to {highest:g}")
    elif lowest is not None:
        out.append(f"at least {lowest:g}")
    elif highest is not None:
        out.append(f"at most {highest:g}")
    if a.choices and a.kind != "json":
        out.append("one of " + ", ".join(f'"{c}"' for c in a.choices))
    return out


def attr_line(a: AttrDef) -> str:
    parts = [KIND_WORDS[a.kind], _status(a), *_limits(a)]
    return f"- {a.name}: {', '.join(parts)}. {a.doc}"


def _dtypes(op: OpDef) -> str:
    channels = "any channels" if op.input_channels is None else (
        " or ".join(str(c) for c in op.input_channels) + " channel" + "s" * (op.input_channels != (1,)))
    return f"{' or '.join(op.input_dtypes)}, {channels}"


def op_text(op: OpDef) -> str:
    """The op's description, images and attributes, as plain text with Markdown lists."""
    kind = "Correction opcode (runs on the whole image at once). " if op.kind == "opcode" else ""
    lines = [kind + op.doc, ""]
    lines.append(f"- input: {_dtypes(op) if op.input_dtypes else 'none'}")
    lines.append(f"- output: {op.output_doc}")
    lines += ["", "Attributes:", ""]
    lines += [attr_line(a) for a in op.attrs]
    if op.notes:
        lines += [""] + list(op.notes)
    return "\n".join(_wrap(line) for line in lines)


def _wrap(line: str) -> str:
    indent = "  " if line.startswith("- ") else ""
    return textwrap.fill(line, WIDTH, subsequent_indent=indent, break_on_hyphens=False) if line else line


HEADER = """# Op reference

Generated from `python/pyxa/_opdefs.py` by `python tools/generate_ops.py`; do not edit.

Every op is a method of `pyxa.Graph` with keyword arguments named like its
attributes (`g.normalize_raw(x, black_level=..., white_level=...)`), and a node
`{"op": name, "attrs": {...}}` in the graph dict of `_pyxa.execute_graph`.
Integer images stand for fractions of 2^bits - 1; float32 images are in [0, 1].
An attribute marked "omitted: v" is required by the engine, and the builder
sends v when the caller leaves it out. Arrays accept Python lists and NumPy
arrays of any numeric dtype (multi-dimensional ones are flattened row-major).
"""


def reference() -> str:
    """The whole op reference, docs/ops.md."""
    index = " ".join(f"[{op.name}](#{op.name})" for op in OPS)
    sections = [f"## {op.name}\n\n{op_text(op)}\n" for op in OPS]
    return HEADER + "\n" + index + "\n\n" + "\n".join(sections)
