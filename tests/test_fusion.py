"""Fusion equivalence: a long chain run as one graph gives byte-identical
output to the same nodes run one per graph with every intermediate
materialised in a NumPy array."""
import numpy as np
import pytest

from conftest import run_chain_fused, run_chain_one_by_one as run_one_by_one

F32 = np.float32
RNG = np.random.default_rng(11)
ORIENT_SWAPS = {5, 6, 7, 8}


def chain_nodes(h, w, demosaic, pad_mode, orientation):
    """(op, attrs, output shape, output dtype) for every node of the chain."""
    vt, vl = h // 5, w // 5
    vh, vw = max(1, h - vt - h // 7), max(1, w - vl - w // 7)
    pt, pb, pl, pr = 2, 1, 3, 0
    ph, pw = vh + pt + pb, vw + pl + pr
    oh, ow = (pw, ph) if orientation in ORIENT_SWAPS else (ph, pw)
    demosaic_attrs = dict(cfa_pattern="GBRG", **({"fast": 0} if demosaic == "ea_demosaic" else {}))
    pad_attrs = dict(top=pt, bottom=pb, left=pl, right=pr, mode=pad_mode)
    if pad_mode == "constant":
        pad_attrs["constant_values"] = np.array([0.1, 0.2, 0.3, 0.4], F32)
    return [
        ("normalize_raw", dict(black_repeat_rows=2, black_repeat_cols=2, samples_per_pixel=1,
                               black_level=np.array([60, 64, 62, 66], F32), white_level=np.array([4000], F32)),
         (h, w), F32),
        (demosaic, demosaic_attrs, (h, w, 3), F32),
        ("mul_scalar", dict(value=1.5), (h, w, 3), F32),
        ("view", dict(top=vt, left=vl, width=vw, height=vh), (vh, vw, 3), F32),
        ("pad", pad_attrs, (ph, pw, 3), F32),
        ("orientation", dict(orientation=orientation), (oh, ow, 3), F32),
        ("matrix_3x3", dict(matrix=[0.9, 0.1, 0.0, 0.05, 0.9, 0.05, 0.0, 0.2, 0.8]), (oh, ow, 3), F32),
        ("transform_color", dict(dest_dtype="uint16", src_bits=0, dst_bits=0, hue_preserving=0,
                                 output_lut=(np.linspace(0, 1, 257) ** 0.5).astype(F32)), (oh, ow, 3), np.uint16),
    ]


def run_fused(raw, chain):
    out, prof = run_chain_fused(raw, chain, profile=True)
    assert [p["node_id"] for p in prof] == list(range(1, len(chain) + 1))
    return out


CASES = [
    ((37, 29), "bilinear_demosaic", "reflect", 1),
    ((37, 29), "ea_demosaic", "symmetric", 6),
    ((1, 9), "bilinear_demosaic", "edge", 3),
    ((9, 1), "bilinear_demosaic", "constant", 8),
    ((1, 1), "bilinear_demosaic", "edge", 5),
    ((2, 2), "ea_demosaic", "constant", 2),
    ((300, 261), "bilinear_demosaic", "reflect", 7),
    ((263, 300), "ea_demosaic", "edge", 4),
    ((11, 517), "bilinear_demosaic", "symmetric", 1),
    ((517, 6), "ea_demosaic", "reflect", 6),
]


@pytest.mark.parametrize("size,demosaic,pad_mode,orientation", CASES)
def test_fused_chain_equals_node_by_node(size, demosaic, pad_mode, orientation):
    h, w = size
    raw = RNG.integers(0, 4096, (h, w)).astype(np.uint16)
    chain = chain_nodes(h, w, demosaic, pad_mode, orientation)
    fused = run_fused(raw, chain)
    separate = run_one_by_one(raw, chain)
    assert fused.tobytes() == separate.tobytes()
    assert fused.any()  # the chain computed something


@pytest.mark.parametrize("size", [(1, 5), (5, 1), (257, 259)])
def test_pointwise_chain_with_identity_orientation(size):
    """A trailing identity orientation is skipped; the pointwise run writes straight into the output."""
    raw = RNG.uniform(0, 1, size + (3,)).astype(F32)
    chain = [("mul_scalar", dict(value=0.75), size + (3,), F32), ("orientation", dict(orientation=1), size + (3,), F32)]
    fused = run_fused(raw, chain)
    assert fused.tobytes() == run_one_by_one(raw, chain).tobytes()
    np.testing.assert_array_equal(fused, raw * F32(0.75))


@pytest.mark.parametrize("mode", ["reflect", "symmetric", "edge", "constant"])
@pytest.mark.parametrize("tiled", [False, True])
def test_window_into_a_padded_border(mode, tiled):
    """A view that reads only the top border of a pad: the border rows mirror
    source rows that are not adjacent to it, and the fused chain must still
    produce them (with and without the 256-pixel tiles an orientation brings)."""
    h, w, top, left = 4, 257, 5, 1
    raw = RNG.integers(0, 256, (h, w)).astype(np.uint8)
    ph, pw = h + top, w + left
    chain = [("pad", dict(top=top, bottom=0, left=left, right=0, mode=mode), (ph, pw), np.uint8),
             ("view", dict(top=1, left=144, width=51, height=4, oob_valid=0), (4, 51), np.uint8)]
    if tiled:
        chain.append(("orientation", dict(orientation=6), (51, 4), np.uint8))
    assert run_fused(raw, chain).tobytes() == run_one_by_one(raw, chain).tobytes()


@pytest.mark.parametrize("demosaic", ["bilinear_demosaic", "ea_demosaic"])
def test_inputless_step_before_a_demosaic_halo(demosaic):
    """A fill reads nothing, so nothing limits what it could make; rows the
    demosaic's halo needs beyond the image must still mirror the image, not be
    computed at outside coordinates by the position-dependent normalisation."""
    h, w = 7, 8
    raw = RNG.uniform(0, 1, (h, w)).astype(F32)
    chain = [("fill", dict(value=np.array([0.4], F32)), (h, w), F32),
             ("normalize_raw", dict(black_repeat_rows=1, black_repeat_cols=1, samples_per_pixel=1,
                                    black_level=np.array([0.1], F32), white_level=np.array([1.0], F32),
                                    black_delta_v=np.array([0.0, 0.05, 0.2], F32)), (h, w), F32),
             (demosaic, dict(cfa_pattern="RGGB"), (h, w, 3), F32)]
    assert run_fused(raw, chain).tobytes() == run_one_by_one(raw, chain).tobytes()
