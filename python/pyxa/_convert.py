"""Attribute conversion: what a NumPy user passes (Python numbers, lists, NumPy
scalars and arrays of any numeric dtype, dtype spellings) becomes the value the
engine expects for the attribute's kind, or a GraphError naming what is wrong."""

from __future__ import annotations

import json
import numbers
from collections.abc import Mapping
from typing import Any

import numpy as np

from ._errors import GraphError, GraphTypeError, did_you_mean
from ._opdefs import AttrDef

_INT32 = (-(2**31), 2**31 - 1)


def _what(value: Any) -> str:
    if isinstance(value, np.ndarray):
        return f"array of {value.dtype}"
    return type(value).__name__


def _scalar(value: Any) -> Any:
    """A NumPy scalar or 0-d array as its Python value; anything else unchanged."""
    if isinstance(value, np.ndarray) and value.ndim == 0:
        return value.item()
    if isinstance(value, np.generic):
        return value.item()
    return value


def _check_range(a: AttrDef, where: str, values: np.ndarray | float | int) -> None:
    arr = np.asarray(values)
    lowest, highest = a.lowest, a.highest
    if lowest is not None and arr.size and np.any(arr < lowest):
        bad = arr[arr < lowest].flat[0] if arr.ndim else arr.item()
        raise GraphError(f'{where}: "{a.name}" must be at least {_num(lowest)}, got {_num(bad)}')
    if highest is not None and arr.size and np.any(arr > highest):
        bad = arr[arr > highest].flat[0] if arr.ndim else arr.item()
        raise GraphError(f'{where}: "{a.name}" must be at most {_num(highest)}, got {_num(bad)}')


def _num(v: Any) -> str:
    v = _scalar(v)
    return str(int(v)) if isinstance(v, float) and v.is_integer() else str(v)


def to_int(a: AttrDef, where: str, value: Any) -> int:
    v = _scalar(value)
    if isinstance(v, bool) or not isinstance(v, numbers.Integral):
        raise GraphTypeError(f'{where}: "{a.name}" needs an integer, got {_what(value)} {value!r}')
    v = int(v)
    lo, hi = _INT32
    if not lo <= v <= hi:
        raise GraphError(f'{where}: "{a.name}" must fit in 32 bits, got {v}')
    _check_range(a, where, v)
    return v


def to_bool(a: AttrDef, where: str, value: Any) -> bool:
    v = _scalar(value)
    if isinstance(v, bool) or (isinstance(v, numbers.Integral) and int(v) in (0, 1)):
        return bool(v)
    raise GraphTypeError(f'{where}: "{a.name}" needs True or False, got {_what(value)} {value!r}')


def to_float(a: AttrDef, where: str, value: Any) -> float:
    v = _scalar(value)
    if isinstance(v, bool) or not isinstance(v, numbers.Real):
        raise GraphTypeError(f'{where}: "{a.name}" needs one number, got {_what(value)} {value!r}')
    _check_range(a, where, float(v))
    return float(v)


def to_array(a: AttrDef, where: str, value: Any, dtype: type) -> np.ndarray:
    """Any number, sequence or array of numbers as a contiguous 1-D array of `dtype`."""
    if isinstance(value, (str, bytes, Mapping)):
        raise GraphTypeError(f'{where}: "{a.name}" needs numbers, got {_what(value)}')
    try:
        arr = np.asarray(value)
    except (TypeError, ValueError) as exc:  # ragged nesting and the like
        raise GraphTypeError(f'{where}: "{a.name}" needs numbers, got {_what(value)} ({exc})') from None
    if arr.dtype.kind not in "biuf" or arr.dtype.kind == "b":
        raise GraphTypeError(f'{where}: "{a.name}" needs numbers, got {_what(arr)}')
    flat = arr.reshape(-1)
    n = flat.size
    if a.length is not None and n != a.length:
        raise GraphError(f'{where}: "{a.name}" needs {a.length} values, got {n}')
    if n < a.min_length:
        raise GraphError(f'{where}: "{a.name}" needs at least {a.min_length} value{"s" * (a.min_length > 1)}, '
                         f"got {n}")
    if dtype is np.int32:
        if flat.dtype.kind == "f" and not np.all(np.isfinite(flat) & (flat == np.round(flat))):
            raise GraphTypeError(f'{where}: "{a.name}" needs integers, got {_what(arr)} with fractions')
    _check_range(a, where, flat)
    return np.ascontiguousarray(flat, dtype=dtype)


