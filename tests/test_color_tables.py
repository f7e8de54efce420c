"""HueSatMap and LookTable in the engine's form: the forms chosen for each
shape, the blend of two maps, and sRGB-encoded value axes resampled onto
linear slabs, run through the engine against the reference's encoded rule."""

import numpy as np
import pytest

import profile_reference as ref
import pyxa
from color_profiles import load_dcp
from pyxa.color import tables
from pyxa.dng.records import ProfileTable

UNIT = 2.0 ** -13  # the engine's fixed-point step for map points


def _table(hues, sats, vals, encoding=0, seed=0):
    rng = np.random.default_rng(seed)
    data = np.stack([rng.uniform(-30, 30, (vals, hues, sats)), rng.uniform(0.6, 1.4, (vals, hues, sats)),
                     rng.uniform(0.7, 1.3, (vals, hues, sats))], axis=-1).astype(np.float32)
    return ProfileTable(hues, sats, vals, data, encoding)


def _through_engine(emap, pixels):
    g = pyxa.Graph()
    getattr(g, emap.op)(g.input(pixels), **emap.attrs(direct=True))
    return g.run()


def _pixels(seed=3):
    px = np.random.default_rng(seed).random((96, 128, 3)).astype(np.float32)
    px[:32] **= 4  # dark colours, where the encoded value axis is finest
    return px


@pytest.mark.parametrize("dims,op,engine_dims", [
    ((6, 4, 1), "apply_hue_sat_map", (6, 4, 1)),
    ((6, 1, 1), "apply_hue_sat_map", (6, 2, 1)),
    ((1, 5, 3), "apply_hue_sat_val_map", (1, 5, 3)),
    ((8, 1, 4), "apply_hue_sat_val_map", (8, 2, 4)),
])
def test_engine_forms_render_like_the_table(dims, op, engine_dims):
    """A single saturation division is repeated, a single value division gives
    the 2-D op; either way the engine renders what the table says."""
    table = _table(*dims)
    emap, warning = tables.engine_map(table)
    assert warning is None and emap.value_error == 0.0
    assert (emap.op, emap.hue_divs, emap.sat_divs, emap.val_divs) == (op, *engine_dims)
    px = _pixels()
    np.testing.assert_allclose(_through_engine(emap, px), ref.apply_table(px.astype(float), table, UNIT),
                               rtol=0, atol=2e-6)


@pytest.mark.parametrize("stored,message", [
    (ProfileTable(4, 3, 2, np.zeros((2, 4, 3, 2), np.float32)),
     r"LookTable: data holds 48 values, its divisions need 2 x 4 x 3 x 3 = 72"),
    (ProfileTable(2 ** 31, 2 ** 31, 2 ** 31, np.zeros(6, np.float32)),  # the product passes int64
     r"LookTable: data holds 6 values, its divisions need 2147483648 x 2147483648 x 2147483648 x 3 = "
     r"29710560942849126597578981376"),
    (ProfileTable(0, 3, 2, np.zeros(0, np.float32)),
     r"LookTable: divisions must be at least 1, got hue 0, sat 3, val 2"),
    (ProfileTable(1, 2, 1, np.array([0, 1, 1, 0, 1, np.inf], np.float32)),
     r"LookTable: data holds a value that is not finite"),
    (ProfileTable(1, 2, 1, np.ones(6, np.float32), encoding=2),
     r"LookTable: encoding must be 0 \(linear\) or 1 \(sRGB\), got 2"),
])
def test_bad_tables_are_refused(stored, message):
    with pytest.raises(ValueError, match=message):
        tables.engine_map(stored, "LookTable")


@pytest.mark.parametrize("weight", [1.0, 0.0, 0.3])
def test_blend_mixes_point_by_point(weight):
    first, second = _table(5, 3, 1, seed=1), _table(5, 3, 1, seed=2)
    mixed = tables.blend_tables(first, second, weight)
    expected = weight * first.data.astype(float) + (1 - weight) * second.data.astype(float)
    np.testing.assert_allclose(mixed.data, expected, rtol=0, atol=1e-5)


@pytest.mark.parametrize("second,message", [
    (_table(5, 4, 1), r"HueSatMap1 and HueSatMap2 differ in divisions: \(1, 5, 3\) and \(1, 5, 4\)"),
    (_table(5, 3, 1, encoding=1), r"HueSatMap1 and HueSatMap2 share one encoding; got two"),
])
def test_blend_refuses_unlike_maps(second, message):
    with pytest.raises(ValueError, match=message):
        tables.blend_tables(_table(5, 3, 1), second, 0.5)


def test_smooth_encoded_table_needs_few_slabs():
    """A table that changes slowly along value reaches the tolerance at the
    first slab count tried."""
    v = np.linspace(0, 1, 9)[:, None, None]
    data = np.zeros((9, 6, 3, 3), np.float32)
    data[..., 0] = 10 * v
    data[..., 1] = 1 + 0.1 * v
    data[..., 2] = 1 - 0.2 * v
    emap, warning = tables.engine_map(ProfileTable(6, 3, 9, data, encoding=1))
    assert warning is None
    assert emap.val_divs == tables.ENCODED_SLAB_CHOICES[0]
    assert emap.value_error <= 1e-3


def test_encoded_look_table_of_a_real_profile():
    """The 90 x 30 x 30 LookTable of the EOS 100D profile has an sRGB-encoded
    value axis whose value scale jumps by up to 1 between slabs. Resampled, it
    needs 512 linear slabs to keep the bound within one 8-bit step; through
    the engine, no pixel strays further than the bound from the encoded rule
    (measured: 4e-4 at most on these pixels, 1.4e-5 on average; bound 3.3e-3)."""
    look = load_dcp("canon_eos_100d").look_table
    assert look.encoding == 1
    emap, warning = tables.engine_map(look, "LookTable")
    assert warning is None
    assert emap.op == "apply_hue_sat_val_map" and emap.val_divs == 512
    assert emap.value_error <= tables.ENCODED_TOLERANCE
    px = _pixels()
    error = np.abs(_through_engine(emap, px) - ref.apply_table(px.astype(float), look, UNIT))
    assert error.max() <= emap.value_error + 2e-6
