"""Spatial ops through execute_graph: normalize_raw, view, pad, fill, the two
demosaics and orientation against NumPy references, alone and in chains, and
the statuses their resolution gives."""

import numpy as np
import pytest

import _pyxa
from conftest import desc_for, graph, node, run_single

F32 = np.float32
RNG = np.random.default_rng(11)
CFA = {"RGGB": (0, 1, 1, 2), "BGGR": (2, 1, 1, 0), "GRBG": (1, 0, 2, 1), "GBRG": (1, 2, 0, 1)}


def fails_with(status, op, src, dst, **attrs):
    with pytest.raises(RuntimeError, match=f"execute_graph failed: {status} "):
        run_single(op, src, dst, **attrs)


def run_chain(src, shapes, ops):
    """Runs nodes ops[i] = (op, attrs) from tensor i to tensor i + 1, the last
    one bound to a fresh array of shapes[-1] (dtype, shape)."""
    descs = [desc_for(0, src)]
    for i, (dtype, shape) in enumerate(shapes):
        descs.append(desc_for(i + 1, np.zeros(shape, dtype)))
    nodes = [node(i + 1, op, [i], [i + 1], **attrs) for i, (op, attrs) in enumerate(ops)]
    out = np.zeros(shapes[-1][1], shapes[-1][0])
    _pyxa.execute_graph(graph(descs, [0], [len(ops)], nodes), {0: src}, {len(ops): out})
    return out


# ---------------------------------------------------------------- normalize_raw