def to_choice(a: AttrDef, where: str, value: Any, fold_case: bool = False) -> str:
    if not isinstance(value, str):
        raise GraphTypeError(f'{where}: "{a.name}" needs a string, got {_what(value)} {value!r}')
    v = value.upper() if fold_case else value
    if a.choices and v not in a.choices:
        options = ", ".join(f'"{c}"' for c in a.choices)
        raise GraphError(f'{where}: "{a.name}" must be one of {options}, got "{value}"'
                         f"{did_you_mean(v, a.choices)}")
    return v


def to_dtype_name(a: AttrDef, where: str, value: Any) -> str:
    """A dtype given as "uint8", np.uint8 or np.dtype("uint8") as its engine name."""
    try:
        dtype: np.dtype[Any] = np.dtype(value)
    except TypeError:
        raise GraphTypeError(f'{where}: "{a.name}" needs a dtype such as "uint8" or np.uint8, '
                             f"got {_what(value)} {value!r}") from None
    name = dtype.name
    if a.choices and name not in a.choices:
        options = ", ".join(f'"{c}"' for c in a.choices)
        raise GraphError(f'{where}: "{a.name}" must be one of {options}, got {name}')
    return name


def to_switches(a: AttrDef, where: str, value: Any) -> str:
    """A dict of boolean switches, or its JSON text, as JSON text."""
    if isinstance(value, str):
        try:
            value = json.loads(value)
        except ValueError:
            raise GraphError(f'{where}: "{a.name}" is not JSON text: {value!r}') from None
    if not isinstance(value, Mapping):
        raise GraphTypeError(f'{where}: "{a.name}" needs a dict of switches, got {_what(value)}')
    for key, flag in value.items():
        if key not in a.choices:
            allowed = ", ".join(f'"{c}"' for c in a.choices)
            raise GraphError(f'{where}: "{a.name}" has unknown switch "{key}" (allowed: {allowed})'
                             f"{did_you_mean(str(key), a.choices)}")
        if not isinstance(flag, (bool, np.bool_)):
            raise GraphTypeError(f'{where}: "{a.name}" switch "{key}" needs True or False, got {flag!r}')
    return json.dumps({k: bool(v) for k, v in value.items()})


def to_engine(a: AttrDef, where: str, value: Any) -> Any:
    """The engine's value for attribute `a`; `where` names the node in messages."""
    kind = a.kind
    if kind == "int":
        return to_int(a, where, value)
    if kind == "bool":
        return to_bool(a, where, value)
    if kind == "float":
        return to_float(a, where, value)
    if kind == "float64":
        # A NumPy float64 scalar reaches the engine as a 64-bit float; a Python float would be narrowed.
        return np.float64(to_float(a, where, value))
    if kind == "floats":
        return to_array(a, where, value, np.float32)
    if kind == "floats64":
        return to_array(a, where, value, np.float64)
    if kind == "ints":
        return to_array(a, where, value, np.int32)
    if kind == "str":
        return to_choice(a, where, value)
    if kind == "cfa":
        return to_choice(a, where, value, fold_case=True)
    if kind == "dtype":
        return to_dtype_name(a, where, value)
    if kind == "json":
        return to_switches(a, where, value)
    raise AssertionError(f"attribute kind {kind!r} has no conversion")


def to_json(value: Any) -> Any:
    """An engine value as plain JSON-serialisable Python (arrays become lists)."""
    if isinstance(value, np.ndarray):
        return value.tolist()
    if isinstance(value, np.generic):
        return value.item()
    return value
