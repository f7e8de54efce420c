"""Holds the engine's built-in op definitions (printed as JSON by the program
named on the command line) against the Python op table: the same ops, and for
each the same attributes with the same wire type and required flag."""

from __future__ import annotations

import json
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
from pyxa import _opdefs  # noqa: E402  (pure data: needs no native module)

# What the engine receives for each attribute kind of the Python table.
WIRE_TYPE = {
    "int": "int32", "bool": "int32", "float": "float32", "float64": "float64",
    "floats": "float32 array", "floats64": "float64 array", "ints": "int32 array",
    "str": "string", "dtype": "string", "cfa": "string", "json": "string",
}


def differences(engine: list[dict]) -> list[str]:
    python_ops = {op.name: op for op in _opdefs.OPS if op.kind == "op"}
    engine_ops = {op["name"]: op for op in engine}
    found = [f"{name}: only in the Python table" for name in sorted(python_ops.keys() - engine_ops.keys())]
    found += [f"{name}: only in the engine" for name in sorted(engine_ops.keys() - python_ops.keys())]
    for name in sorted(python_ops.keys() & engine_ops.keys()):
        py_attrs = {a.name: (WIRE_TYPE[a.kind], a.required) for a in python_ops[name].attrs}
        cpp_attrs = {a["name"]: (a["type"], a["required"]) for a in engine_ops[name]["attrs"]}
        for attr in sorted(py_attrs.keys() | cpp_attrs.keys()):
            py, cpp = py_attrs.get(attr), cpp_attrs.get(attr)
            if py != cpp:
                found.append(f"{name}.{attr}: Python (type, required) {py}, engine {cpp}")
    return found


def main() -> int:
    engine = json.loads(subprocess.run([sys.argv[1]], check=True, capture_output=True, text=True).stdout)
    found = differences(engine)
    for line in found:
        print(line, file=sys.stderr)
    print(f"{len(engine)} built-in ops: " + ("the two tables differ" if found else "both tables agree"))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
