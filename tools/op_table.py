"""The op table (python/pyxa/_opdefs.py) loaded on its own, without the pyxa
package: the package's __init__ imports the generated methods, which may be
stale or missing while a new op is being added."""

from __future__ import annotations

import importlib.util
import sys
from pathlib import Path

_PATH = Path(__file__).resolve().parents[1] / "python" / "pyxa" / "_opdefs.py"
_spec = importlib.util.spec_from_file_location("pyxa_op_table", _PATH)
assert _spec is not None and _spec.loader is not None
opdefs = importlib.util.module_from_spec(_spec)
sys.modules[_spec.name] = opdefs  # dataclasses look the module up by name
_spec.loader.exec_module(opdefs)

OPS = opdefs.OPS
AttrDef = opdefs.AttrDef
OpDef = opdefs.OpDef
