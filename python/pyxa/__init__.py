"""pyxa: raw-photo development graphs over NumPy arrays.

Build a graph op by op with ``Graph`` (every op is a method named like it,
with keyword arguments named like its attributes), then ``run`` it: the native
engine ``_pyxa`` checks it, fuses the ops into row-streaming chains and writes
the result arrays in one call. ``docs/ops.md`` lists every op.
"""

import gc as _gc
import importlib as _importlib

# The cyclic collector is paused while the package loads: the import makes
# tens of thousands of long-lived objects (classes, functions, tables) and
# nothing to collect, and the collections it would trigger cost a command's
# start-up several milliseconds.
_collecting = _gc.isenabled()
_gc.disable()
try:
    from ._errors import GraphError, GraphTypeError
    from ._opdefs import OPS, AttrDef, OpDef, table_as_json
    from .graph import Graph, Tensor
    from .develop import develop, develop_mosaic
    from .raw import RawFileError, RawImage, read_raw
    from .dng import read_dng, read_profile
    from .writers import write_image
    from .output import read_metadata
    from .resize import resize
    from .batch import develop_many
    from .profile_chart import plot_profile, write_chrome_trace
finally:
    if _collecting:
        _gc.enable()

try:
    __version__: str = _importlib.import_module("pyxa._version").__version__
except ImportError:  # running from a source tree: the build writes _version.py
    __version__ = "0.0.0"

__all__ = [
    "OPS",
    "AttrDef",
    "Graph",
    "GraphError",
    "GraphTypeError",
    "OpDef",
    "RawFileError",
    "RawImage",
    "Tensor",
    "__version__",
    "develop",
    "develop_many",
    "develop_mosaic",
    "plot_profile",
    "read_dng",
    "read_metadata",
    "read_profile",
    "read_raw",
    "resize",
    "table_as_json",
    "write_chrome_trace",
    "write_image",
]
