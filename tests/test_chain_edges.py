"""Tiled chains at their edges: tiles whose pixels need no input at all (a
fill, or a pad border wider than a tile) and tiles that lie wholly inside a
mirrored border. Each chain runs as one graph and node by node with every
intermediate materialised; the two must agree byte for byte."""
import numpy as np
import pytest

from conftest import run_chain_fused as run_fused, run_chain_one_by_one as run_one_by_one

F32, U8, U16 = np.float32, np.uint8, np.uint16


def ramp(n, lo=0.0, hi=1.0):
    return np.linspace(lo, hi, n).astype(F32)


def plain_lut(dest, lut):
    return dict(dest_dtype=dest, src_bits=0, dst_bits=0, lut=lut)


# Each case: (input shape, input dtype, [(op, attrs, output shape, output dtype), ...]).
CASES = {
    "fill_then_reflect_pad_below": (
        (300, 3), F32,
        [("lut", dict(lut=ramp(257, 0.0, 0.9)), (300, 3), U16),
         ("mono_lut", plain_lut("uint8", ramp(256, 0.1, 0.8)), (300, 3), U8),
         ("lut", dict(lut=ramp(256, 0.2, 1.0)), (300, 3), F32),
         ("orientation", dict(orientation=3), (300, 3), F32),
         ("fill", dict(value=np.array([0.25], F32)), (300, 3), F32),
         ("pad", dict(top=0, bottom=300, left=1, right=5, mode="reflect"), (600, 9), F32)]),
    "fill_then_wide_constant_pad": (
        (7, 5, 3), U8,
        [("fill", dict(value=np.array([12.0, 200.0, 77.0], F32)), (7, 5, 3), U8),
         ("orientation", dict(orientation=1), (7, 5, 3), U8),
         ("pad", dict(top=1, bottom=5, left=300, right=2, mode="constant",
                      constant_values=np.array([3.0, 250.0, 40.0, 9.0], F32)), (13, 307, 3), U8),
         ("orientation", dict(orientation=1), (13, 307, 3), U8)]),
    "demosaic_then_symmetric_pad_right": (
        (260, 300), F32,
        [("ea_demosaic", dict(cfa_pattern="grbg"), (260, 300, 3), F32),
         ("mul_scalar", dict(value=0.8), (260, 300, 3), F32),
         ("orientation", dict(orientation=5), (300, 260, 3), F32),
         ("pad", dict(top=1, bottom=2, left=0, right=300, mode="symmetric"), (303, 560, 3), F32),
         ("apply_hue_sat_val_map", dict(hue_divs=3, sat_divs=2, val_divs=2,
                                        map_data=np.tile(np.array([5.0, 0.9, 1.1], F32), 12)), (303, 560, 3), F32),
         ("convert_dtype", dict(dest_dtype="uint16", src_bits=0, dst_bits=12, clip_max=1.0), (303, 560, 3), U16)]),
    "window_into_wide_reflect_borders": (
        (260, 300), U16,
        [("mono_lut", plain_lut("uint16", ramp(1000)), (260, 300), U16),
         ("orientation", dict(orientation=1), (260, 300), U16),
         ("pad", dict(top=40, bottom=5, left=300, right=300, mode="reflect"), (305, 900), U16),
         ("view", dict(top=37, left=48, width=292, height=218, oob_valid=0), (218, 292), U16)]),
    "window_inside_stacked_pads": (
        (1, 31, 3), U8,
        [("pad", dict(top=5, bottom=0, left=1, right=1, mode="reflect"), (6, 33, 3), U8),
         ("pad", dict(top=2, bottom=2, left=40, right=0, mode="symmetric"), (10, 73, 3), U8),
         ("view", dict(top=7, left=34, width=12, height=2, oob_valid=0), (2, 12, 3), U8),
         ("orientation", dict(orientation=8), (12, 2, 3), U8),
         ("orientation", dict(orientation=2), (12, 2, 3), U8),
         ("transform_color", dict(dest_dtype="float32", src_bits=0, dst_bits=0, hue_preserving=0,
                                  matrix=[0.8, 0.1, 0.1, 0.0, 1.0, 0.0, 0.2, 0.3, 0.5]), (12, 2, 3), F32)]),
    "mirrored_corners_wider_than_a_tile": (
        (3, 4, 3), U8,
        [("pad", dict(top=300, bottom=300, left=300, right=300, mode="symmetric"), (603, 604, 3), U8),
         ("orientation", dict(orientation=6), (604, 603, 3), U8),
         ("convert_dtype", dict(dest_dtype="float32", src_bits=8, dst_bits=0, clip_max=-1.0), (604, 603, 3), F32)]),
    "clamped_border_then_transpose": (
        (2, 2), U16,
        [("pad", dict(top=257, bottom=0, left=0, right=520, mode="edge"), (259, 522), U16),
         ("orientation", dict(orientation=7), (522, 259), U16),
         ("mono_lut", plain_lut("uint8", ramp(256, 0.0, 1.0)), (522, 259), U8)]),
    "fill_transposed_into_reflect_border": (
        (16, 3), F32,
        [("fill", dict(value=np.array([0.5], F32)), (16, 3), F32),
         ("orientation", dict(orientation=6), (3, 16), F32),
         ("mul_scalar", dict(value=1.5), (3, 16), F32),
         ("pad", dict(top=600, bottom=2, left=255, right=256, mode="reflect"), (605, 527), F32)]),
}


def make_input(shape, dtype, seed):
    rng = np.random.default_rng(seed)
    if dtype == F32:
        return rng.uniform(0.0, 1.0, shape).astype(F32)
    return rng.integers(0, np.iinfo(dtype).max + 1, shape).astype(dtype)


@pytest.mark.parametrize("name", sorted(CASES))
def test_fused_matches_node_by_node(name):
    shape, dtype, chain = CASES[name]
    src = make_input(shape, dtype, seed=len(name))
    separate = run_one_by_one(src, chain)
    fused = run_fused(src, chain)
    assert fused.shape == separate.shape
    assert fused.tobytes() == separate.tobytes()
    assert separate.any()
