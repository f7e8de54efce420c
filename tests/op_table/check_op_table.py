"""Holds the op definitions the engine was compiled with, and the opcode
library's schemas (printed as JSON by the program named on the command line),
against the Python op table they are generated from: every op in the same
order, each attribute with the same kind, requirement, counts, range and
choices, each opcode parameter with the same type, count and flag."""

from __future__ import annotations

import json
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from op_table import opdefs as _opdefs  # noqa: E402  (the table alone: no native module, no package)

# The opcode library's AttrType codes for the table's kinds.
TYPE_CODE = {"int": 1, "bool": 1, "float": 2, "float64": 3, "ints": 4, "floats": 5, "floats64": 6, "str": 7}


def expected_row(a: _opdefs.AttrDef) -> dict[str, object]:
    row: dict[str, object] = {"name": a.name, "kind": a.kind, "required": a.required}
    if a.kind in ("floats", "ints"):
        if a.length is not None:
            row["length"] = a.length
        elif a.min_length != 1:
            row["min_length"] = a.min_length
    if a.kind == "int":
        if a.minimum is not None:
            row["minimum"] = int(a.minimum)
        if a.maximum is not None:
            row["maximum"] = int(a.maximum)
    if a.empty_is_absent:
        row["empty_is_absent"] = True
    if a.kind in ("str", "dtype", "cfa", "json"):
        row["choices"] = list(a.engine_order or a.choices)
    return row


def expected_param(a: _opdefs.AttrDef) -> dict[str, object]:
    scalar = a.kind in ("int", "bool", "float", "float64", "str")
    count = a.length if a.length is not None else (1 if scalar else 0)
    return {"name": a.name, "type": TYPE_CODE[a.kind], "count": count, "optional": not a.required}


def expected(op: _opdefs.OpDef) -> dict[str, object]:
    if op.kind == "opcode":
        return {"name": op.name, "family": "opcode", "schema": [expected_param(a) for a in op.attrs]}
    return {"name": op.name, "family": op.family, "needs_input": bool(op.input_dtypes),
            "tensor_checks_first": op.tensor_checks_first, "attrs": [expected_row(a) for a in op.attrs]}


def differences(engine: list[dict[str, object]]) -> list[str]:
    want = [expected(op) for op in _opdefs.OPS]
    names = [op["name"] for op in engine]
    if names != [op["name"] for op in want]:
        return [f"ops differ: engine {names}, table {[op['name'] for op in want]}"]
    return [f"{w['name']}: engine {json.dumps(e)}, table {json.dumps(w)}" for e, w in zip(engine, want) if e != w]


def main() -> int:
    engine = json.loads(subprocess.run([sys.argv[1]], check=True, capture_output=True, text=True).stdout)
    found = differences(engine)
    for line in found:
        print(line, file=sys.stderr)
    print(f"{len(engine)} ops and opcodes: " + ("the engine and the table differ" if found else "the engine has the table's rows"))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
