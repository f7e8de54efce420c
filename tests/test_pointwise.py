"""Pointwise colour kernels run as one-node graphs, against NumPy references
written from the formulas in float32 with the same order of operations."""
import itertools

import numpy as np
import pytest

import _pyxa

F32 = np.float32
TYPES = {"uint8": np.uint8, "uint16": np.uint16, "float32": np.float32}
TYPE_MAX = {"uint8": 255, "uint16": 65535}


def tensor(tid, h, w, c, dtype):
    return {"id": tid, "height": h, "width": w, "channels": c, "dtype": dtype,
            "stride": w * c * np.dtype(TYPES.get(dtype, np.float16)).itemsize}


def one_node_graph(op, attrs, in_desc, out_desc):
    """Input tensor 0 -> op -> output tensor 1 (in_desc None: a node without inputs)."""
    descs = [out_desc] if in_desc is None else [in_desc, out_desc]
    return {"tensor_descs": descs, "inputs": [] if in_desc is None else [0], "outputs": [1],
            "nodes": [{"id": 7, "op": op, "inputs": [] if in_desc is None else [0], "outputs": [1],
                       "attrs": attrs}]}


def run_node(op, attrs, src, out_dtype, out_channels=None):
    """Runs op on src (H, W) or (H, W, C) and returns the output array."""
    h, w = src.shape[:2]
    c = 1 if src.ndim == 2 else src.shape[2]
    oc = c if out_channels is None else out_channels
    in_name = next(k for k, v in TYPES.items() if v == src.dtype)
    graph = one_node_graph(op, attrs, tensor(0, h, w, c, in_name), tensor(1, h, w, oc, out_dtype))
    out = np.zeros((h, w) if oc == 1 else (h, w, oc), TYPES[out_dtype])
    _pyxa.execute_graph(graph, {0: src}, {1: out})
    return out


# ---- references -----------------------------------------------------------

def maximum(dtype, bits):
    if dtype == "float32":
        return F32(1)
    return F32((1 << (bits if bits > 0 else 8 * np.dtype(TYPES[dtype]).itemsize)) - 1)


def store(v, dtype):
    """Truncation toward zero, saturated to the type's range, NaN -> 0."""
    v = np.asarray(v, F32)
    if dtype == "float32":
        return v
    v = np.where(np.isnan(v), F32(0), v)
    return np.trunc(np.clip(v, 0, TYPE_MAX[dtype])).astype(TYPES[dtype])


def lookup(table, p):
    """Interpolated lookup with the guard entry, exact form (1 - f) a + f b."""
    t = np.append(np.asarray(table, F32), F32(table[-1]))
    last = F32(len(table) - 1)
    p = np.asarray(p, F32)
    p = np.where(np.isnan(p) | (p > last), last, np.where(p < 0, F32(0), p)).astype(F32)
    i = p.astype(np.int64)
    f = (p - i.astype(F32)).astype(F32)
    return ((F32(1) - f) * t[i] + f * t[i + 1]).astype(F32)


def clamp01(v):
    v = np.asarray(v, F32)
    return np.where(v > 1, F32(1), np.where(v >= 0, v, F32(0))).astype(F32)


def mix(m, y):
    """Matrix rows applied left to right: m0 y0 + m1 y1 + m2 y2."""
    m = np.asarray(m, F32)
    with np.errstate(invalid="ignore"):  # infinities times zero give NaN, as in the kernels
        return np.stack([m[3 * k] * y[..., 0] + m[3 * k + 1] * y[..., 1] + m[3 * k + 2] * y[..., 2]
                         for k in range(3)], axis=-1).astype(F32)


def sample(dtype, shape, seed):
    """Random values; float rows wider than the kernels' 256-element blocks also
    get NaN, infinities and -0 around a block edge."""
    rng = np.random.default_rng(seed)
    if dtype != "float32":
        return rng.integers(0, TYPE_MAX[dtype] + 1, shape).astype(TYPES[dtype])
    x = rng.uniform(-0.2, 1.2, shape).astype(F32)
    if shape[1] > 256:
        x.reshape(-1)[253:259] = [np.nan, np.inf, -np.inf, -0.0, 1.0, 0.0]
    return x


