"""pyxa.develop_mosaic: the graph it runs equals the development graph written
by hand node by node, byte for byte; clipped highlights come out white."""

import numpy as np
import pytest

import _pyxa
from conftest import desc_for, graph, node

pyxa = pytest.importorskip("pyxa")

CAM = np.array([[1.8, -0.9, 0.1], [-0.2, 1.7, -0.5], [0.0, -0.5, 1.5]])  # rows sum to 1
WB = (2.4, 1.0, 1.7)


def srgb_encode(x):
    return np.where(x <= 0.0031308, 12.92 * x, 1.055 * x ** (1 / 2.4) - 0.055)


def hand_graph(mosaic, cfa, black, white, dtype, demosaic, orientation, exposure, entries):
    """The development graph written out as a dict, the way a caller of _pyxa
    would: white balance and exposure folded into one matrix, each channel
    clipped where the sensor saturates (1 / gain) before the channels mix."""
    h, w = mosaic.shape
    gains = np.array(WB) / min(WB)
    full = 2.0 ** exposure * CAM * gains  # CAM @ diag(gains)
    table = srgb_encode(np.linspace(0, 1, entries))
    if np.dtype(dtype).kind == "u":
        table = table + 0.5 / np.iinfo(dtype).max  # round instead of truncating on store
    out_h, out_w = (w, h) if orientation >= 5 else (h, w)
    blacks = list(np.ravel(black).astype(float))
    arrays = [mosaic, np.zeros((h, w), np.float32), np.zeros((h, w, 3), np.float32),
              np.zeros((h, w, 3), np.float32), np.zeros((h, w, 3), dtype), np.zeros((out_h, out_w, 3), dtype)]
    demosaic_node = (node(2, "bilinear_demosaic", [1], [2], cfa_pattern=cfa) if demosaic == "bilinear" else
                     node(2, "ea_demosaic", [1], [2], cfa_pattern=cfa, fast=1) if demosaic == "ea" else
                     node(2, "ea_demosaic", [1], [2], cfa_pattern=cfa))
    nodes = [
        node(1, "normalize_raw", [0], [1], black_repeat_rows=2 if len(blacks) == 4 else 1,
             black_repeat_cols=2 if len(blacks) == 4 else 1, samples_per_pixel=1,
             black_level=blacks, white_level=[float(white)]),
        demosaic_node,
        node(3, "clip_and_transform_color", [2], [3], clip_max=(1 / gains).astype(np.float32),
             matrix=full.astype(np.float32).ravel()),
        node(4, "transform_color", [3], [4], dest_dtype=np.dtype(dtype).name, src_bits=0, dst_bits=0,
             hue_preserving=0, output_lut=table.astype(np.float32)),
        node(5, "orientation", [4], [5], orientation=orientation),
    ]
    last = 5 if orientation != 1 else 4
    g = graph([desc_for(i, a) for i, a in enumerate(arrays)], [0], [last], nodes[:last])
    _pyxa.execute_graph(g, {0: mosaic}, {last: arrays[last]})
    return arrays[last]


@pytest.mark.parametrize("cfa, black, dtype, demosaic, orientation, exposure", [
    ("RGGB", 256, "uint8", "ea", 1, 0.0),
    ("GRBG", (250, 256, 262, 268), "uint16", "bilinear", 6, 0.5),
    ("GBRG", (250, 256, 262, 268), "float32", "ea_full", 8, -1.0),
    ("BGGR", 256, np.uint16, "ea", 3, 1.0),
])
def test_develop_mosaic_equals_the_graph_written_by_hand(cfa, black, dtype, demosaic, orientation, exposure):
    rng = np.random.default_rng(3)
    mosaic = rng.integers(200, 4096, size=(38, 54), dtype=np.uint16)
    got = pyxa.develop_mosaic(mosaic, cfa, black=black, white=4095, matrix=CAM, wb=WB, dtype=dtype,
                              demosaic=demosaic, orientation=orientation, exposure=exposure)
    entries = 4096 if np.dtype(dtype) == np.uint8 else 65536
    want = hand_graph(mosaic, cfa, black, 4095, np.dtype(dtype), demosaic, orientation, exposure, entries)
    assert got.dtype == want.dtype and got.shape == want.shape
    assert got.tobytes() == want.tobytes()


def test_develop_mosaic_reads_a_view_in_place_and_writes_into_out():
    """A padded view (as rawpy hands out its visible area) is read where it
    lies; out= receives the result; profile=True names each node's op."""
    rng = np.random.default_rng(4)
    full = rng.integers(0, 4096, size=(40, 70), dtype=np.uint16)
    view = full[2:34, 6:54]
    out = np.zeros((32, 48, 3), np.uint8)
    result, profile = pyxa.develop_mosaic(view, "RGGB", black=0, white=4095, out=out, profile=True)
    assert result is out
    assert out.tobytes() == pyxa.develop_mosaic(np.ascontiguousarray(view), "RGGB", white=4095).tobytes()
    assert [e["op"] for e in profile] == ["normalize_raw", "ea_demosaic", "clip_and_transform_color",
                                          "transform_color"]


