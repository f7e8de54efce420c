"""The eight opcodes that carry the remaining DNG corrections (fisheye warp, bad
pixel list, trim, table, per-row and per-column deltas and scales), built
through pyxa.Graph and compared with NumPy references written here from their
rules; every refusal with its status, the builder's messages for the rules
between attributes, and what the output holds after a refusal."""

import re

import numpy as np
import pytest

import pyxa
from conftest import run_single

f32, f64 = np.float32, np.float64
STATUS = re.compile(r"\((\d+)\)$")


# ---- running --------------------------------------------------------------------------------

def run_op(op, x, out=None, **attrs):
    """Runs one opcode node over array x through the builder; returns its output."""
    g = pyxa.Graph()
    getattr(g, op)(g.input(x), **attrs)
    return g.run(out=out)


def node_attrs(op, shape, dtype, **given):
    """The engine attributes the builder makes for op on an image of this shape and dtype."""
    g = pyxa.Graph()
    getattr(g, op)(g.input(shape, dtype), **given)
    return dict(g.engine_graph()["nodes"][0]["attrs"])


def status_of(op, src, dst, attrs):
    """The engine's status for op's node from src into dst with these engine attributes (0: success)."""
    try:
        run_single(op, src, dst, **attrs)
    except RuntimeError as e:
        return int(STATUS.search(e.args[0]).group(1))
    return 0


def rng_float(shape, seed, lo=0.0, hi=1.0):
    return np.random.default_rng(seed).uniform(lo, hi, shape).astype(f32)


def rng_u16(shape, seed):
    return np.random.default_rng(seed).integers(0, 65536, shape).astype(np.uint16)


def unit_clamp(v):
    """[0, 1], NaN and negatives to 0, in float32."""
    v = np.asarray(v, f32)
    return np.where(v >= 1, f32(1), np.where(v > 0, v, f32(0))).astype(f32)


def area_index(shape, top=0, left=0, bottom=0, right=0, start_plane=0, num_planes=None, row_pitch=1,
               col_pitch=1):
    """Selected rows, columns and planes of an (h, w, c) image, by the area rule."""
    h, w, c = shape
    y0, y1 = (0, h) if top == bottom == 0 else (top, bottom)
    x0, x1 = (0, w) if left == right == 0 else (left, right)
    planes = range(start_plane, min(start_plane + (c if num_planes is None else num_planes), c))
    return np.arange(y0, y1, row_pitch), np.arange(x0, x1, col_pitch), np.array(planes, int)


def as3(a):
    return a if a.ndim == 3 else a[..., None]


# ---- warp_fisheye ---------------------------------------------------------------------------

def bilinear(plane, sx, sy):
    """Bilinear samples of a float32 plane at clamped float64 coordinates, blended in float64."""
    h, w = plane.shape
    x0, y0 = np.floor(sx).astype(int), np.floor(sy).astype(int)
    x1, y1 = np.minimum(x0 + 1, w - 1), np.minimum(y0 + 1, h - 1)
    fx, fy = sx - x0, sy - y0
    p = plane.astype(f64)
    top = p[y0, x0] * (1 - fx) + p[y0, x1] * fx
    bottom = p[y1, x0] * (1 - fx) + p[y1, x1] * fx
    return (top * (1 - fy) + bottom * fy).astype(f32)


def fisheye_source(h, w, center, kr):
    """Source coordinates of every output pixel for one plane's coefficients kr (up to four)."""
    cx, cy = w * center[0], h * center[1]
    radius = max(1.0, *(np.hypot(px - cx, py - cy) for px in (0, w) for py in (0, h)))
    yy, xx = np.mgrid[0:h, 0:w].astype(f64)
    r = np.hypot((xx - cx) / radius, (yy - cy) / radius)
    t = np.arctan(r)
    k = list(kr[:4]) + [0.0] * (4 - len(kr[:4]))
    rs = k[0] * t + k[1] * t**3 + k[2] * t**5 + k[3] * t**7
    ratio = np.where(r > 0, rs / np.where(r > 0, r, 1.0), k[0])
    return (np.clip(cx + ratio * (xx - cx), 0, w - 1), np.clip(cy + ratio * (yy - cy), 0, h - 1))


