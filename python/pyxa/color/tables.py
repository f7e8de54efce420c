"""HueSatMap and LookTable tables: the two HueSatMaps blended by the
illuminant weight, and any table turned into the map the engine's
apply_hue_sat_map / apply_hue_sat_val_map take (a linear value axis, at
least two saturation and value divisions)."""

from __future__ import annotations

import hashlib
import math
from dataclasses import dataclass
from typing import Any, Optional

import numpy as np

from ..dng.records import ProfileTable
from ._types import Doubles, Floats
from .spaces import SRGB_TRANSFER

__all__ = ["EngineMap", "blend_tables", "engine_map", "encoded_value_error", "ENCODED_SLAB_CHOICES",
           "ENCODED_TOLERANCE"]

# An encoded value axis is resampled onto one of these linear slab counts,
# enough for the error bound (see encoded_value_error) to stay within
# ENCODED_TOLERANCE, in output units: a map error at value v moves a pixel's
# channels by at most v times it. The tolerance is one 8-bit step. A uniform
# linear axis cannot follow the corners the encoded axis has at its own
# slabs, and that error only halves when the slab count doubles: the 90 x 30
# x 30 look table of a real profile, whose value scale jumps by up to 1 from
# one slab to the next, needs 512 slabs (bound 3.3e-3; 1.2e-2 with 256,
# 2.7e-2 with 64; mean error 1e-6 at 512). The engine holds about 85-100 KB
# per slab of a 90 x 30 map, so 512 slabs (some 50 MB) is the ceiling; a
# table that does not fit keeps the best count tried, and the plan carries
# a warning with the bound reached. 64 slabs cost little, so smooth tables
# get no fewer.
ENCODED_SLAB_CHOICES = (64, 96, 128, 192, 256, 384, 512)
ENCODED_TOLERANCE = 1.0 / 255.0


_SLAB_CACHE: dict[str, tuple[float, Doubles]] = {}


@dataclass(frozen=True)
class EngineMap:
    """A map ready for the engine: ``op`` is "apply_hue_sat_map" (val_divs 1)
    or "apply_hue_sat_val_map"; ``map_data`` holds val_divs slabs of hue_divs
    x sat_divs points of (hue shift in degrees, saturation scale, value
    scale), saturation fastest, on a value axis linear in [0, 1].
    ``value_error`` is the bound of encoded_value_error (0 when the table's
    own axis was linear)."""

    op: str
    hue_divs: int
    sat_divs: int
    val_divs: int
    map_data: Floats
    value_error: float = 0.0

    def attrs(self, direct: Optional[bool] = None) -> dict[str, Any]:
        """Keyword arguments of the Graph method ``op``. ``direct`` True asks
        for the engine's direct routine (no precomputed colour table), False
        for the table routine; None leaves the engine's default."""
        a: dict[str, Any] = {"hue_divs": self.hue_divs, "sat_divs": self.sat_divs, "map_data": self.map_data}
        if self.op == "apply_hue_sat_val_map":
            a["val_divs"] = self.val_divs
        if direct is not None:
            switch = "prism_lut" if self.op == "apply_hue_sat_val_map" else "chroma_lut"
            a["engine_opts"] = {switch: not direct}
        return a


def _check_table(table: ProfileTable, what: str) -> Doubles:
    dims = (table.hue_divs, table.sat_divs, table.val_divs)
    if min(dims) < 1:
        raise ValueError(f"{what}: divisions must be at least 1, got hue {dims[0]}, sat {dims[1]}, val {dims[2]}")
    expected = (table.val_divs, table.hue_divs, table.sat_divs, 3)
    # Python integers: divisions read from a file can multiply past int64.
    needed = math.prod(int(d) for d in expected)
    if np.size(table.data) != needed:
        raise ValueError(f"{what}: data holds {np.size(table.data)} values, its divisions need "
                         f"{expected[0]} x {expected[1]} x {expected[2]} x 3 = {needed}")
    data = np.asarray(table.data, dtype=np.float64)
    if not np.all(np.isfinite(data)):
        raise ValueError(f"{what}: data holds a value that is not finite")
    if table.encoding not in (0, 1):
        raise ValueError(f"{what}: encoding must be 0 (linear) or 1 (sRGB), got {table.encoding}")
    result: Doubles = data.reshape(expected)
    return result


def blend_tables(first: ProfileTable, second: Optional[ProfileTable], weight: float) -> ProfileTable:
    """HueSatMap1 and 2 mixed as weight * first + (1 - weight) * second, point by
    point; the first alone when there is no second."""
    a = _check_table(first, "HueSatMap1")
    if second is None or weight >= 1.0:
        return first
    b = _check_table(second, "HueSatMap2")
    if a.shape != b.shape:
        raise ValueError(f"HueSatMap1 and HueSatMap2 differ in divisions: {a.shape[:3]} and {b.shape[:3]}")
    if first.encoding != second.encoding:
        raise ValueError("HueSatMap1 and HueSatMap2 share one encoding; got two")
    mixed = (weight * a + (1.0 - weight) * b).astype(np.float32)
    return ProfileTable(first.hue_divs, first.sat_divs, first.val_divs, mixed, first.encoding)