PAIRS = list(itertools.product(TYPES, TYPES))


# ---- scalar and matrix ops -------------------------------------------------

@pytest.mark.parametrize("op,fn", [("sub_scalar", np.subtract), ("mul_scalar", np.multiply)])
@pytest.mark.parametrize("width,channels", [(1, 1), (5, 3), (37, 1), (19, 4)])
def test_scalar_ops(op, fn, width, channels):
    src = sample("float32", (3, width, channels) if channels > 1 else (3, width), 1)
    out = run_node(op, {"value": 0.37}, src, "float32")
    np.testing.assert_array_equal(out, fn(src, F32(0.37)))


@pytest.mark.parametrize("width", [9, 300])
def test_matrix_3x3_and_clip_and_transform(width):
    src = sample("float32", (2, width, 3), 2)
    src[0, 0] = [np.nan, 2.0, -1.0]
    m = [0.6, 0.3, 0.1, -0.2, 1.1, 0.1, 0.0, 0.25, 0.9]
    out = run_node("matrix_3x3", {"matrix": m}, src, "float32")
    np.testing.assert_array_equal(out[1:], clamp01(mix(m, src))[1:])
    clip = [0.9, 0.5, 1.1]
    out = run_node("clip_and_transform_color", {"clip_max": clip, "matrix": m}, src, "float32")
    # A NaN input takes its bound.
    x = np.where(np.asarray(clip, F32) >= src, src, np.asarray(clip, F32)).astype(F32)
    np.testing.assert_array_equal(out, clamp01(mix(m, x)))


# ---- convert_dtype ---------------------------------------------------------

@pytest.mark.parametrize("src_t,dst_t", PAIRS)
@pytest.mark.parametrize("src_bits,dst_bits,clip", [(0, 0, -1.0), (12, 10, 700.0), (10, 0, 0.5)])
@pytest.mark.parametrize("width", [11, 700])
def test_convert_dtype(src_t, dst_t, src_bits, dst_bits, clip, width):
    src = sample(src_t, (2, width), 3)
    out = run_node("convert_dtype", {"dest_dtype": dst_t, "src_bits": src_bits, "dst_bits": dst_bits,
                                     "clip_max": clip}, src, dst_t)
    scale = (F32(1) / maximum(src_t, src_bits)) * maximum(dst_t, dst_bits)
    y = (src.astype(F32) * scale).astype(F32)
    c = F32(clip)
    if dst_t != "float32" and c >= maximum(dst_t, dst_bits):
        c = F32(-1)
    if c >= 0:
        y = np.where(y <= c, y, c).astype(F32)
    np.testing.assert_array_equal(out, store(y, dst_t))


def test_convert_saturates_instead_of_wrapping():
    src = np.array([[1.2, np.nan, -0.3, 0.5]], F32)
    out = run_node("convert_dtype", {"dest_dtype": "uint8", "src_bits": 0, "dst_bits": 8, "clip_max": 300.0},
                   src, "uint8")
    np.testing.assert_array_equal(out, [[255, 0, 0, 127]])


# ---- lut and mono_lut -------------------------------------------------------

def lut_reference(table, src, in_max, out_max, dst_t, direct):
    if direct:
        return store(out_max * np.asarray(table, F32)[src], dst_t)
    pos = (F32(len(table) - 1) * (F32(1) / in_max)) * src.astype(F32)
    return store(out_max * lookup(table, pos), dst_t)