@pytest.mark.parametrize("shape,channels,num_planes,num_coeffs,coeffs,center", [
    ((6, 8), 1, 1, 1, [1.0], (0.5, 0.5)),                                 # centre pixel (3, 4): ratio kr0
    ((9, 11), 1, 1, 4, [0.9, 0.3, -0.2, 0.4], (0.3, 0.7)),
    ((7, 10), 3, 3, 2, [1.1, -0.4, 0.8, 0.2, 1.3, 0.5], (0.5, 0.4)),    # each plane its own pair
    ((8, 9), 3, 2, 5, [1.0, 0.2, 0.1, 0.05, 99.0, 0.8, 0, 0, 0.3, 99.0], (0.6, 0.5)),  # the 5th term unused
    ((5, 300), 1, 1, 3, [0.7, 0.9, -1.5], (0.2, 0.5)),                    # wider than one sampling chunk
])
def test_warp_fisheye_bilinear_matches_numpy(shape, channels, num_planes, num_coeffs, coeffs, center):
    h, w = shape
    src = rng_float((h, w, channels) if channels > 1 else (h, w), seed=w)
    sentinel = np.full_like(src, -7.0)
    got = as3(run_op("warp_fisheye", src, out=sentinel.copy(), radial_params=coeffs, num_planes=num_planes,
                     num_coeffs=num_coeffs, center_x=center[0], center_y=center[1]))
    for k in range(channels):
        if k < num_planes:
            sx, sy = fisheye_source(h, w, center, coeffs[k * num_coeffs:(k + 1) * num_coeffs])
            np.testing.assert_allclose(got[..., k], bilinear(as3(src)[..., k], sx, sy), rtol=0, atol=2e-7)
        else:  # planes past num_planes are not written
            assert np.all(got[..., k] == -7.0)


@pytest.mark.parametrize("kr0", [1.6, 2.4])
def test_warp_fisheye_bicubic_equals_rectilinear_where_their_sources_coincide(kr0):
    # Pixels on the centre row and column at distance a share one fisheye ratio;
    # warp_rectilinear with that ratio as its only coefficient reads the same
    # source positions there, fractional ones near and at the image edges.
    h, w = 12, 16
    src = rng_float((h, w), seed=5)
    fish = run_op("warp_fisheye", src, radial_params=[kr0], num_coeffs=1, use_bicubic=True)
    cy, cx = h // 2, w // 2
    radius = np.hypot(w / 2, h / 2)
    for a in range(1, 6):
        r = a / radius
        ratio = kr0 * np.arctan(r) / r
        rect = run_op("warp_rectilinear", src, radial_params=[ratio], num_coeffs=1, use_bicubic=True)
        for y, x in ((cy, cx - a), (cy, cx + a), (cy - a, cx), (cy + a, cx)):
            assert fish[y, x] == pytest.approx(rect[y, x], abs=1e-6), (a, y, x)
    assert not np.allclose(fish, run_op("warp_fisheye", src, radial_params=[kr0], num_coeffs=1))


# ---- fix_bad_pixels_list --------------------------------------------------------------------