def _encoded_rule(data: Doubles, values: Doubles) -> Doubles:
    """The table's points at linear ``values`` under the sRGB-encoded value
    axis: linear between the two slabs around the encoded value."""
    vals = data.shape[0]
    pos = SRGB_TRANSFER.encode(values) * (vals - 1)
    lo = np.minimum(np.floor(pos), vals - 2).astype(np.int64)
    f = (pos - lo)[:, None, None, None]
    result: Doubles = (1.0 - f) * data[lo] + f * data[lo + 1]
    return result


def _linear_rule(slabs: Doubles, values: Doubles) -> Doubles:
    """The resampled slabs at linear ``values``, as the engine interpolates them."""
    n = slabs.shape[0]
    pos = values * (n - 1)
    lo = np.minimum(np.floor(pos), n - 2).astype(np.int64)
    f = (pos - lo)[:, None, None, None]
    result: Doubles = (1.0 - f) * slabs[lo] + f * slabs[lo + 1]
    return result


def _resample(data: Doubles, slabs: int) -> Doubles:
    return _encoded_rule(data, np.linspace(0.0, 1.0, slabs))


def _check_points(encoded_slabs: int, linear_slabs: int) -> Doubles:
    """Values at which the two rules are compared: both are linear between
    their slab values (one in the encoded value, one in the linear), so the
    gap peaks at the encoded axis's corners, with the curvature of the sRGB
    curve adding a little inside the intervals; the corners, the slabs and
    three points inside each interval between them find the largest gap."""
    corners = SRGB_TRANSFER.decode(np.linspace(0.0, 1.0, encoded_slabs))
    breaks = np.unique(np.concatenate([corners, np.linspace(0.0, 1.0, linear_slabs)]))
    inner = [(1.0 - t) * breaks[:-1] + t * breaks[1:] for t in (0.25, 0.5, 0.75)]
    result: Doubles = np.unique(np.concatenate([breaks, *inner]))
    return result


def encoded_value_error(data: Doubles, slabs: Doubles) -> float:
    """Largest change of a pixel channel the resampling can cause, over the
    value axis and every (hue, saturation) point: v * (s |hue shift error| in
    sixths + s |saturation scale error| + |value scale error|) with s the
    point's saturation. A channel is v - v s' w(h) with s' the scaled
    saturation, |dw/dh| <= 1 per sixth and w <= 1, so each error moves it by
    at most that much."""
    sats = np.linspace(0.0, 1.0, data.shape[2]) if data.shape[2] > 1 else np.ones(1)
    worst = 0.0
    for chunk in np.array_split(_check_points(data.shape[0], slabs.shape[0]), 8):
        diff = np.abs(_encoded_rule(data, chunk) - _linear_rule(slabs, chunk))
        bound = sats * (diff[..., 0] / 60.0 + diff[..., 1]) + diff[..., 2]
        worst = max(worst, float(np.max(chunk[:, None, None] * bound)))
    return worst


def _linear_slabs(data: Doubles) -> tuple[float, Doubles]:
    """Linear slabs for an encoded value axis and their error bound. The
    error falls about as 1 / slabs, so the count is first estimated from the
    bound at 64 slabs, then raised until the bound holds; the best count tried
    is kept when none does. Results are kept for the next call with the same
    table (a batch renders many files through one profile)."""
    key = hashlib.sha256(data.tobytes()).hexdigest() + str(data.shape)
    if key in _SLAB_CACHE:
        return _SLAB_CACHE[key]
    probe = _resample(data, 64)
    probe_error = encoded_value_error(data, probe)
    wanted = 64.0 * probe_error / ENCODED_TOLERANCE
    best = (probe_error, probe)
    if probe_error > ENCODED_TOLERANCE:
        for count in (c for c in ENCODED_SLAB_CHOICES if c >= wanted or c == ENCODED_SLAB_CHOICES[-1]):
            slabs = _resample(data, count)
            error = encoded_value_error(data, slabs)
            if error < best[0]:
                best = (error, slabs)
            if error <= ENCODED_TOLERANCE:
                break
    if len(_SLAB_CACHE) >= 8:
        _SLAB_CACHE.clear()
    _SLAB_CACHE[key] = best
    return best


def engine_map(table: ProfileTable, what: str = "HueSatMap") -> tuple[EngineMap, Optional[str]]:
    """The engine's form of a HueSatMap or LookTable, and a warning when an
    encoded value axis could not be brought within ENCODED_TOLERANCE.

    A single saturation division is repeated (the engine interpolates between
    two); a single value division makes a 2-D map for apply_hue_sat_map; an
    sRGB-encoded value axis is resampled onto linear slabs."""
    data = _check_table(table, what)
    if data.shape[2] == 1:
        data = np.concatenate([data, data], axis=2)
    hue_divs, sat_divs = data.shape[1], data.shape[2]
    if data.shape[0] == 1:
        return EngineMap("apply_hue_sat_map", hue_divs, sat_divs, 1, data.astype(np.float32).ravel()), None
    if table.encoding == 0:
        return EngineMap("apply_hue_sat_val_map", hue_divs, sat_divs, data.shape[0],
                         data.astype(np.float32).ravel()), None
    error, slabs = _linear_slabs(data)
    warning = None
    if error > ENCODED_TOLERANCE:
        warning = (f"{what}: its sRGB-encoded value axis, resampled onto {slabs.shape[0]} linear slabs, "
                   f"stays within {error:.2g} of the encoded rule, more than {ENCODED_TOLERANCE:.2g}")
    return EngineMap("apply_hue_sat_val_map", hue_divs, sat_divs, slabs.shape[0],
                     slabs.astype(np.float32).ravel(), error), warning
