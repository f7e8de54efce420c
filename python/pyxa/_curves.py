"""Output curves of the linear look: sRGB, linear, or a gamma with a linear toe
given as (gamma, toe slope), sampled into the table the colour transform
looks up."""

from __future__ import annotations

import math
from typing import Union

import numpy as np
import numpy.typing as npt

__all__ = ["Curve", "curve_table"]

Curve = Union[str, tuple[float, float]]


def _toe_power(gamma: float, slope: float) -> tuple[float, float]:
    """The junction x0 and offset a of a curve that is slope*x below x0 and
    (1 + a) * x**(1/gamma) - a above it, joined with the same value and slope.

    That is how camera raw converters build a "gamma with a linear toe" from a
    (gamma, toe slope) pair; (2.4, 12.92) lands on x0 = 0.00304, a = 0.0550,
    within rounding of sRGB's published constants."""
    p = 1.0 / gamma
    if slope <= 0 or p >= 1:
        return 0.0, 0.0

    # Equal values and equal slopes at x0 leave one equation in x0:
    # slope * x0 * (1/p - 1) == slope * x0**(1 - p) / p - 1, solved by bisection.
    def excess(x0: float) -> float:
        return slope * math.pow(x0, 1 - p) / p - 1 - slope * x0 * (1 / p - 1)

    lo, hi = 1e-12, 1.0
    for _ in range(100):
        mid = (lo + hi) / 2
        if excess(mid) < 0:
            lo = mid
        else:
            hi = mid
    x0 = (lo + hi) / 2
    return x0, slope * x0 * (1 / p - 1)


_CURVES: dict[tuple[Curve, int], np.ndarray] = {}


def _curve_values(curve: Curve, entries: int) -> np.ndarray:
    """The curve sampled at ``entries`` points over [0, 1], kept for the next call."""
    key = (curve, entries)
    if key not in _CURVES:
        if len(_CURVES) >= 16:
            _CURVES.clear()
        _CURVES[key] = _sample_curve(curve, entries)
    return _CURVES[key]


def _sample_curve(curve: Curve, entries: int) -> np.ndarray:
    x = np.linspace(0.0, 1.0, entries)
    if curve == "linear":
        y = x
    elif curve == "srgb":
        y = np.where(x <= 0.0031308, 12.92 * x, 1.055 * np.power(x, 1 / 2.4) - 0.055)
    else:
        assert not isinstance(curve, str)
        gamma, slope = curve
        x0, a = _toe_power(float(gamma), float(slope))
        y = np.where(x < x0, slope * x, (1 + a) * np.power(x, 1 / gamma) - a)
    y.flags.writeable = False
    return y


def curve_table(curve: Curve, dtype: npt.DTypeLike) -> np.ndarray:
    """The output curve as the float32 table the colour transform looks up.

    ``curve`` is "srgb", "linear" or a (gamma, toe slope) pair such as
    (2.4, 12.92). Integer outputs get half a step added to every entry: the
    engine truncates toward zero when it stores an integer, so this makes the
    stored value the nearest one instead of the one below."""
    if isinstance(curve, str):
        if curve not in ("srgb", "linear"):
            raise ValueError(f'curve must be "srgb", "linear" or a (gamma, slope) pair, got {curve!r}')
        key: Curve = curve
    else:
        try:
            gamma, slope = (float(v) for v in curve)
        except (TypeError, ValueError):
            raise ValueError(f'curve must be "srgb", "linear" or a (gamma, slope) pair, got {curve!r}') from None
        if not (gamma >= 1 and slope >= 0 and math.isfinite(gamma) and math.isfinite(slope)):
            raise ValueError(f"curve (gamma, slope) needs gamma >= 1 and slope >= 0, got {curve!r}")
        key = (gamma, slope)
    dt = np.dtype(dtype)
    # Linear needs only its two ends; a gamma curve is steep near black, where
    # 16-bit and float outputs need a fine table to stay within a step.
    entries = 2 if key == "linear" else 4096 if dt == np.uint8 else 65536
    table = _curve_values(key, entries)
    if dt.kind == "u":
        table = table + 0.5 / np.iinfo(dt).max
    return table.astype(np.float32)