@pytest.mark.parametrize("src_t,dst_t", PAIRS)
@pytest.mark.parametrize("n", [2, 17, 256, 257])
@pytest.mark.parametrize("width", [13, 600])
def test_lut_one_channel(src_t, dst_t, n, width):
    table = np.cos(np.linspace(0, 2, n)).astype(F32)
    src = sample(src_t, (3, width), 4)
    out = run_node("lut", {"lut": table}, src, dst_t)
    want = lut_reference(table, src, maximum(src_t, 0), maximum(dst_t, 0), dst_t, src_t == "uint8" and n == 256)
    np.testing.assert_array_equal(out, want)


def test_lut_three_float_channels_and_clamps():
    table = np.array([0.1, 0.4, 0.9, 0.2], F32)
    src = sample("float32", (2, 5, 3), 5)
    src[0, 0] = [np.nan, -4.0, 9.0]
    out = run_node("lut", {"lut": table}, src, "float32")
    np.testing.assert_array_equal(out, lookup(table, F32(3) * src))
    np.testing.assert_array_equal(out[0, 0], np.array([0.2, 0.1, 0.2], F32))  # NaN and above: last; below: first


@pytest.mark.parametrize("src_t,dst_t", PAIRS)
@pytest.mark.parametrize("src_bits,dst_bits", [(0, 0), (10, 12), (12, 0)])
@pytest.mark.parametrize("width", [6, 300])
def test_mono_lut(src_t, dst_t, src_bits, dst_bits, width):
    table = np.linspace(0, 1, 33).astype(F32) ** 2
    src = sample(src_t, (2, width, 3), 6)
    out = run_node("mono_lut", {"dest_dtype": dst_t, "src_bits": src_bits, "dst_bits": dst_bits, "lut": table},
                   src, dst_t)
    want = lut_reference(table, src, maximum(src_t, src_bits), maximum(dst_t, dst_bits), dst_t, False)
    np.testing.assert_array_equal(out, want)


# ---- transform_color ----------------------------------------------------------

IN_LUT = (np.linspace(0, 1, 256) ** 0.6).astype(F32)
SHORT_IN_LUT = (np.linspace(0, 1, 40) ** 0.8).astype(F32)
OUT_LUT = (np.linspace(0, 1, 50) ** 1.5).astype(F32)
MATRIX = [0.8, 0.15, 0.05, 0.1, 0.85, 0.05, -0.05, 0.1, 0.95]
SHAPES = [(i, m, o) for i in (None, "short", "256") for m in (False, True) for o in (False, True)
          if i or m or o]


def transform_reference(src, src_t, dst_t, in_lut, matrix, out_lut):
    in_scale = F32(1) / maximum(src_t, 0)
    out_scale = maximum(dst_t, 0)
    x = src.astype(F32)
    if in_lut is not None:
        if src_t == "uint8" and len(in_lut) == 256:
            y = in_lut[src]
        else:
            y = lookup(in_lut, (F32(len(in_lut) - 1) * in_scale) * x)
    elif matrix and out_lut is not None:
        y = x
    elif out_lut is not None:  # a lone output table reads the input values
        y = lookup(out_lut, (F32(len(out_lut) - 1) * in_scale) * x)
    else:
        y = in_scale * x
    if matrix and out_lut is not None:
        factor = F32(len(out_lut) - 1) if in_lut is not None else F32(len(out_lut) - 1) * in_scale
        m = np.asarray(MATRIX, F32) * factor
        r = out_scale * lookup(out_lut, mix(m, y))
    elif matrix:
        r = out_scale * clamp01(mix(MATRIX, y))
    elif in_lut is not None and out_lut is not None:  # both tables, one after the other
        r = out_scale * clamp01(lookup(out_lut, F32(len(out_lut) - 1) * y))
    else:
        r = out_scale * clamp01(y)
    return store(r, dst_t)


