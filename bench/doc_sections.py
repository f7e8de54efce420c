"""Sections of docs/performance.md that one benchmark writes and another must
keep: the suite (run.py) rewrites the document, the whole-file benchmark
(whole_files.py) owns one "## " section in it."""

from pathlib import Path

WHOLE_FILES = "## Whole files"


def split_section(text, heading):
    """(before, section, after): the section runs from its heading line to the
    next "## " heading or the end; an absent section is empty."""
    lines = text.splitlines(keepends=True)
    start = next((i for i, line in enumerate(lines) if line.rstrip() == heading), None)
    if start is None:
        return text, "", ""
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("## ")), len(lines))
    return "".join(lines[:start]), "".join(lines[start:end]), "".join(lines[end:])


def replace_section(text, heading, body):
    """The text with its section under `heading` replaced by `body` (which
    starts with the heading), or `body` appended when there is none."""
    before, _, after = split_section(text, heading)
    if not before.endswith("\n\n") and before:
        before = before.rstrip("\n") + "\n\n"
    return before + body.rstrip("\n") + "\n" + ("\n" + after if after else "")


def keep_section(path: Path, new_text, heading=WHOLE_FILES):
    """`new_text` with the section under `heading` of the document now at
    `path` carried over, so rewriting the document does not drop it."""
    if not path.exists():
        return new_text
    _, section, _ = split_section(path.read_text(), heading)
    return replace_section(new_text, heading, section) if section else new_text