def normalize_reference(raw, rows, cols, black, white, dh=None, dv=None, table=None):
    h, w = raw.shape[:2]
    spp = raw.shape[2] if raw.ndim == 3 else 1
    v = raw.reshape(h, w, spp).astype(F32)
    if table is not None:
        idx = np.clip(np.trunc(v), 0, len(table) - 1).astype(np.int64)
        v = np.asarray(table, F32)[idx]
    b = np.asarray(black, F32)[: rows * cols * spp].reshape(rows, cols, spp)
    b = np.tile(b, (h // rows + 1, w // cols + 1, 1))[:h, :w]
    if dh is not None:
        b = np.asarray(dh, F32)[np.arange(w) % len(dh)][None, :, None] + b
    if dv is not None:
        b = b + np.asarray(dv, F32)[np.arange(h) % len(dv)][:, None, None]
    wl = np.asarray(white, F32)[np.arange(spp) % len(white)]
    rng_ = wl - b
    r = np.where(rng_ > 0, (v - b) / np.where(rng_ > 0, rng_, 1), 0).astype(F32)
    return np.clip(np.nan_to_num(r, nan=0.0), 0, 1).reshape(raw.shape)


NORMALIZE_CASES = [
    dict(rows=2, cols=2, black=[64, 70, 60, 66], white=[1023]),
    dict(rows=1, cols=1, black=[50], white=[900]),
    dict(rows=2, cols=3, black=list(range(10, 70, 10)), white=[1000], dh=[1, 2, 3], dv=[4, 0]),
    dict(rows=1, cols=1, black=[0], white=[4000], table=list(range(0, 8000, 2))),
]


@pytest.mark.parametrize("case", NORMALIZE_CASES)
@pytest.mark.parametrize("dtype", [np.uint16, np.float32])
def test_normalize_raw_matches_reference(case, dtype):
    raw = RNG.integers(0, 1100, (7, 9)).astype(dtype)
    attrs = dict(black_repeat_rows=case["rows"], black_repeat_cols=case["cols"], samples_per_pixel=1,
                 black_level=np.asarray(case["black"], F32), white_level=np.asarray(case["white"], F32))
    if "dh" in case:
        attrs.update(black_delta_h=np.asarray(case["dh"], F32), black_delta_v=np.asarray(case["dv"], F32))
    if "table" in case:
        attrs["linearization_table"] = np.asarray(case["table"], np.int32)
    got = run_single("normalize_raw", raw, np.zeros(raw.shape, F32), **attrs)
    want = normalize_reference(raw, case["rows"], case["cols"], case["black"], case["white"],
                               case.get("dh"), case.get("dv"), case.get("table"))
    np.testing.assert_allclose(got, want, rtol=0, atol=2e-7)


def test_normalize_raw_three_samples():
    raw = RNG.integers(0, 300, (4, 5, 3)).astype(np.uint16)
    got = run_single("normalize_raw", raw, np.zeros(raw.shape, F32), black_repeat_rows=1, black_repeat_cols=1,
                     samples_per_pixel=3, black_level=np.array([10, 20, 30], F32),
                     white_level=np.array([200, 250], F32))
    want = normalize_reference(raw, 1, 1, [10, 20, 30], [200, 250])
    np.testing.assert_allclose(got, want, rtol=0, atol=2e-7)


# ---------------------------------------------------------------- demosaic

def red_masks(pattern, h, w):
    sites = np.array(CFA[pattern]).reshape(2, 2)
    colour = np.tile(sites, (h // 2 + 1, w // 2 + 1))[:h, :w]
    # the colour of the horizontal neighbour tells which pair a green pixel uses
    hcol = np.tile(sites[:, ::-1], (h // 2 + 1, w // 2 + 1))[:h, :w]
    return colour, hcol


def shifted(p, pad, h, w):
    return lambda dx, dy: p[pad + dy: pad + dy + h, pad + dx: pad + dx + w]


def bilinear_reference(m, pattern, edge_aware):
    h, w = m.shape
    c = shifted(np.pad(m, 1, mode="reflect"), 1, h, w)
    colour, hcol = red_masks(pattern, h, w)
    hpair, vpair = (c(-1, 0) + c(1, 0)) * F32(0.5), (c(0, -1) + c(0, 1)) * F32(0.5)
    diag = (c(-1, -1) + c(1, -1) + (c(-1, 1) + c(1, 1))) * F32(0.25)
    if edge_aware:
        green = np.where(np.abs(c(-1, 0) - c(1, 0)) >= np.abs(c(0, -1) - c(0, 1)), vpair, hpair)
    else:
        green = (c(-1, 0) + c(1, 0) + (c(0, -1) + c(0, 1))) * F32(0.25)
    return assemble(m, colour, hcol, green, diag, diag, hpair, vpair, edge_aware)


def assemble(centre, colour, hcol, g_rb, red_at_blue, blue_at_red, h_est_r, v_est_r, clamp,
             h_est_b=None, v_est_b=None, green_plane=None):
    """Puts each site's values together: red/blue sites from their own sample and
    the diagonal estimate, green sites from the horizontal or vertical estimate."""
    h_est_b = h_est_r if h_est_b is None else h_est_b
    v_est_b = v_est_r if v_est_b is None else v_est_b
    g = green_plane if green_plane is not None else np.where(colour == 1, centre, g_rb)
    red = np.where(colour == 0, centre, np.where(colour == 2, red_at_blue, np.where(hcol == 0, h_est_r, v_est_r)))
    blue = np.where(colour == 2, centre, np.where(colour == 0, blue_at_red, np.where(hcol == 2, h_est_b, v_est_b)))
    out = np.stack([red, g, blue], axis=-1).astype(F32)
    if clamp:
        out = np.where(out >= 1, F32(1), np.where(out > 0, out, F32(0)))
    return out


def green_plane(m, pattern):
    """Green of every pixel of the 1-pixel-wider frame, from a 3-reflect-padded mosaic."""
    h, w = m.shape
    p = np.pad(m, 3, mode="reflect")
    c = shifted(p, 2, h + 2, w + 2)  # index (0, 0) is pixel (-1, -1)
    sites = np.array(CFA[pattern]).reshape(2, 2)
    colour = np.tile(sites, (h // 2 + 2, w // 2 + 2))
    colour = np.roll(np.roll(colour, 1, 0), 1, 1)[: h + 2, : w + 2]  # colour of pixel (-1, -1) first
    ch, cv = c(0, 0), c(0, 0)
    lh = F32(2) * ch - c(-2, 0) - c(2, 0)
    lv = F32(2) * cv - c(0, -2) - c(0, 2)
    gh = np.clip((c(-1, 0) + c(1, 0)) * F32(0.5) + lh * F32(0.25), np.minimum(c(-1, 0), c(1, 0)),
                 np.maximum(c(-1, 0), c(1, 0)))
    gv = np.clip((c(0, -1) + c(0, 1)) * F32(0.5) + lv * F32(0.25), np.minimum(c(0, -1), c(0, 1)),
                 np.maximum(c(0, -1), c(0, 1)))
    dh = np.abs(c(-1, 0) - c(1, 0)) + np.abs(lh)
    dv = np.abs(c(0, -1) - c(0, 1)) + np.abs(lv)
    g = np.where(dh < dv, gh, np.where(dv < dh, gv, (gv + gh) * F32(0.5)))
    return np.where(colour == 1, c(0, 0), g).astype(F32), p


def full_reference(m, pattern):
    h, w = m.shape
    g, p = green_plane(m, pattern)
    c = shifted(p, 3, h, w)
    G = shifted(g, 1, h, w)
    d = lambda dx, dy: c(dx, dy) - G(dx, dy)
    g0 = G(0, 0)
    colour, hcol = red_masks(pattern, h, w)
    diag = g0 + (d(-1, 1) + d(1, 1) + d(-1, -1) + d(1, -1)) * F32(0.25)
    horiz = g0 + (d(-1, 0) + d(1, 0)) * F32(0.5)
    vert = g0 + (d(0, 1) + d(0, -1)) * F32(0.5)
    return assemble(m, colour, hcol, None, diag, diag, horiz, vert, True, green_plane=g0)


def demosaic_reference(m, op, fast, pattern):
    if op == "bilinear_demosaic":
        return bilinear_reference(m, pattern, False)
    return bilinear_reference(m, pattern, True) if fast else full_reference(m, pattern)


ROUTINES = [("bilinear_demosaic", False), ("ea_demosaic", True), ("ea_demosaic", False)]


@pytest.mark.parametrize("pattern", list(CFA))
@pytest.mark.parametrize("op,fast", ROUTINES)
@pytest.mark.parametrize("shape", [(8, 10), (5, 7), (2, 3), (3, 517)])
def test_demosaic_matches_reference(pattern, op, fast, shape):
    m = RNG.uniform(-0.1, 1.1, shape).astype(F32)
    if shape[1] > 256:  # rows longer than the kernels' blocks, with a NaN and a -0 across a block edge
        m[1, 255], m[1, 256] = np.nan, -0.0
    attrs = dict(cfa_pattern=pattern)
    if op == "ea_demosaic":
        attrs["fast"] = fast
    got = run_single(op, m, np.zeros(shape + (3,), F32), **attrs)
    np.testing.assert_array_equal(got, demosaic_reference(m, op, fast, pattern))


@pytest.mark.parametrize("op,fast", ROUTINES)
@pytest.mark.parametrize("orientation", [1, 6])
def test_demosaic_in_tiled_chain(op, fast, orientation):
    """A demosaic before an orientation runs tile by tile (the green cache
    meets new column ranges and restarted rows); the result is unchanged."""
    m = RNG.uniform(0, 1, (300, 270)).astype(F32)
    attrs = dict(cfa_pattern="GRBG", **({"fast": fast} if op == "ea_demosaic" else {}))
    out_shape = (270, 300, 3) if orientation == 6 else (300, 270, 3)
    got = run_chain(m, [(F32, (300, 270, 3)), (F32, out_shape)],
                    [(op, attrs), ("orientation", dict(orientation=orientation))])
    want = demosaic_reference(m, op, fast, "GRBG")
    np.testing.assert_array_equal(got, np.rot90(want, -1) if orientation == 6 else want)


def test_raw_development_chain():
    raw = RNG.integers(0, 1024, (12, 16)).astype(np.uint16)
    black = [64, 64, 64, 64]
    got = run_chain(raw, [(F32, (12, 16)), (F32, (12, 16, 3))],
                    [("normalize_raw", dict(black_repeat_rows=2, black_repeat_cols=2, samples_per_pixel=1,
                                            black_level=np.array(black, F32), white_level=np.array([1023], F32))),
                     ("ea_demosaic", dict(cfa_pattern="BGGR"))])
    norm = normalize_reference(raw, 2, 2, black, [1023])
    np.testing.assert_allclose(got, full_reference(norm.astype(F32), "BGGR"), rtol=0, atol=2e-6)


# ---------------------------------------------------------------- view, pad, fill, orientation

@pytest.mark.parametrize("dtype,channels", [(np.uint8, 1), (np.uint16, 3), (np.float32, 4)])
def test_view_crops(dtype, channels):
    src = RNG.integers(0, 200, (9, 11, channels)).astype(dtype)
    got = run_single("view", src, np.zeros((4, 6, channels), dtype), top=3, left=2, width=6, height=4)
    np.testing.assert_array_equal(got, src[3:7, 2:8])


@pytest.mark.parametrize("mode", ["reflect", "symmetric", "edge", "constant"])
@pytest.mark.parametrize("borders", [(1, 2, 3, 4), (0, 0, 0, 0), (9, 7, 12, 11)])
@pytest.mark.parametrize("dtype,channels", [(np.uint8, 1), (np.uint16, 3), (np.float32, 2)])
def test_pad_matches_numpy(mode, borders, dtype, channels):
    t, b, l, r = borders
    src = RNG.integers(0, 250, (4, 5, channels)).astype(dtype)
    widths = ((t, b), (l, r), (0, 0))
    attrs = dict(top=t, bottom=b, left=l, right=r, mode=mode)
    if mode == "constant":
        attrs["constant_values"] = np.array([1, 2, 3, 4], F32)
        want = np.pad(src, widths, mode="constant", constant_values=((1, 2), (3, 4), (0, 0)))
    else:
        want = np.pad(src, widths, mode=mode)
    got = run_single("pad", src, np.zeros(want.shape, dtype), **attrs)
    np.testing.assert_array_equal(got, want)


@pytest.mark.parametrize("mode", ["reflect", "symmetric", "edge"])
def test_pad_after_orientation_with_wide_border(mode):
    """A tiled chain whose last tiles lie wholly in the right border: those spans
    still find the source columns their border rule needs."""
    src = RNG.integers(0, 250, (20, 30)).astype(np.uint8)
    got = run_chain(src, [(np.uint8, (30, 20)), (np.uint8, (32, 620))],
                    [("orientation", dict(orientation=5)),
                     ("pad", dict(top=1, bottom=1, left=300, right=300, mode=mode))])
    np.testing.assert_array_equal(got, np.pad(src.T, ((1, 1), (300, 300)), mode=mode))


@pytest.mark.parametrize("values,dtype,want", [
    ([300.0], np.uint8, [255, 255, 255]), ([-1.0], np.uint8, [0, 0, 0]), ([2.5], np.uint16, [3, 3, 3]),
    ([1.0, 2.0, 3.0], np.uint16, [1, 2, 3]), ([1.0, 2.0], np.uint8, [0, 0, 0]), ([0.25], np.float32, [0.25] * 3),
])
def test_fill(values, dtype, want):
    src = np.zeros((2, 2), np.uint8)
    got = run_single("fill", src, np.full((3, 4, 3), 9, dtype), value=np.array(values, F32))
    assert (got == np.array(want, dtype)).all()


# Outputs of 16 MB and more are written with streamed stores from each row's
# first 64-byte boundary on: an odd row length starts rows at many offsets
# within a line, and units of one byte (also a uint16 value with two equal
# bytes), 3, 6 and 12 bytes repeat over periods of 64 and 192 bytes.
@pytest.mark.parametrize("values,dtype,channels", [
    ([5.0], np.uint8, 3), ([1.0, 2.0, 3.0], np.uint8, 3), ([257.0], np.uint16, 1), ([258.0], np.uint16, 1),
    ([1.0, 2.0, 3.0], np.uint16, 3), ([0.5, -2.0, 7.0], np.float32, 3), ([1.0, 2.0], np.uint8, 3),
])
def test_large_fill(values, dtype, channels):
    width = 2731
    height = -(-17_000_000 // (width * channels * np.dtype(dtype).itemsize))
    got = run_single("fill", np.zeros((2, 2), np.uint8), np.full((height, width, channels), 9, dtype),
                     value=np.array(values, F32))
    unit = np.array(values, F32) if len(values) in (1, channels) else np.zeros(1, F32)
    want = np.broadcast_to(np.clip(np.floor(unit + 0.5), 0, np.iinfo(dtype).max) if dtype != np.float32 else unit,
                           (height, width, channels)).astype(dtype)
    np.testing.assert_array_equal(got, want)


NUMPY_ORIENT = {1: lambda a: a, 2: lambda a: a[:, ::-1], 3: lambda a: a[::-1, ::-1], 4: lambda a: a[::-1],
                5: lambda a: a.swapaxes(0, 1), 6: lambda a: np.rot90(a, -1),
                7: lambda a: np.rot90(a, 2).swapaxes(0, 1), 8: lambda a: np.rot90(a, 1)}


@pytest.mark.parametrize("o", range(1, 9))
def test_orientation_across_tiles(o):
    bits = RNG.integers(0, 2**32, (300, 530, 3), dtype=np.uint64).astype(np.uint32)
    bits[0, 0, 0] = 0x7FC0BEEF  # a NaN payload moves unchanged
    src = bits.view(np.float32)
    want = np.ascontiguousarray(NUMPY_ORIENT[o](src))
    got = run_single("orientation", src, np.zeros_like(want), orientation=o)
    np.testing.assert_array_equal(got.view(np.uint32), want.view(np.uint32))


# Mirrored rows move whole pixels in 16-byte pieces and finish pixel by pixel;
# transposes move 3-, 6- and 12-byte pixels with wider copies except in the
# last output row and column: every pixel size, widths below, at and just past
# one piece, and heights past one transpose block.
@pytest.mark.parametrize("o", [2, 3, 5, 6, 7, 8])
@pytest.mark.parametrize("dtype,channels", [(np.uint8, ()), (np.uint8, (2,)), (np.uint8, (3,)), (np.uint8, (4,)),
                                            (np.uint16, (3,)), (np.uint16, (4,)), (np.float32, (3,)),
                                            (np.float32, (4,))])
def test_orientation_every_pixel_size(o, dtype, channels):
    for width in list(range(1, 20)) + [37]:
        src = RNG.integers(0, 255, (70 if o >= 5 else 3, width) + channels).astype(dtype)
        want = np.ascontiguousarray(NUMPY_ORIENT[o](src))
        got = run_single("orientation", src, np.zeros_like(want), orientation=o)
        np.testing.assert_array_equal(got, want, err_msg=f"width {width}")


# A lone flip or transpose into an output of 16 MB and more streams its
# output rows (a transpose through a small buffer, in pieces of whole blocks):
# row lengths that are not whole 64-byte lines, tiles and pieces cut short at
# the image's edges, and pixels of 1, 3 and 16 bytes.
@pytest.mark.parametrize("o", [4, 5, 6, 7, 8])
@pytest.mark.parametrize("dtype,shape", [(np.uint8, (2100, 2731, 3)), (np.float32, (1030, 1031, 4)),
                                         (np.uint8, (4099, 4133))])
def test_large_orientation(o, dtype, shape):
    src = RNG.integers(0, 255, shape).astype(dtype)
    want = np.ascontiguousarray(NUMPY_ORIENT[o](src))
    got = run_single("orientation", src, np.zeros_like(want), orientation=o)
    np.testing.assert_array_equal(got, want)


U16, U8 = np.uint16, np.uint8
LEVELS = dict(black_repeat_rows=1, black_repeat_cols=1, samples_per_pixel=1, black_level=np.array([0], F32),
              white_level=np.array([1], F32))
STATUS_CASES = [
    ("normalize_raw", (U8, (4, 4)), (F32, (4, 4)), LEVELS, "UNSUPPORTED_DTYPE"),
    ("normalize_raw", (U16, (4, 4)), (U16, (4, 4)), LEVELS, "UNSUPPORTED_DTYPE"),
    ("normalize_raw", (U16, (4, 4)), (F32, (4, 4, 3)), LEVELS, "INVALID_ARGUMENT"),
    ("normalize_raw", (U16, (4, 4)), (F32, (4, 5)), LEVELS, "INVALID_ARGUMENT"),
    ("normalize_raw", (U16, (4, 4)), (F32, (4, 4)), {**LEVELS, "samples_per_pixel": 3}, "INVALID_ARGUMENT"),
    ("normalize_raw", (U16, (4, 4)), (F32, (4, 4)), {**LEVELS, "black_repeat_cols": 2}, "INVALID_ARGUMENT"),
    ("bilinear_demosaic", (F32, (4, 4, 3)), (F32, (4, 4, 3)), dict(cfa_pattern="RGGB"), "INVALID_ARGUMENT"),
    ("bilinear_demosaic", (U16, (4, 4)), (F32, (4, 4, 3)), dict(cfa_pattern="RGGB"), "UNSUPPORTED_DTYPE"),
    ("bilinear_demosaic", (F32, (4, 4)), (F32, (4, 4)), dict(cfa_pattern="RGGB"), "INVALID_ARGUMENT"),
    ("bilinear_demosaic", (F32, (4, 4)), (F32, (4, 4, 3)), dict(cfa_pattern="RGBG"), "INVALID_ARGUMENT"),
    ("ea_demosaic", (F32, (4, 4)), (F32, (4, 4, 3)), dict(cfa_pattern="gbrg", engine_opts="{}"), None),
    ("ea_demosaic", (F32, (4, 4)), (F32, (4, 4, 3)), dict(cfa_pattern="RGGB", engine_opts='{"x": 1}'),
     "INVALID_ARGUMENT"),
    ("view", (U8, (6, 6)), (U8, (3, 3)), dict(top=4, left=0, width=3, height=3), "INVALID_ARGUMENT"),
    ("view", (U8, (6, 6)), (U16, (3, 3)), dict(top=0, left=0, width=3, height=3), "INVALID_ARGUMENT"),
    ("view", (U8, (6, 6, 3)), (U8, (3, 3)), dict(top=0, left=0, width=3, height=3), "INVALID_ARGUMENT"),
    ("view", (U8, (6, 6)), (U8, (3, 4)), dict(top=0, left=0, width=3, height=3), "INVALID_ARGUMENT"),
    ("pad", (U8, (2, 2)), (U8, (4, 4)), dict(top=1, bottom=1, left=1, right=1, mode="wrap"), "INVALID_ARGUMENT"),
    ("pad", (U8, (2, 2, 3)), (U8, (4, 4)), dict(top=1, bottom=1, left=1, right=1), "INVALID_ARGUMENT"),
    ("pad", (U8, (2, 2)), (U8, (4, 4)), dict(top=1, bottom=1, left=1, right=1,
                                             constant_values=np.array([1, 2, 3], F32)), "INVALID_ARGUMENT"),
    ("fill", (U8, (2, 2)), (U8, (2, 2)), dict(value="zero"), "INVALID_ARGUMENT"),
    ("orientation", (U8, (4, 6)), (U8, (4, 6)), dict(orientation=6), "INVALID_ARGUMENT"),
    ("orientation", (U8, (4, 6)), (U8, (6, 4)), dict(orientation=0), "INVALID_ARGUMENT"),
    ("orientation", (U8, (4, 6)), (U16, (6, 4)), dict(orientation=6), "INVALID_ARGUMENT"),
    ("orientation", (U8, (4, 6, 3)), (U8, (6, 4)), dict(orientation=6), "INVALID_ARGUMENT"),
]


@pytest.mark.parametrize("op,src,dst,attrs,status", STATUS_CASES)
def test_resolution_status(op, src, dst, attrs, status):
    a = np.zeros(src[1], src[0])
    b = np.zeros(dst[1], dst[0])
    if status is None:
        run_single(op, a, b, **attrs)
    else:
        fails_with(status, op, a, b, **attrs)
