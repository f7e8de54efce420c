"""half_demosaic: one RGB pixel per 2x2 Bayer cell against a NumPy reference
for every CFA order and odd sizes, fused into development chains equal to the
same nodes run one per graph, and every refusal with its message."""
import numpy as np
import pytest

import _pyxa
import pyxa
from conftest import graph, node, run_chain_fused, run_chain_one_by_one, tensor_desc

F32 = np.float32
RNG = np.random.default_rng(23)
PATTERNS = ["RGGB", "BGGR", "GRBG", "GBRG"]


def half_reference(m, pattern):
    """Red and blue from their sites of each whole cell, green (g1 + g2) * 0.5 in float32."""
    h, w = m.shape[0] // 2 * 2, m.shape[1] // 2 * 2
    sites = {(dy, dx): m[dy:h:2, dx:w:2] for dy in (0, 1) for dx in (0, 1)}
    where = {}
    for i, colour in enumerate(pattern):
        where.setdefault(colour, []).append(sites[divmod(i, 2)])
    green = (where["G"][0] + where["G"][1]) * F32(0.5)
    return np.stack([where["R"][0], green, where["B"][0]], axis=-1)


def half(m, pattern):
    g = pyxa.Graph()
    g.half_demosaic(g.input(m), cfa_pattern=pattern)
    return g.run()


