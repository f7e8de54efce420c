#!/usr/bin/env python3
"""Fails when a C or C++ include points up a layer, across two independent
layers, when an exported C header includes anything of ours, or when an
include cannot be placed in a layer at all.

The layer rule is the line of docs/architecture.md that starts with "Layers:",
e.g. "Layers: include ← core ← opcodes, kernels ← ops ← engine ← marshal":
each name is a top-level folder, "←" separates a layer from the ones above it,
and names separated by commas sit at the same height but may not include each
other (the opcode library stays usable without the kernels, and the other way
round). The bottom folder holds the exported C headers, included by their bare
names; every other include names its layer folder first ("core/status.hpp")
or a file beside the includer.
"""
from __future__ import annotations

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = {".c", ".h", ".cpp", ".hpp"}
# The folder of the exported C headers, the bottom layer: they include only the C library.
EXPORTED = "include"


def read_rule(doc: Path) -> dict[str, int]:
    """Maps each layer folder to its height (0 is the bottom)."""
    for line in doc.read_text(encoding="utf-8").splitlines():
        text = line.strip().strip("`*")
        if text.startswith("Layers:"):
            body = text[len("Layers:"):].strip().strip("`")
            return {name.strip(): height
                    for height, group in enumerate(body.split("←"))
                    for name in group.split(",")}
    raise SystemExit(f"{doc}: no line starting with 'Layers:'")


def target_layer(include: str, includer: Path, root: Path, layers: dict[str, int]) -> str | None:
    """The layer an include names: its first folder, the exported headers' folder
    for a bare name found there, the includer's own layer for a file beside it;
    None when it is none of these."""
    first = include.split("/", 1)[0]
    if "/" in include and first in layers and (root / include).is_file():
        return first
    if "/" not in include and (root / EXPORTED / include).is_file():
        return EXPORTED
    if (includer.parent / include).is_file():
        return includer.relative_to(root).parts[0]
    return None


def problems(root: Path, layers: dict[str, int]) -> list[str]:
    found = []
    for layer in layers:
        for path in sorted((root / layer).rglob("*")):
            if path.suffix not in SOURCE_SUFFIXES:
                continue
            rel = path.relative_to(root)
            lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                include = match.group(1)
                where = f"{rel}:{number}: includes \"{include}\""
                if layer == EXPORTED:
                    found.append(f"{where}, but an exported header includes only the C library")
                    continue
                target = target_layer(include, path, root, layers)
                if target is None:
                    found.append(f"{where}, which is no file of a layer folder, of {EXPORTED}/ or beside it")
                    continue
                if target == layer:
                    continue
                if layers[target] > layers[layer]:
                    found.append(f"{where}, a layer above {layer}")
                elif layers[target] == layers[layer]:
                    found.append(f"{where}, a layer beside {layer} that it must not depend on")
    return found


def main() -> int:
    layers = read_rule(ROOT / "docs" / "architecture.md")
    found = problems(ROOT, layers)
    for line in found:
        print(line, file=sys.stderr)
    if found:
        print(f"{len(found)} include(s) against the layer rule", file=sys.stderr)
        return 1
    print(f"layers: every include of {', '.join(layers)} points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