def bad_pixels_reference(src, phase, points=(), rects=()):
    """Each bad pixel from the good input samples of its first ring with any (rings 1 to 16)."""
    h, w = src.shape
    bad = np.zeros((h, w), bool)
    for r, c in np.reshape(points, (-1, 2)):
        bad[r, c] = True
    for t, lf, b, rt in np.reshape(rects, (-1, 4)):
        bad[t:b, lf:rt] = True
    parity = (0, 1, 1, 0)[phase]
    out = src.copy()
    for y, x in zip(*np.nonzero(bad)):
        straight = (parity + y + x) % 2 == 1
        for k in range(1, 17):
            ring = ([(y - 2 * k, x), (y + 2 * k, x), (y, x - 2 * k), (y, x + 2 * k)] if straight else
                    [(y - k, x - k), (y - k, x + k), (y + k, x - k), (y + k, x + k)])
            good = [src[a, b] for a, b in ring if 0 <= a < h and 0 <= b < w and not bad[a, b]]
            if not good:
                continue
            n = len(good)
            if src.dtype == np.uint16:
                out[y, x] = (sum(int(v) for v in good) + n // 2) // n
            else:
                s = f32(0)
                for v in good:
                    s = f32(s + v)
                out[y, x] = f32(s / f32(n))
            break
    return out


# Points alone and in clusters, at edges and corners, one inside a rectangle;
# the 3 x 4 rectangle pushes its inner pixels to their second ring.
POINTS = [0, 0, 0, 12, 11, 12, 5, 5, 5, 6, 6, 5, 2, 9, 3, 8, 7, 2, 8, 9]
RECTS = [6, 7, 9, 11, 10, 0, 12, 2]


@pytest.mark.parametrize("dtype", [np.uint16, np.float32])
@pytest.mark.parametrize("phase", [0, 1, 2, 3])
def test_fix_bad_pixels_list_matches_numpy(dtype, phase):
    src = rng_u16((12, 13), phase) if dtype == np.uint16 else rng_float((12, 13), phase)
    got = run_op("fix_bad_pixels_list", src, bayer_phase=phase, points=POINTS, rects=RECTS)
    assert got.dtype == dtype
    np.testing.assert_array_equal(got, bad_pixels_reference(src, phase, POINTS, RECTS))


@pytest.mark.parametrize("dtype", [np.uint16, np.float32])
@pytest.mark.parametrize("lists", [
    dict(rects=[5, 5, 35, 35]),   # the middle pixels search up to their 15th ring
    dict(rects=[0, 0, 40, 40]),   # nothing good anywhere: every pixel keeps its value
    dict(points=[3, 4]),
    dict(rects=[0, 0, 40, 1], points=[20, 20, 20, 21]),
    dict(),                       # no lists: a copy
])
def test_fix_bad_pixels_list_large_areas(dtype, lists):
    src = rng_u16((40, 40), 9) if dtype == np.uint16 else rng_float((40, 40), 9)
    got = run_op("fix_bad_pixels_list", src, bayer_phase=1, **lists)
    np.testing.assert_array_equal(got, bad_pixels_reference(src, 1, lists.get("points", ()), lists.get("rects", ())))


def test_fix_bad_pixels_list_searches_sixteen_rings_and_no_further():
    # One row, phase parity 1: even columns take the row neighbours 2k away,
    # odd columns the diagonals (none in one row). Columns 0 to 33 are bad.
    src = np.arange(100, 180, dtype=np.uint16).reshape(1, 80)
    got = run_op("fix_bad_pixels_list", src, bayer_phase=1, rects=[0, 0, 1, 34])
    assert got[0, 2] == src[0, 34]      # ring 16 reaches the first good column
    assert got[0, 0] == src[0, 0]       # ring 17 would: kept
    assert got[0, 1] == src[0, 1]       # no diagonal in one row: kept
    np.testing.assert_array_equal(got[0, 34:], src[0, 34:])


def test_fix_bad_pixels_list_overlapping_rectangles_mark_once():
    # Many rectangles over the whole image mark every pixel bad; with no good
    # neighbour anywhere every sample keeps its value.
    src = rng_float((100, 100), 4)
    rects = np.tile(np.array([0, 0, 100, 100], np.int32), 1000)
    got = run_op("fix_bad_pixels_list", src, bayer_phase=0, rects=rects)
    np.testing.assert_array_equal(got, src)


# ---- trim_bounds ----------------------------------------------------------------------------

@pytest.mark.parametrize("dtype", [np.uint8, np.uint16, np.float32])
@pytest.mark.parametrize("channels", [1, 3])
@pytest.mark.parametrize("bounds", [(0, 0, 7, 9), (2, 3, 5, 4), (6, 8, 7, 9), (1, 0, 7, 5)])
def test_trim_bounds_keeps_the_rectangle(dtype, channels, bounds):
    shape = (7, 9, channels) if channels > 1 else (7, 9)
    src = np.random.default_rng(channels).integers(0, 250, shape).astype(dtype)
    top, left, bottom, right = bounds
    got = run_op("trim_bounds", src, top=top, left=left, bottom=bottom, right=right)
    assert got.dtype == dtype
    np.testing.assert_array_equal(got, src[top:bottom, left:right])


# ---- map_table ------------------------------------------------------------------------------

def table_reference(x, table, **area):
    """The area's samples looked up by the table rule, in the sample's own type."""
    out = as3(x).copy()
    rows, cols, planes = area_index(out.shape, **area)
    entries = np.asarray(table, np.int64) & 0xFFFF
    n = entries.size
    block = out[np.ix_(rows, cols, planes)]
    if x.dtype == np.uint16:
        block = entries[np.minimum(block.astype(np.int64), n - 1)].astype(np.uint16)
    else:
        e = entries.astype(f32)
        p = (unit_clamp(block) * f32(n - 1)).astype(f32)
        i = np.floor(p).astype(np.int64)
        f = (p - i.astype(f32)).astype(f32)
        j = np.minimum(i + 1, n - 1)
        block = (((f32(1) - f) * e[i] + f * e[j]) / f32(65535)).astype(f32)
    out[np.ix_(rows, cols, planes)] = block
    return out.reshape(x.shape)


AREAS = [
    dict(),
    dict(top=1, left=2, bottom=6, right=9, row_pitch=2, col_pitch=3),
    dict(start_plane=1, num_planes=1, row_pitch=3),
    dict(top=0, left=0, bottom=7, right=0, start_plane=2, num_planes=5, col_pitch=2),  # planes capped at 3
    dict(top=3, bottom=3),  # an empty rectangle selects nothing
]


@pytest.mark.parametrize("area", AREAS)
@pytest.mark.parametrize("channels", [1, 3])
@pytest.mark.parametrize("table", [[7], [0, 65535], [100, 900, 40000, 2000, 65535, 3]])
def test_map_table_uint16_matches_numpy(area, channels, table):
    src = rng_u16((7, 10, channels) if channels > 1 else (7, 10), 2)
    src.flat[:4] = [0, 1, 5, 65535]
    got = run_op("map_table", src, table=table, **area)
    np.testing.assert_array_equal(got, table_reference(src, table, **area))


@pytest.mark.parametrize("area", AREAS)
@pytest.mark.parametrize("channels", [1, 3])
@pytest.mark.parametrize("table", [[30000], [0, 65535], [100, 900, 40000, 2000, 65535, 3]])
def test_map_table_float32_matches_numpy(area, channels, table):
    src = rng_float((7, 10, channels) if channels > 1 else (7, 10), 3, lo=-0.2, hi=1.2)
    src.flat[:5] = [np.nan, 1.0, 0.0, -0.0, 0.4]
    got = run_op("map_table", src, table=table, **area)
    np.testing.assert_array_equal(got, table_reference(src, table, **area))


def test_map_table_keeps_the_low_16_bits_of_each_entry():
    # The builder keeps entries in 0..65535; the engine itself reads any Int32.
    src = np.array([[0, 1, 2, 3]], np.uint16)
    table = np.array([65536 + 5, -1, 0x12345678, 70000], np.int32)
    dst = np.zeros_like(src)
    attrs = node_attrs("map_table", (1, 4), "uint16", table=[0])
    run_single("map_table", src, dst, **dict(attrs, table=table))
    np.testing.assert_array_equal(dst, [[5, 65535, 0x5678, 70000 - 65536]])


# ---- delta/scale per row/column -------------------------------------------------------------

LINE_OPS = [("delta_per_row", "deltas", True, np.add), ("delta_per_column", "deltas", False, np.add),
            ("scale_per_row", "scales", True, np.multiply), ("scale_per_column", "scales", False, np.multiply)]


def line_reference(x, values, by_row, combine, **area):
    out = as3(x).copy()
    rows, cols, planes = area_index(out.shape, **area)
    v = np.asarray(values, f32)
    per = v[:len(rows), None, None] if by_row else v[None, :len(cols), None]
    block = combine(out[np.ix_(rows, cols, planes)], per).astype(f32)
    out[np.ix_(rows, cols, planes)] = unit_clamp(block)
    return out.reshape(x.shape)


@pytest.mark.parametrize("op,name,by_row,combine", LINE_OPS, ids=[o[0] for o in LINE_OPS])
@pytest.mark.parametrize("area", AREAS)
@pytest.mark.parametrize("channels", [1, 3])
def test_per_line_opcodes_match_numpy(op, name, by_row, combine, area, channels):
    src = rng_float((7, 10, channels) if channels > 1 else (7, 10), 6, lo=-0.3, hi=1.3)
    src.flat[1] = np.nan
    values = rng_float(10, 7, lo=-0.5, hi=0.5) if name == "deltas" else rng_float(10, 7, lo=0.0, hi=2.5)
    values[3] = np.nan
    got = run_op(op, src, **{name: values}, **area)
    np.testing.assert_array_equal(got, line_reference(src, values, by_row, combine, **area))


# ---- refusals -------------------------------------------------------------------------------

def f32_image(shape):
    return rng_float(shape, 1)


# (op, source, output, valid builder attributes, engine overrides, status)
AREA_OPS = [("map_table", dict(table=[0, 65535])), ("delta_per_row", dict(deltas=[0.1] * 8)),
            ("delta_per_column", dict(deltas=[0.1] * 8)), ("scale_per_row", dict(scales=[1.0] * 8)),
            ("scale_per_column", dict(scales=[1.0] * 8))]
AREA_FAULTS = [dict(row_pitch=0), dict(col_pitch=-1), dict(top=3, bottom=2), dict(bottom=7), dict(right=9),
               dict(left=-1, right=3), dict(start_plane=-1)]
REFUSALS = [
    *[(op, (6, 8), (6, 8), valid, fault, 1) for op, valid in AREA_OPS for fault in AREA_FAULTS],
    *[(op, (6, 8), (6, 8), valid, dict(dtype_=np.uint8), 2) for op, valid in AREA_OPS],
    *[(op, (6, 8), (6, 8), valid, dict(dtype_=np.uint16), 2) for op, valid in AREA_OPS[1:]],
    ("delta_per_row", (6, 8), (6, 8), dict(deltas=[0.1] * 6), dict(deltas=np.zeros(5, f32)), 1),
    ("delta_per_row", (6, 8), (6, 8), dict(deltas=[0.1] * 6), dict(deltas=np.zeros(2, f32), row_pitch=3,
                                                                 top=1, bottom=6), 0),
    ("scale_per_column", (6, 8), (6, 8), dict(scales=[1.0] * 8), dict(scales=np.ones(2, f32), col_pitch=3), 1),
    # the rows are counted whatever the plane range
    ("scale_per_row", (6, 8), (6, 8), dict(scales=[1.0] * 6), dict(scales=np.ones(5, f32), start_plane=1), 1),
    ("delta_per_row", (6, 8, 3), (6, 8), dict(deltas=[0.1] * 6), {}, 3),
    ("trim_bounds", (6, 8), (3, 4), dict(top=1, left=2, bottom=4, right=6), dict(bottom=7), 1),
    ("trim_bounds", (6, 8), (3, 4), dict(top=1, left=2, bottom=4, right=6), dict(top=4, bottom=4), 1),
    ("trim_bounds", (6, 8), (3, 4), dict(top=1, left=2, bottom=4, right=6), dict(left=-1), 1),
    ("trim_bounds", (6, 8), (3, 4), dict(top=1, left=2, bottom=4, right=6), dict(right=9), 1),
    ("trim_bounds", (6, 8), (3, 5), dict(top=1, left=2, bottom=4, right=6), {}, 3),
    ("trim_bounds", (6, 8), (4, 4), dict(top=1, left=2, bottom=4, right=6), {}, 3),
    ("trim_bounds", (6, 8, 3), (3, 4), dict(top=1, left=2, bottom=4, right=6), {}, 3),
    ("trim_bounds", (6, 8), (3, 4), dict(top=1, left=2, bottom=4, right=6), dict(out_dtype_=np.uint16), 3),
    ("fix_bad_pixels_list", (6, 8), (6, 8), dict(bayer_phase=0), dict(points=np.array([1, 2, 3], np.int32)), 1),
    ("fix_bad_pixels_list", (6, 8), (6, 8), dict(bayer_phase=0), dict(rects=np.array([1, 2, 3, 4, 5], np.int32)),
     1),
    ("fix_bad_pixels_list", (6, 8), (6, 8), dict(bayer_phase=0), dict(points=np.array([6, 0], np.int32)), 1),
    ("fix_bad_pixels_list", (6, 8), (6, 8), dict(bayer_phase=0), dict(points=np.array([0, 0, 2, -1], np.int32)),
     1),
    ("fix_bad_pixels_list", (6, 8), (6, 8), dict(bayer_phase=0), dict(rects=np.array([2, 2, 2, 5], np.int32)), 1),
    ("fix_bad_pixels_list", (6, 8), (6, 8), dict(bayer_phase=0), dict(rects=np.array([2, 5, 3, 5], np.int32)), 1),
    ("fix_bad_pixels_list", (6, 8), (6, 8), dict(bayer_phase=0), dict(rects=np.array([0, 0, 7, 8], np.int32)), 1),
    ("fix_bad_pixels_list", (6, 8), (6, 8), dict(bayer_phase=0), dict(rects=np.array([0, 0, 6, 9], np.int32)), 1),
    ("fix_bad_pixels_list", (6, 8), (6, 8), dict(bayer_phase=0), dict(rects=np.array([0, -1, 6, 8], np.int32)), 1),
    ("fix_bad_pixels_list", (6, 8), (6, 8), dict(bayer_phase=0), dict(dtype_=np.uint8), 2),
    ("fix_bad_pixels_list", (6, 8), (6, 8), dict(bayer_phase=0), dict(out_dtype_=np.uint16), 2),
    ("fix_bad_pixels_list", (6, 8, 3), (6, 8, 3), dict(bayer_phase=0), {}, 3),
    ("warp_fisheye", (6, 8), (6, 8), dict(radial_params=[1.0], num_coeffs=1), dict(num_coeffs=0), 1),
    ("warp_fisheye", (6, 8), (6, 8), dict(radial_params=[1.0], num_coeffs=1), dict(num_planes=0), 1),
    ("warp_fisheye", (6, 8, 2), (6, 8, 2), dict(radial_params=[1.0] * 4, num_coeffs=2), dict(num_planes=3,
                                                                                           num_coeffs=3), 1),
    ("warp_fisheye", (3, 8), (3, 8), dict(radial_params=[1.0], num_coeffs=1), dict(use_bicubic=1), 1),
    ("warp_fisheye", (6, 8), (6, 8), dict(radial_params=[1.0], num_coeffs=1), dict(dtype_=np.uint16), 2),
    ("warp_fisheye", (6, 8), (6, 9), dict(radial_params=[1.0], num_coeffs=1), {}, 3),
]
COPIES_FIRST = {"map_table", "delta_per_row", "delta_per_column", "scale_per_row", "scale_per_column"}


@pytest.mark.parametrize("op,src_shape,dst_shape,valid,overrides,status", REFUSALS,
                         ids=[f"{r[0]}-{i}" for i, r in enumerate(REFUSALS)])
def test_engine_refusals_and_what_the_output_holds(op, src_shape, dst_shape, valid, overrides, status):
    overrides = dict(overrides)
    dtype = overrides.pop("dtype_", np.float32)
    out_dtype = overrides.pop("out_dtype_", dtype)
    src = (f32_image(src_shape) * 1000).astype(dtype) if dtype != np.float32 else f32_image(src_shape)
    dst = np.full(dst_shape, 3, out_dtype)
    attrs = dict(node_attrs(op, src_shape[:2], "float32", **valid), **overrides)
    assert status_of(op, src, dst, attrs) == status
    if status == 0:
        return
    # Past the image checks, an opcode with a copy step has copied the input
    # before its own checks refuse; the others have written nothing.
    copied = op in COPIES_FIRST and src.shape == dst.shape and src.dtype == dst.dtype
    np.testing.assert_array_equal(dst, src if copied else np.full(dst_shape, 3, out_dtype))


# ---- the builder's checks between attributes ------------------------------------------------

BUILDER_ERRORS = [
    ("trim_bounds", (6, 8), dict(top=2, bottom=2, right=4), 'node 1 (trim_bounds): "bottom" must lie after "top" (2) '
     "and at most at the image's 6, got 2"),
    ("trim_bounds", (6, 8), dict(bottom=6, right=9), 'node 1 (trim_bounds): "right" must lie after "left" (0) and '
     "at most at the image's 8, got 9"),
    ("fix_bad_pixels_list", (6, 8), dict(bayer_phase=0, points=[1, 2, 3]),
     'node 1 (fix_bad_pixels_list): "points" needs (row, column) pairs, got 3 values'),
    ("fix_bad_pixels_list", (6, 8), dict(bayer_phase=0, rects=[1, 2, 3, 4, 5, 6]),
     'node 1 (fix_bad_pixels_list): "rects" needs (top, left, bottom, right) quads, got 6 values'),
    ("fix_bad_pixels_list", (6, 8), dict(bayer_phase=0, points=[0, 0, 5, 8]),
     "node 1 (fix_bad_pixels_list): point 1 (5, 8) lies outside the 6 x 8 image"),
    ("fix_bad_pixels_list", (6, 8), dict(bayer_phase=0, rects=[0, 0, 6, 8, 2, 3, 2, 4]),
     "node 1 (fix_bad_pixels_list): rectangle 1 (2, 3, 2, 4) is not a non-empty part of the 6 x 8 image"),
    ("map_table", (6, 8), dict(table=[1], top=1, bottom=7),
     'node 1 (map_table): "bottom" must lie between "top" (1) and the image\'s 6, got 7'),
    ("delta_per_row", (6, 8), dict(deltas=[0.0] * 2, top=1, bottom=6, row_pitch=2),
     'node 1 (delta_per_row): "deltas" needs at least 3 values, got 2'),
    ("scale_per_column", (6, 8), dict(scales=[1.0] * 7),
     'node 1 (scale_per_column): "scales" needs at least 8 values, got 7'),
    ("scale_per_row", (6, 8), dict(scales=[1.0], left=2, right=9),
     'node 1 (scale_per_row): "right" must lie between "left" (2) and the image\'s 8, got 9'),
    ("warp_fisheye", (6, 8, 3), dict(radial_params=[1.0] * 5, num_coeffs=2),
     'node 1 (warp_fisheye): "radial_params" needs at least 6 values, got 5'),
]


@pytest.mark.parametrize("op,shape,attrs,message", BUILDER_ERRORS, ids=[f"{e[0]}-{i}" for i, e in
                                                                         enumerate(BUILDER_ERRORS)])
def test_builder_refuses_attributes_that_do_not_fit(op, shape, attrs, message):
    g = pyxa.Graph()
    with pytest.raises(pyxa.GraphError, match=f"^{re.escape(message)}$"):
        getattr(g, op)(g.input(shape, "float32"), **attrs)


def test_trim_bounds_output_size_follows_its_attributes():
    g = pyxa.Graph()
    out = g.trim_bounds(g.input((6, 8, 3), "uint16"), top=1, left=2, bottom=4, right=7)
    assert (out.shape, out.dtype) == ((3, 5, 3), np.dtype(np.uint16))