@pytest.mark.parametrize("src_t,dst_t", PAIRS)
@pytest.mark.parametrize("shape", SHAPES, ids=lambda s: f"in{s[0]}-m{int(s[1])}-out{int(s[2])}")
@pytest.mark.parametrize("width", [7, 300])
def test_transform_color(src_t, dst_t, shape, width):
    in_kind, matrix, has_out = shape
    in_lut = {None: None, "short": SHORT_IN_LUT, "256": IN_LUT}[in_kind]
    out_lut = OUT_LUT if has_out else None
    attrs = {"dest_dtype": dst_t, "src_bits": 0, "dst_bits": 0, "hue_preserving": 0}
    if in_lut is not None:
        attrs["input_lut"] = in_lut
    if matrix:
        attrs["matrix"] = MATRIX
    if out_lut is not None:
        attrs["output_lut"] = out_lut
    src = sample(src_t, (3, width, 3), 7)
    out = run_node("transform_color", attrs, src, dst_t)
    np.testing.assert_array_equal(out, transform_reference(src, src_t, dst_t, in_lut, matrix, out_lut))


def hue_preserving_reference(src, table):
    x = clamp01(src)
    r, g, b = x[..., 0], x[..., 1], x[..., 2]
    conds = [(r >= g) & (g > b), (r >= g) & (g <= b) & (r < b), (r >= g) & (g <= b) & (r >= b),
             (r < g) & (r >= b), (r < g) & (r < b) & (g < b), (r < g) & (r < b) & (g >= b)]
    roles = [(0, 1, 2), (2, 0, 1), (0, 2, 1), (1, 0, 2), (2, 1, 0), (1, 2, 0)]  # (hi, mid, lo)
    hi_i = np.select(conds, [h for h, _, _ in roles])
    mid_i = np.select(conds, [m for _, m, _ in roles])
    lo_i = np.select(conds, [lo for _, _, lo in roles])
    take = lambda idx: np.take_along_axis(x, idx[..., None], axis=-1)[..., 0]
    hi, mid, lo = take(hi_i), take(mid_i), take(lo_i)
    n1 = F32(len(table) - 1)
    hi2, lo2 = lookup(table, n1 * hi), lookup(table, n1 * lo)
    d = (hi - lo).astype(F32)
    safe = np.where(d > F32(1e-10), d, F32(1))
    mid2 = np.where(d > F32(1e-10), lo2 + (hi2 - lo2) * (mid - lo) / safe, lo2).astype(F32)
    y = np.empty_like(x)
    for idx, val in ((hi_i, hi2), (mid_i, mid2), (lo_i, lo2)):
        np.put_along_axis(y, idx[..., None], val[..., None], axis=-1)
    return y


@pytest.mark.parametrize("dst_t", list(TYPES))
@pytest.mark.parametrize("has_out", [False, True])
def test_hue_preserving_with_matrix(dst_t, has_out):
    src = sample("float32", (4, 9, 3), 8)
    src[0, :4] = [[0.5, 0.5, 0.5], [0.7, 0.7, 0.2], [0.2, 0.7, 0.7], [0.7, 0.2, 0.7]]
    attrs = {"dest_dtype": dst_t, "src_bits": 0, "dst_bits": 0, "hue_preserving": 1,
             "input_lut": SHORT_IN_LUT, "matrix": MATRIX}
    if has_out:
        attrs["output_lut"] = OUT_LUT
    out = run_node("transform_color", attrs, src, dst_t)
    y = hue_preserving_reference(src, SHORT_IN_LUT)
    if has_out:
        r = lookup(OUT_LUT, mix(np.asarray(MATRIX, F32) * F32(len(OUT_LUT) - 1), y))
    else:
        r = clamp01(mix(MATRIX, y))
    np.testing.assert_array_equal(out, store(maximum(dst_t, 0) * r, dst_t))


def test_hue_preserving_table_only():
    src = sample("float32", (3, 8, 3), 9)
    attrs = {"dest_dtype": "float32", "src_bits": 0, "dst_bits": 0, "hue_preserving": 1, "input_lut": SHORT_IN_LUT}
    out = run_node("transform_color", attrs, src, "float32")
    np.testing.assert_array_equal(out, clamp01(hue_preserving_reference(src, SHORT_IN_LUT)))
