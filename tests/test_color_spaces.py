"""Output colour spaces of pyxa.color: primaries and matrices from XYZ D50 and
the encoding curves against colour-science, names as users type them, and
the output-curve table through the engine's colour transform."""

import numpy as np
import pytest

import pyxa
from pyxa.color import spaces
from pyxa.color.colorimetry import D50_XYZ



@pytest.fixture
def colour():
    """colour-science, the oracle; the tests that need it skip without it."""
    return pytest.importorskip("colour")


# (our name, colour-science's colourspace, its encoding curve)
SPACES = [
    ("srgb", "sRGB", lambda c, x: c.models.eotf_inverse_sRGB(x)),
    ("display-p3", "Display P3", lambda c, x: c.models.eotf_inverse_sRGB(x)),
    ("oprgb", "Adobe RGB (1998)", lambda c, x: c.RGB_COLOURSPACES["Adobe RGB (1998)"].cctf_encoding(x)),
    ("prophoto", "ProPhoto RGB", lambda c, x: c.models.cctf_encoding_ROMMRGB(x)),
    ("rec2020", "ITU-R BT.2020", lambda c, x: c.models.oetf_BT2020(x, is_12_bits_system=True)),
]
IDS = [s[0] for s in SPACES]


@pytest.mark.parametrize("name,colour_name,_", SPACES, ids=IDS)
def test_xyz_d50_to_rgb_against_colour(colour, name, colour_name, _):
    """The space's primaries from colour-science; its white too, except
    ProPhoto's, which is the profile connection space's D50 (X 0.9642,
    Z 0.8249) here, 3e-5 in xy from CIE D50, so that D50 maps to (1, 1, 1)."""
    space = spaces.output_space(name)
    reference = colour.RGB_COLOURSPACES[colour_name]
    white = colour.XYZ_to_xy(D50_XYZ) if name == "prophoto" else reference.whitepoint
    np.testing.assert_allclose(space.primaries, reference.primaries, rtol=0, atol=1e-12)
    np.testing.assert_allclose(space.white, white, rtol=0, atol=1e-12)
    to_rgb = np.linalg.inv(colour.normalised_primary_matrix(reference.primaries, white))
    adapt = colour.adaptation.matrix_chromatic_adaptation_VonKries(D50_XYZ, colour.xy_to_XYZ(white), "Bradford")
    np.testing.assert_allclose(space.xyz_d50_to_rgb, to_rgb @ adapt, rtol=0, atol=1e-12)
    np.testing.assert_allclose(space.xyz_d50_to_rgb @ D50_XYZ, np.ones(3), rtol=0, atol=1e-12)


@pytest.mark.parametrize("name,_,encode", SPACES, ids=IDS)
def test_encoding_curves_against_colour(colour, name, _, encode):
    """colour-science's BT.2020 curve takes the constants rounded for 12-bit
    systems (1.0993, 0.0181); ours are the exact ones, 3e-6 away."""
    x = np.concatenate([np.linspace(0, 0.02, 2001), np.linspace(0.02, 1, 981)])
    transfer = spaces.output_space(name).transfer
    atol = 3e-6 if name == "rec2020" else 1e-12
    np.testing.assert_allclose(transfer.encode(x), encode(colour, x), rtol=0, atol=atol)
    np.testing.assert_allclose(transfer.decode(transfer.encode(x)), x, rtol=0, atol=1e-12)


@pytest.mark.parametrize("typed,name", [("sRGB", "srgb"), ("Display_P3", "display-p3"), (" opRGB ", "oprgb"),
                                        ("prophoto-linear", "prophoto-linear"), ("REC2020-LINEAR", "rec2020-linear")])
def test_names_as_users_type_them(typed, name):
    space = spaces.output_space(typed)
    assert space.name == name
    assert space.transfer.is_linear == name.endswith("-linear")


def test_unknown_space_is_refused_with_the_choices():
    with pytest.raises(ValueError, match=r"unknown output colour space 'adobe'; choose one of srgb, display-p3, "
                                         r"oprgb, prophoto, rec2020, srgb-linear, .*rec2020-linear"):
        spaces.output_space("adobe")


@pytest.mark.parametrize("name", IDS)
@pytest.mark.parametrize("dtype", [np.uint8, np.uint16])
def test_output_table_stores_nearest_levels(name, dtype):
    """Through the engine, which truncates when it stores an integer: with the
    table's half step every level is the nearest to the encoded value. opRGB's
    pure power is infinitely steep at black, where a 16-bit level can miss by
    a little more (0.55 measured)."""
    space = spaces.output_space(name)
    x = np.linspace(0, 1, 3 * 4099, dtype=np.float32).reshape(3, -1, 1).repeat(3, axis=2)
    g = pyxa.Graph()
    g.transform_color(g.input(x), dest_dtype=np.dtype(dtype).name, output_lut=spaces.output_curve_table(space, dtype))
    exact = space.transfer.encode(x.astype(np.float64)) * np.iinfo(dtype).max
    assert np.abs(g.run() - exact).max() <= (0.56 if name == "oprgb" else 0.52)


def test_output_table_refuses_other_dtypes():
    with pytest.raises(ValueError, match=r"output dtype must be uint8, uint16 or float32, got int16"):
        spaces.output_curve_table(spaces.output_space("srgb"), np.int16)