@pytest.mark.parametrize("pattern", PATTERNS)
@pytest.mark.parametrize("shape", [(2, 2), (3, 3), (5, 1034), (1031, 6), (64, 517)])
def test_half_matches_reference(pattern, shape):
    m = RNG.uniform(-0.1, 1.1, shape).astype(F32)
    got = half(m, pattern)
    assert got.shape == (shape[0] // 2, shape[1] // 2, 3)
    np.testing.assert_array_equal(got, half_reference(m, pattern))


def test_half_green_is_float32_mean_with_specials():
    """The mean is the float32 sum halved: inf + -inf is NaN, two huge values overflow to inf."""
    big = np.finfo(F32).max
    m = np.array([[0.0, np.inf, 0.0, big, 0.0, 1.0],
                  [-np.inf, 0.0, big, 0.0, 3.0, 0.0]], F32)
    got = half(m, "RGGB")
    assert np.isnan(got[0, 0, 1]) and got[0, 1, 1] == np.inf and got[0, 2, 1] == F32(2.0)


# The development chain the command line's --half builds, as the engine runs it.
def development(h, w, orientation, pattern="GRBG"):
    oh, ow = (w // 2, h // 2) if orientation >= 5 else (h // 2, w // 2)
    return [
        ("normalize_raw", dict(black_repeat_rows=2, black_repeat_cols=2, samples_per_pixel=1,
                               black_level=np.array([60, 64, 62, 66], F32), white_level=np.array([4000], F32)),
         (h, w), F32),
        ("half_demosaic", dict(cfa_pattern=pattern), (h // 2, w // 2, 3), F32),
        ("clip_and_transform_color", dict(clip_max=np.array([0.5, 1.0, 0.8], F32),
                                          matrix=np.array([1.6, 0.2, -0.1, 0.1, 0.9, 0.2, 0.0, -0.3, 1.9], F32)),
         (h // 2, w // 2, 3), F32),
        ("transform_color", dict(dest_dtype="uint16", src_bits=0, dst_bits=0, hue_preserving=0,
                                 output_lut=(np.linspace(0, 1, 4097) ** (1 / 2.2)).astype(F32)),
         (h // 2, w // 2, 3), np.uint16),
        ("orientation", dict(orientation=orientation), (oh, ow, 3), np.uint16),
    ]


@pytest.mark.parametrize("size,orientation", [((37, 29), 1), ((38, 531), 6), ((601, 517), 3), ((2, 3), 8),
                                              ((1023, 11), 5)])
def test_fused_development_equals_node_by_node(size, orientation):
    raw = RNG.integers(0, 4096, size).astype(np.uint16)
    chain = development(*size, orientation)
    fused, prof = run_chain_fused(raw, chain, profile=True)
    assert [p["node_id"] for p in prof] == list(range(1, len(chain) + 1))
    assert fused.tobytes() == run_chain_one_by_one(raw, chain).tobytes()
    assert fused.any()


@pytest.mark.parametrize("top,left", [(0, 0), (1, 0), (0, 1), (3, 5)])
def test_fused_after_a_window_and_before_a_pad(top, left):
    """A window at an odd offset starts the cells on other sites of the sensor,
    and a pad after the half image asks for rows of it beyond its edges: both
    must stream exactly as the materialised images."""
    h, w = 41, 300
    raw = RNG.uniform(0, 1, (h, w)).astype(F32)
    vh, vw = h - top - 2, w - left - 3
    chain = [("view", dict(top=top, left=left, width=vw, height=vh, oob_valid=1), (vh, vw), F32),
             ("half_demosaic", dict(cfa_pattern="BGGR"), (vh // 2, vw // 2, 3), F32),
             ("pad", dict(top=2, bottom=3, left=1, right=4, mode="reflect"), (vh // 2 + 5, vw // 2 + 5, 3), F32),
             ("orientation", dict(orientation=7), (vw // 2 + 5, vh // 2 + 5, 3), F32)]
    fused = run_chain_fused(raw, chain)
    assert fused.tobytes() == run_chain_one_by_one(raw, chain).tobytes()
    window = raw[top:top + vh, left:left + vw]
    np.testing.assert_array_equal(run_chain_one_by_one(raw, chain[:2]), half_reference(window, "BGGR"))


@pytest.mark.parametrize("shape,message", [
    ((1, 6), "input tensor 0 (float32, 1x6) needs at least 2 rows and 2 columns, one whole 2x2 cell"),
    ((6, 1), "input tensor 0 (float32, 6x1) needs at least 2 rows and 2 columns, one whole 2x2 cell"),
])
def test_builder_refuses_a_mosaic_without_a_whole_cell(shape, message):
    g = pyxa.Graph()
    x = g.input(shape, "float32")
    with pytest.raises(pyxa.GraphError) as refused:
        g.half_demosaic(x, cfa_pattern="RGGB")
    assert str(refused.value) == f"node 1 (half_demosaic): {message}"


def engine_half(in_shape, in_dtype, out_shape, out_dtype, **attrs):
    """One half_demosaic node straight through the engine, without the builder."""
    def desc(tid, shape, dtype):
        return tensor_desc(tid, dtype, shape[0], shape[1], shape[2] if len(shape) == 3 else 1)
    g = graph([desc(0, in_shape, in_dtype), desc(1, out_shape, out_dtype)], [0], [1],
              [node(4, "half_demosaic", [0], [1], **attrs)])
    _pyxa.execute_graph(g, {0: np.zeros(in_shape, in_dtype)}, {1: np.zeros(out_shape, out_dtype)})


@pytest.mark.parametrize("in_shape,in_dtype,out_shape,out_dtype,status,note", [
    ((4, 6), "float32", (4, 6, 3), "float32", "INVALID_ARGUMENT",
     "output tensor 1 is 4 x 6 x 3, expected 2 x 3 x 3"),
    ((5, 7), "float32", (3, 4, 3), "float32", "INVALID_ARGUMENT",
     "output tensor 1 is 3 x 4 x 3, expected 2 x 3 x 3"),
    ((1, 7), "float32", (1, 3, 3), "float32", "INVALID_ARGUMENT",
     "input tensor 0 is 1 x 7, the op needs at least 2 x 2 (one whole cell)"),
    ((7, 1), "float32", (3, 1, 3), "float32", "INVALID_ARGUMENT",
     "input tensor 0 is 7 x 1, the op needs at least 2 x 2 (one whole cell)"),
    ((4, 6), "uint16", (2, 3, 3), "float32", "UNSUPPORTED_DTYPE", "input tensor 0 is uint16, the op takes float32"),
    ((4, 6), "float32", (2, 3, 3), "uint8", "UNSUPPORTED_DTYPE", "output tensor 1 is uint8, the op takes float32"),
    ((4, 6, 3), "float32", (2, 3, 3), "float32", "INVALID_ARGUMENT",
     "input tensor 0 has 3 channel(s), the op needs 1"),
])
def test_engine_refuses(in_shape, in_dtype, out_shape, out_dtype, status, note):
    with pytest.raises(RuntimeError) as refused:
        engine_half(in_shape, in_dtype, out_shape, out_dtype, cfa_pattern="RGGB")
    assert refused.value.args[0].startswith(f"execute_graph failed: {status}")
    assert refused.value.__notes__ == [f"node 4 (half_demosaic): {note}"]


def test_engine_refuses_tensor_before_pattern():
    """The tensors are checked first: a node wrong in both is refused for its tensor."""
    with pytest.raises(RuntimeError) as refused:
        engine_half((1, 7), "float32", (1, 3, 3), "float32", cfa_pattern="RGBG")
    assert "needs at least 2 x 2" in refused.value.__notes__[0]
