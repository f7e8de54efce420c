"""The note Graph.run adds to a refused array binding: which of the caller's
arguments it was, what the graph expects there, and how to fix the array."""

from __future__ import annotations

import re

from ._tensor import Tensor

__all__ = ["add_binding_note", "refused_binding"]

# The native module's own note on a binding refusal begins like this.
_ENGINE_NOTE = re.compile(r"^tensor (\d+) \((input|output)\): ")


def refused_binding(error: BaseException) -> tuple[int, bool] | None:
    """The tensor id of the binding the native module refused and whether it
    is an output, read from its note; None for any other refusal."""
    for note in getattr(error, "__notes__", None) or ():
        found = _ENGINE_NOTE.match(note) if isinstance(note, str) else None
        if found:
            return int(found.group(1)), found.group(2) == "output"
    return None


def _hint(message: str, tensor: Tensor, output: bool) -> str:
    """How to turn the array the caller passed into one the graph takes. An
    output is written in place, so a converted copy of it would receive the
    result instead of the caller's array: outputs are told to make one anew."""
    dtype = f"np.{tensor.dtype.name}"
    fresh = f"np.empty({tensor.shape}, {dtype})"
    if "shape" in message or "(H,W)" in message:
        return "the graph was built for that shape: build it for this array or pass one of that shape"
    if "must be a numpy ndarray" in message:
        return f"pass a NumPy array, e.g. {fresh if output else f'np.asarray(a, dtype={dtype})'}"
    if "writeable" in message:
        return f"pass a writeable array, e.g. {fresh}"
    if "dtype mismatch" in message or "must be uint8/uint16/float32" in message:
        return f"pass one made with that type, e.g. {fresh}" if output else f"convert it with a.astype({dtype})"
    if "packed pixels" in message or "row stride" in message:
        if output:
            return f"pass an array whose pixels are packed, e.g. {fresh}, not a strided view"
        return "pass np.ascontiguousarray(a), a copy whose pixels are packed"
    return "pass an array of that type and shape"


def add_binding_note(error: BaseException, tensor: Tensor, argument: str, output: bool) -> None:
    """Adds (PEP 678) e.g. "out=: expected a uint8 array of shape (4, 6, 3);
    convert it with a.astype(np.uint8)" to a refusal; its message stays."""
    message = str(error.args[0]) if error.args else ""
    note = (f"{argument}: expected a {tensor.dtype.name} array of shape {tensor.shape}; "
            f"{_hint(message, tensor, output)}")
    if hasattr(error, "add_note"):
        error.add_note(note)
    else:  # Python 3.10 reads the same list
        notes = getattr(error, "__notes__", None)
        error.__notes__ = [*(notes or ()), note]

