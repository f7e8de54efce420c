"""Hue/saturation(/value) map ops as one-node graphs: identity maps, a hue
rotation, value scaling, and the table routines against the direct ones over
a dense grid of colours."""
import json

import numpy as np
import pytest

from test_pointwise import run_node

F32 = np.float32
UNIT = 1.0 / 8192


def hsv_attrs(with_value, table, hues, sats, vals, point):
    """A map of hues x sats (x vals) points given by point(h, s, v) -> (shift, sat scale, val scale)."""
    vals = vals if with_value else 1
    data = [x for v in range(vals) for h in range(hues) for s in range(sats) for x in point(h, s, v)]
    attrs = {"hue_divs": hues, "sat_divs": sats, "map_data": np.asarray(data, F32),
             "engine_opts": json.dumps({"prism_lut" if with_value else "chroma_lut": table})}
    if with_value:
        attrs["val_divs"] = vals
    return attrs


def apply(attrs, with_value, pixels):
    op = "apply_hue_sat_val_map" if with_value else "apply_hue_sat_map"
    return run_node(op, attrs, np.ascontiguousarray(pixels, F32), "float32")


def colour_grid(steps):
    axis = np.linspace(0, 1, steps + 1, dtype=F32)
    r, g, b = np.meshgrid(axis, axis, axis, indexing="ij")
    return np.stack([r, g, b], axis=-1).reshape(steps + 1, -1, 3)


ROUTINES = [(False, False), (False, True), (True, False), (True, True)]
IDS = ["map-direct", "map-table", "valmap-direct", "valmap-table"]


@pytest.mark.parametrize("with_value,table", ROUTINES, ids=IDS)
def test_identity_map_keeps_colours(with_value, table):
    px = colour_grid(10)
    out = apply(hsv_attrs(with_value, table, 6, 4, 3, lambda h, s, v: (0, 1, 1)), with_value, px)
    np.testing.assert_allclose(out, px, rtol=0, atol=UNIT)


@pytest.mark.parametrize("with_value,table", ROUTINES, ids=IDS)
def test_value_scale_two_doubles_up_to_one(with_value, table):
    px = np.array([[[0.2, 0.1, 0.05], [0.8, 0.4, 0.2], [0.3, 0.3, 0.3]]], F32)
    out = apply(hsv_attrs(with_value, table, 4, 3, 2, lambda h, s, v: (0, 1, 2)), with_value, px)
    np.testing.assert_allclose(out, [[[0.4, 0.2, 0.1], [1.0, 0.5, 0.25], [0.6, 0.6, 0.6]]], atol=2 * UNIT)


@pytest.mark.parametrize("with_value", [False, True])
def test_hue_shift_120_turns_red_into_green(with_value):
    px = np.array([[[1, 0, 0], [0.5, 0, 0]]], F32)
    out = apply(hsv_attrs(with_value, False, 6, 2, 2, lambda h, s, v: (120, 1, 1)), with_value, px)
    np.testing.assert_array_equal(out, [[[0, 1, 0], [0, 0.5, 0]]])


def test_direct_grey_scaled_by_point_at_hue_and_saturation_zero():
    point = lambda h, s, v: (0, 1, 0.5 if h == 0 and s == 0 else 3)
    out = apply(hsv_attrs(False, False, 6, 3, 1, point), False, np.full((1, 1, 3), 0.6, F32))
    np.testing.assert_array_equal(out, np.full((1, 1, 3), F32(0.6) * F32(0.5)))


def hsv_reference(px, hues, sats, point):
    """Direct routine in float64 from the formulas, on the unrounded map."""
    r, g, b = px[..., 0].astype(float), px[..., 1].astype(float), px[..., 2].astype(float)
    mx, mn = np.maximum(np.maximum(r, g), b), np.minimum(np.minimum(r, g), b)
    d = mx - mn
    safe = np.where(d > 0, d, 1)
    hue = np.where(r == mx, (g - b) / safe, np.where(g == mx, (b - r) / safe + 2, (r - g) / safe + 4))
    hue = np.where(hue < 0, hue + 6, hue)
    hue = np.where(d > 0, hue, 0)
    sat = np.where(d > 0, d / np.where(mx > 0, mx, 1), 0)
    grid = np.array([[point(h, s, 0) for s in range(sats)] for h in list(range(hues)) + [0]], float)
    grid[..., 0] /= 60
    u = hue * hues / 6
    hi = np.minimum(np.floor(u), hues - 1).astype(int)
    o = sat * (sats - 1)
    si = np.minimum(np.floor(o), sats - 2).astype(int)
    fh, fs = (u - hi)[..., None], (o - si)[..., None]
    m = ((1 - fh) * ((1 - fs) * grid[hi, si] + fs * grid[hi, si + 1]) +
         fh * ((1 - fs) * grid[hi + 1, si] + fs * grid[hi + 1, si + 1]))
    h2 = hue + m[..., 0]
    h2 = np.where(h2 >= 6, h2 - 6, np.where(h2 < 0, h2 + 6, h2))
    s2 = np.minimum(sat * m[..., 1], 1)
    v2 = np.clip(mx * m[..., 2], None, 1).clip(0)
    out = []
    for off in (5, 3, 1):
        k = np.mod(h2 + off, 6)
        w = np.maximum(0, np.minimum(np.minimum(k, 4 - k), 1))
        out.append(v2 - v2 * s2 * w)
    return np.stack(out, axis=-1)


def smooth_point(h, s, v):
    return (25 * np.sin(1.3 * h), 0.7 + 0.15 * s + 0.05 * v, 0.8 + 0.1 * h / 8 + 0.2 * v)


def test_direct_routine_matches_float64_reference():
    px = colour_grid(16)
    out = apply(hsv_attrs(False, False, 8, 4, 1, smooth_point), False, px)
    # Only the 2^-13 rounding of the map separates the two.
    np.testing.assert_allclose(out, hsv_reference(px, 8, 4, smooth_point), atol=4 * UNIT)


@pytest.mark.parametrize("with_value,bound", [(False, 0.01), (True, 0.03)])
def test_table_routine_agrees_with_direct(with_value, bound):
    px = colour_grid(24)
    direct = apply(hsv_attrs(with_value, False, 8, 4, 3, smooth_point), with_value, px)
    table = apply(hsv_attrs(with_value, True, 8, 4, 3, smooth_point), with_value, px)
    worst = float(np.abs(direct - table).max())
    print(f"table vs direct, worst |difference|: {worst:.6f}")
    assert worst < bound