@pytest.mark.parametrize("cfa", ["RGGB", "GRBG", "GBRG", "BGGR"])
@pytest.mark.parametrize("demosaic", ["ea", "ea_full", "bilinear"])
def test_clipped_highlights_stay_white(cfa, demosaic):
    """A patch past the white level on every site must come out white. Gains
    applied to clipped raw values without the per-channel bound would push red
    and blue above green there: a magenta sky."""
    mosaic = np.full((24, 24), 1000, np.uint16)
    mosaic[6:18, 6:18] = 4095
    rgb = pyxa.develop_mosaic(mosaic, cfa, black=0, white=3800, matrix=CAM, wb=WB, dtype="uint16",
                              demosaic=demosaic)
    assert (rgb[9:15, 9:15] == 65535).all()


@pytest.mark.parametrize("kwargs, message", [
    ({"cfa": "RGBG"}, "cfa must be one of"),
    ({"black": (1, 2, 3)}, "black must be one value or four"),
    ({"wb": (1, 0, 1)}, "wb needs three positive gains"),
    ({"matrix": np.eye(4)}, "matrix must be 3x3"),
    ({"demosaic": "ahd"}, "demosaic must be one of"),
    ({"orientation": 9}, "orientation must be an integer from 1 to 8"),
    ({"curve": "rec709"}, 'curve must be "srgb", "linear"'),
    ({"curve": (0.5, 1.0)}, "needs gamma >= 1"),
    ({"exposure": float("nan")}, "exposure must be a finite"),
])
def test_develop_mosaic_refuses_bad_arguments(kwargs, message):
    with pytest.raises(ValueError, match=message):
        pyxa.develop_mosaic(np.zeros((8, 8), np.uint16), **kwargs)


@pytest.mark.parametrize("gamma, slope, x0, offset", [
    (2.4, 12.92, 0.0030412826, 0.0550107189),  # sRGB's shape, joined smoothly
    (1 / 0.45, 4.5, 0.0180539685, 0.0992968268),  # Rec. 709's published pair
])
def test_gamma_with_linear_toe_joins_value_and_slope(gamma, slope, x0, offset):
    """A (gamma, toe slope) curve: linear below x0, a power above, meeting with
    the same value and slope, the constants published for sRGB and Rec. 709."""
    from pyxa.develop import curve_table

    table = curve_table((gamma, slope), "float32")
    x = np.linspace(0, 1, table.size)
    want = np.where(x < x0, slope * x, (1 + offset) * x ** (1 / gamma) - offset)
    assert np.abs(table - want).max() < 2e-6


def joined_toe(gamma, slope):
    """The knee x0 and offset a where slope * x meets (1 + a) * x ** (1 / gamma) - a
    with the same value and slope: equal slopes give 1 + a = slope * x0 ** (1 - p) / p
    (p = 1 / gamma), equal values a = slope * x0 * (1 / p - 1); x0 by bisection."""
    p = 1 / gamma
    lo, hi = 1e-9, 0.5
    for _ in range(200):
        mid = (lo + hi) / 2
        if slope * mid ** (1 - p) / p - 1 - slope * mid * (1 / p - 1) > 0:
            hi = mid
        else:
            lo = mid
    return lo, slope * lo * (1 / p - 1)


@pytest.mark.parametrize("curve", ["srgb", (2.4, 12.92), (1 / 0.45, 4.5), (1.8, 16.0)])
def test_sixteen_bit_levels_stay_within_a_step_of_the_curve(curve):
    """16-bit output through the engine's interpolated table lands within one
    level of the exact curve everywhere, near the toe's knee and black too,
    where a gamma curve bends most (a 4096-entry table misses by 1.6 levels
    there, an 8192-entry one by 1.7 on the 1.8 curve)."""
    from pyxa.develop import curve_table

    rng = np.random.default_rng(11)
    x = np.concatenate([np.linspace(0, 1, 300_001), np.geomspace(1e-7, 0.05, 200_000),
                        rng.uniform(0, 0.03, 100_000)]).astype(np.float32)
    x = np.resize(x, (x.size // 3 + 1) * 3).reshape(-1, 1, 3)
    g = pyxa.Graph()
    g.transform_color(g.input(x), dest_dtype="uint16", output_lut=curve_table(curve, "uint16"))
    v = x.astype(np.float64)
    if curve == "srgb":
        exact = srgb_encode(v)
    else:
        gamma, slope = curve
        x0, offset = joined_toe(gamma, slope)
        exact = np.where(v < x0, slope * v, (1 + offset) * v ** (1 / gamma) - offset)
    assert np.abs(g.run().astype(np.float64) - exact * 65535).max() <= 1.0
