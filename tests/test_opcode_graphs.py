"""Every correction opcode as a node of a graph: the engine hands it the caller's
(padded) arrays and the node's attributes, and the result lands in place.
Settings are chosen so that a short NumPy expression gives the expected pixels."""

import numpy as np
import pytest

import _pyxa
from conftest import run_single

f64 = np.float64


def padded(h, w, c, dtype, fill=0):
    """An (h, w, c) view into wider rows (2 extra pixels on each side)."""
    base = np.full((h, w + 4, c), fill, dtype)
    return base[:, 2:w + 2]


def mono(a):
    return a[..., 0]


def rng_image(h, w, c, lo=0.0, hi=0.6, seed=3):
    a = padded(h, w, c, np.float32)
    a[...] = np.random.default_rng(seed).uniform(lo, hi, (h, w, c)).astype(np.float32)
    return a


GRID_ATTRS = dict(points_v=1, points_h=1, top=0, left=0, bottom=0, right=0,
                  spacing_v=f64(1.0), spacing_h=f64(1.0), origin_v=f64(0.0), origin_h=f64(0.0))


def test_apply_gain_map_per_plane_gains():
    src, dst = rng_image(7, 9, 3), padded(7, 9, 3, np.float32, fill=-1)
    gains = np.array([0.5, 2.0, 1.0], np.float32)
    run_single("apply_gain_map", src, dst, gain_values=gains, map_planes=3, start_plane=0, num_planes=3,
               row_pitch=1, col_pitch=1, **GRID_ATTRS)
    np.testing.assert_array_equal(dst, np.clip(src * gains, 0, 1))


def test_apply_gain_map_cfa_pitch_selects_sites():
    src, dst = rng_image(6, 8, 1), padded(6, 8, 1, np.float32, fill=-1)
    run_single("apply_gain_map_cfa", mono(src), mono(dst), gain_values=[2.0], map_planes=1,
               row_pitch=2, col_pitch=2, **GRID_ATTRS)
    expected = src.copy()
    expected[0::2, 0::2] = np.clip(src[0::2, 0::2] * np.float32(2), 0, 1)
    np.testing.assert_array_equal(dst, expected)


def test_apply_flat_gain_map_rows_extrapolate():
    src, dst = padded(4, 5, 1, np.float32, fill=0.25), padded(4, 5, 1, np.float32)
    run_single("apply_flat_gain_map", mono(src), mono(dst), gain_map=[1.0, 1.0, 3.0, 3.0], gain_h=2, gain_w=2)
    rows = np.float32(0.25) * np.array([[1], [2], [3], [4]], np.float32)
    np.testing.assert_array_equal(mono(dst), np.broadcast_to(rows, (4, 5)))


def test_apply_profile_gain_table_map_constant_gain():
    src, dst = rng_image(5, 6, 3), padded(5, 6, 3, np.float32)
    run_single("apply_profile_gain_table_map", src, dst, gains=[2.0] * 4, points_v=1, points_h=1,
               spacing_v=1.0, spacing_h=1.0, origin_v=0.0, origin_h=0.0, num_table_points=4,
               weights=[0.25, 0.5, 0.25, 0.0, 0.0], gamma=1.0, exposure_weight_gain=1.0)
    np.testing.assert_array_equal(dst, np.clip(src * np.float32(2), 0, 1))


def test_fix_vignette_without_falloff_only_clamps():
    src, dst = rng_image(6, 7, 3, lo=-0.5, hi=1.5), padded(6, 7, 3, np.float32)
    run_single("fix_vignette", src, dst, params=np.array([0.0]), center_x=f64(0.5), center_y=f64(0.5))
    np.testing.assert_array_equal(dst, np.clip(src, 0, 1))


def test_warp_rectilinear_identity_reproduces_input():
    src, dst = rng_image(8, 9, 1), padded(8, 9, 1, np.float32)
    run_single("warp_rectilinear", mono(src), mono(dst), radial_params=np.array([1.0]), num_planes=1,
               num_coeffs=1, center_x=f64(0.5), center_y=f64(0.5), use_bicubic=0)
    np.testing.assert_array_equal(dst, src)


def test_map_polynomial_is_point_symmetric():
    src, dst = rng_image(4, 5, 3, lo=-0.9, hi=0.9), padded(4, 5, 3, np.float32)
    run_single("map_polynomial", src, dst, top=0, left=0, bottom=0, right=0, start_plane=0, num_planes=3,
               row_pitch=1, col_pitch=1, coefficients=[0.0, 0.0, 1.0], degree=2)
    np.testing.assert_allclose(dst, np.sign(src) * src * src, rtol=1e-6, atol=0)


def test_fix_bad_pixels_constant_repairs_from_the_input():
    src = padded(5, 5, 1, np.uint16)
    src[...] = 100
    src[2, 2, 0] = 65535  # defective; its class-0 diagonal neighbours are all good
    src[1, 1, 0] = 108
    dst = padded(5, 5, 1, np.uint16)
    run_single("fix_bad_pixels_constant", mono(src), mono(dst), constant=-1, bayer_phase=0)
    expected = mono(src).copy()
    expected[2, 2] = (108 + 100 * 3 + 2) >> 2
    np.testing.assert_array_equal(mono(dst), expected)


def test_opcode_failure_status_reaches_python():
    src, dst = rng_image(4, 4, 3), padded(4, 4, 3, np.float32)
    with pytest.raises(RuntimeError, match=r"(?m)^execute_graph failed: INVALID_ARGUMENT \(1\)$"):
        run_single("fix_vignette", src, dst, center_x=f64(0.5), center_y=f64(0.5))  # no "params"


def test_an_opcode_output_in_a_reused_buffer_starts_at_zero():
    # X (a pooled buffer) is consumed by the table opcode, whose output Y holds
    # 3000 everywhere; every sample of Y is then a defect without a good
    # neighbour, so the bad-pixel fix writes nothing. Its output reuses X's
    # buffer: it must read 0, never X's 1000.
    import pyxa

    mosaic = np.full((8, 8), 500, np.uint16)
    g = pyxa.Graph()
    x = g.convert_dtype(g.input(mosaic), dest_dtype="uint16", src_bits=15, dst_bits=16, clip_max=-1.0)
    table = np.zeros(65536, np.int32)
    table[1000] = 3000
    y = g.map_table(x, table=table)
    z = g.fix_bad_pixels_constant(y, constant=3000, bayer_phase=0)
    out = g.convert_dtype(z, dest_dtype="uint16", src_bits=0, dst_bits=0, clip_max=-1.0)
    got = g.run(mosaic)
    assert np.array_equal(got, np.zeros_like(mosaic))
