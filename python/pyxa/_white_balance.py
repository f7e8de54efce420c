"""White-balance gains: the one test of what makes three usable gains, and the
two ways they are scaled (green = 1 as a file's record states them, smallest =
1 as the development graph applies them)."""

from __future__ import annotations

import numpy as np
import numpy.typing as npt

__all__ = ["positive_gains", "relative_to_green", "relative_to_smallest"]


def positive_gains(values: npt.ArrayLike) -> npt.NDArray[np.float64] | None:
    """The values as three float64 gains (red, green, blue), or None unless
    there are exactly three, all finite and above zero."""
    gains = np.asarray(values, dtype=np.float64).ravel()
    if gains.size != 3 or not np.all(np.isfinite(gains)) or np.any(gains <= 0):
        return None
    return gains


def relative_to_green(gains: npt.NDArray[np.float64]) -> tuple[float, float, float]:
    """Gains from ``positive_gains`` divided by green: how ``RawImage`` reports
    a file's white balances, independent of the scale the file stores."""
    red, green, blue = (float(g) for g in gains)
    return (red / green, 1.0, blue / green)


def relative_to_smallest(gains: npt.NDArray[np.float64]) -> npt.NDArray[np.float64]:
    """Gains from ``positive_gains`` divided by the smallest.

    Every channel then reaches its clip point inside the sensor's range, so a
    clipped highlight ends up white: the scaling the development graph needs."""
    return gains / np.min(gains)
