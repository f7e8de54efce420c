"""DNG and raw files developed through a camera profile, against the
independent float64 reference of the profile chain (tests/profile_reference.py):
a profile embedded in a linear DNG (two illuminants, forward matrices, two
HueSatMaps to blend, an sRGB-encoded LookTable, a tone curve, BaselineExposure
and its offset, AnalogBalance) with every source of white; the
ProfileGainTableMap between the camera matrix and the HueSatMap; colorchart.dng
with its own matrix and with each DCP of ../shared/profiles; a DCP on a raw
that rawpy reads (dc50.kdc); and the linear look's agreement with rawpy on
the DNG route.

Tolerances are those the colour plan's own test measured for the engine's
direct map routines with the reference rounding the maps as the engine stores
them: float outputs before the output curve within 1e-4, 8-bit within a level."""

import warnings
from pathlib import Path

import numpy as np
import pytest

pytest.importorskip("tifffile")
pytest.importorskip("imagecodecs")
import profile_reference as ref  # noqa: E402
import pyxa  # noqa: E402
from color_profiles import COLORCHART_AS_SHOT_NEUTRAL, COLORCHART_COLOR_MATRIX, DCP_NAMES, load_dcp  # noqa: E402
from pyxa.dng.records import CameraProfile, ProfileGainTableMap, ProfileTable  # noqa: E402

from dng_writer import profile_tags, write_dng  # noqa: E402

SHARED = Path(__file__).resolve().parents[1] / ".." / "shared"
UNIT = 2.0 ** -13  # the engine keeps map points in 16-bit fixed point
RNG = np.random.default_rng(5)


def shared(kind, name):
    path = SHARED / kind / name
    if not path.is_file():
        pytest.skip(f"{path} is absent (real files live in ../shared beside the project)")
    return path


def table(hue, sat, val, encoding=0, spread=0.15):
    """A smooth map of small hue shifts and scales, float32 as a file holds it."""
    data = np.empty((val, hue, sat, 3), np.float32)
    h, s, v = np.meshgrid(np.arange(hue), np.arange(sat), np.arange(val), indexing="ij")
    data[..., 0] = (12 * np.sin(2 * np.pi * h / hue) * (s + 1) / sat).transpose(2, 0, 1)
    data[..., 1] = (1 + spread * np.cos(2 * np.pi * h / hue) * s / max(sat - 1, 1)).transpose(2, 0, 1)
    # Value scales vary with hue only away from grey, as a real profile's do:
    # a grey's hue is a matter of rounding.
    data[..., 2] = (1 - spread / 2 * (v + 1) / val * np.sin(np.pi * h / hue) * s / max(sat - 1, 1)).transpose(2, 0, 1)
    return ProfileTable(hue, sat, val, data, encoding)


# Matrices of four decimals (exact as the file's rationals), plausible for a
# DSLR: ColorMatrix1 under standard light A, 2 under D65.
FULL_PROFILE = CameraProfile(
    name="pyxa test profile", illuminant1=17, illuminant2=21,
    color_matrix1=np.array([[0.8713, -0.2306, -0.0913], [-0.3781, 1.1648, 0.2362], [-0.0517, 0.1644, 0.7089]]),
    color_matrix2=np.array([[0.6461, -0.0907, -0.0882], [-0.4300, 1.2184, 0.2378], [-0.0819, 0.1944, 0.5931]]),
    forward_matrix1=np.array([[0.6924, 0.1711, 0.1008], [0.2413, 0.8618, -0.1031], [0.0312, -0.1802, 0.9741]]),
    forward_matrix2=np.array([[0.7176, 0.1282, 0.1185], [0.2811, 0.8106, -0.0917], [0.0412, -0.1513, 0.9352]]),
    hue_sat_map1=table(12, 4, 1), hue_sat_map2=table(12, 4, 1, spread=0.3),
    look_table=table(9, 5, 6, encoding=1), tone_curve=np.array([[0, 0], [0.1, 0.06], [0.4, 0.45], [0.8, 0.88], [1, 1]],
                                                              np.float32).astype(np.float64),
    baseline_exposure_offset=0.25, default_black_render=0)


def camera_pixels():
    px = RNG.random((24, 32, 3))
    px[:8] **= 3  # shadows: the black point and the tone curve's toe
    px[8:10] = 0.6 * RNG.random((2, 32, 1)) * [[[0.47, 1.0, 0.66]]]  # near greys
    px[10, :4] = 1.0  # clipped highlights
    return px


def write_linear(path, camera, profile=FULL_PROFILE, **tags):
    """A linear DNG whose samples are ``camera`` (black 0, white 65535)."""
    stored = np.round(camera * 65535).astype(np.uint16)
    write_dng(path, stored, WhiteLevel=[65535] * 3, **{**profile_tags(profile), **tags})
    return stored / 65535.0


def render(path, **kw):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return pyxa.develop(path, **kw)


WHITES = {  # the file's tags, develop()'s wb, and the reference's white
    "AsShotNeutral": ({"AsShotNeutral": (0.47, 1.0, 0.66)}, "camera", {"neutral": [0.47, 1.0, 0.66]}),
    "AsShotWhiteXY": ({"AsShotWhiteXY": (0.4, 0.39)}, "camera", {"as_shot_xy": (0.4, 0.39)}),
    "no white tag": ({}, "camera", {}),
    "5200K,+8": ({"AsShotNeutral": (0.47, 1.0, 0.66)}, "5200K,+8", {"temperature": 5200.0, "tint": 8.0}),
    "gains": ({"AsShotNeutral": (0.47, 1.0, 0.66)}, (2.0, 1.0, 1.25), {"gains": (2.0, 1.0, 1.25)}),
}


@pytest.mark.parametrize("white", WHITES)
def test_embedded_profile_before_the_output_curve(tmp_path, white):
    tags, wb, ref_white = WHITES[white]
    camera = write_linear(tmp_path / "f.dng", camera_pixels(), BaselineExposure=0.3, AnalogBalance=(1.0, 1.0, 0.9),
                          **tags)
    got = render(tmp_path / "f.dng", wb=wb, exposure=0.2, space="prophoto-linear", dtype="float32")
    want = ref.render(camera, FULL_PROFILE, **ref_white, analog_balance=(1.0, 1.0, 0.9), baseline_exposure=0.3,
                      exposure=0.2, output="prophoto-linear", map_unit=UNIT)
    np.testing.assert_allclose(got, want.output, rtol=0, atol=1e-4)


@pytest.mark.parametrize("space", ["srgb", "display-p3", "rec2020", "oprgb", "prophoto"])
def test_embedded_profile_in_8_bits(tmp_path, space):
    camera = write_linear(tmp_path / "f.dng", camera_pixels(), AsShotNeutral=(0.47, 1.0, 0.66), BaselineExposure=-0.5)
    got = render(tmp_path / "f.dng", space=space).astype(int)
    want = ref.render(camera, FULL_PROFILE, neutral=[0.47, 1.0, 0.66], baseline_exposure=-0.5, output=space,
                      map_unit=UNIT)
    assert np.abs(got - want.quantized(np.uint8).astype(int)).max() <= 1


def gain_table_map_rule(rgb, m, exposure_weight_gain):
    """The ProfileGainTableMap on linear ProPhoto: a brightness from the
    weighted channels, minimum and maximum (times the exposure weight gain,
    clipped, raised to gamma) picks a gain in each grid point's table (entry
    t at brightness t / N), interpolated over the table and the grid."""
    h, w, _ = rgb.shape

    def axis(n, points, spacing, origin):
        return np.clip(((np.arange(n) + 0.5) / n - origin) / spacing, 0, points - 1) if points > 1 else np.zeros(n)

    v, u = axis(h, m.points_v, m.spacing_v, m.origin_v), axis(w, m.points_h, m.spacing_h, m.origin_h)
    w0, w1, w2, w3, w4 = m.weights
    mix = w0 * rgb[..., 0] + w1 * rgb[..., 1] + w2 * rgb[..., 2] + w3 * rgb.min(-1) + w4 * rgb.max(-1)
    bright = np.clip(mix * exposure_weight_gain, 0, 1) ** m.gamma
    n = m.num_table_points
    p = bright * n
    t0 = np.minimum(np.floor(p), n - 1).astype(int)
    t1, ft = np.minimum(t0 + 1, n - 1), p - t0
    gains = m.gains.astype(np.float64)

    def at(r, c):
        rr, cc = r[:, None], c[None, :]
        return gains[rr, cc, t0] * (1 - ft) + gains[rr, cc, t1] * ft

    r0, c0 = np.floor(v).astype(int), np.floor(u).astype(int)
    r1, c1 = np.minimum(r0 + 1, m.points_v - 1), np.minimum(c0 + 1, m.points_h - 1)
    fv, fu = (v - r0)[:, None], (u - c0)[None, :]
    gain = (at(r0, c0) * (1 - fu) + at(r0, c1) * fu) * (1 - fv) + (at(r1, c0) * (1 - fu) + at(r1, c1) * fu) * fv
    return np.clip(rgb * gain[..., None], 0, 1)


def test_gain_table_map_runs_on_prophoto_before_the_hue_sat_map(tmp_path):
    """The map sits between the camera matrix and the HueSatMap, its
    brightness scaled by 2^BaselineExposure."""
    profile = CameraProfile(name="one map and a curve", illuminant1=21, color_matrix1=FULL_PROFILE.color_matrix2,
                            forward_matrix1=FULL_PROFILE.forward_matrix2, hue_sat_map1=table(6, 3, 1, spread=0.5),
                            tone_curve=FULL_PROFILE.tone_curve)
    pgtm = ProfileGainTableMap(3, 4, 0.5, 1 / 3, 0.0, 0.0, 5, (0.2, 0.5, 0.1, 0.0, 0.3),
                               RNG.uniform(0.6, 1.8, (3, 4, 5)).astype(np.float32), gamma=0.8)
    camera = write_linear(tmp_path / "f.dng", camera_pixels(), profile, AsShotNeutral=(0.5, 1.0, 0.7),
                          BaselineExposure=0.4, ProfileGainTableMap=pgtm)
    got = render(tmp_path / "f.dng", space="prophoto-linear", dtype="float32")
    stages = ref.render(camera, profile, neutral=[0.5, 1.0, 0.7], baseline_exposure=0.4, output="prophoto-linear")
    gained = ref.apply_table(gain_table_map_rule(stages.prophoto, pgtm, 2 ** 0.4), profile.hue_sat_map1, UNIT)
    toned = ref.tone_keep_hue(np.clip(ref.exposure_ramp(gained, stages.stops, stages.black), 0, 1),
                              ref.natural_spline(profile.tone_curve))
    np.testing.assert_allclose(got, toned, rtol=0, atol=1e-4)
    # Against the same rendering without the map, the map must show.
    assert np.abs(stages.output - toned).max() > 0.05


def engine_demosaic(mosaic, cfa):
    """Camera RGB of a normalised mosaic, bilinearly demosaiced (the engine's
    demosaic, which these tests do not examine)."""
    g = pyxa.Graph()
    g.bilinear_demosaic(g.input(mosaic.astype(np.float32)), cfa_pattern=cfa)
    return g.run().astype(np.float64)


def colorchart_camera():
    path = shared("raw", "colorchart.dng")
    tifffile = pytest.importorskip("tifffile")
    with tifffile.TiffFile(path) as tif:
        page = next(p for p in [tif.pages[0], *(tif.pages[0].pages or [])] if p.photometric == 32803)
        stored = page.asarray()
    top, left, bottom, right = 26, 152, 1182, 1886
    mosaic = np.clip((stored[top:bottom, left:right].astype(np.float64) - 2056) / (15000 - 2056), 0, 1)
    return path, engine_demosaic(mosaic, "RGGB")


@pytest.mark.parametrize("dcp", [None] + DCP_NAMES)
def test_colorchart_through_its_matrix_and_each_dcp(dcp):
    """The chart with its own ColorMatrix1 (no illuminant: taken as D65, with
    the default look's base curve), and with each real DCP in its place."""
    path, camera = colorchart_camera()
    profile = CameraProfile(illuminant1=21, color_matrix1=COLORCHART_COLOR_MATRIX) if dcp is None else load_dcp(dcp)
    got = render(path, demosaic="bilinear",
                 dcp=None if dcp is None else shared("profiles", f"{dcp}.dcp")).astype(int)
    # The chain after the demosaic works pixel by pixel: every fifth row and column are enough.
    want = ref.render(camera[2:-2:5, 2:-2:5], profile, neutral=COLORCHART_AS_SHOT_NEUTRAL, map_unit=UNIT)
    assert np.abs(got[2:-2:5, 2:-2:5] - want.quantized(np.uint8).astype(int)).max() <= 1


# dc50.kdc records no white balance (gains 1, 1, 1): as shot through the
# one-illuminant profile, and at a given temperature through the two-illuminant one.
@pytest.mark.parametrize("dcp, wb, white", [("canon_eos_550d", "camera", {"neutral": [1.0, 1.0, 1.0]}),
                                            ("pentax_k50", "5000K,+5", {"temperature": 5000.0, "tint": 5.0})])
def test_dcp_renders_a_raw_that_rawpy_reads(dcp, wb, white):
    rawpy = pytest.importorskip("rawpy")
    path = shared("raw", "dc50.kdc")
    with rawpy.imread(str(path)) as raw:
        mosaic = raw.raw_image_visible.astype(np.float64) / raw.white_level
        assert list(raw.camera_whitebalance[:3]) == [1.0, 1.0, 1.0] and raw.black_level_per_channel == [0] * 4
    camera = engine_demosaic(mosaic, "GRBG")
    got = render(path, demosaic="bilinear", wb=wb, dcp=shared("profiles", f"{dcp}.dcp")).astype(int)
    want = ref.render(camera[2:-2:3, 2:-2:3], load_dcp(dcp), **white, map_unit=UNIT).quantized(np.uint8)
    assert np.abs(got[2:-2:3, 2:-2:3] - want.astype(int)).max() <= 1


def test_linear_look_on_the_dng_route_agrees_with_rawpy():
    """The linear look of colorchart.dng, read by pyxa.dng, against rawpy's
    own development under matched settings: at least 60 dB in 16 bits."""
    rawpy = pytest.importorskip("rawpy")
    path = shared("raw", "colorchart.dng")
    got = render(path, demosaic="bilinear", curve=(2.4, 12.92), dtype="uint16")
    with rawpy.imread(str(path)) as r:
        want = r.postprocess(demosaic_algorithm=rawpy.DemosaicAlgorithm.LINEAR, use_camera_wb=True,
                             gamma=(2.4, 12.92), no_auto_bright=True, adjust_maximum_thr=0,
                             highlight_mode=rawpy.HighlightMode.Clip, output_bps=16)
    a, b = got[4:-4, 4:-4].astype(np.float64), want[4:-4, 4:-4].astype(np.float64)
    assert 10 * np.log10(65535.0 ** 2 / np.mean((a - b) ** 2)) > 60


@pytest.mark.parametrize("kwargs, message", [
    ({"space": "widest"}, "unknown output colour space 'widest'"),
    ({"dtype": "int8"}, "dtype must be uint8, uint16 or float32, got int8"),
    ({"wb": "banana"}, "white balance 'banana' not understood"),
    ({"look": "linear", "space": "rec2020"}, "the linear look renders sRGB; space='rec2020' needs look=\"profile\""),
    ({"look": "profile", "curve": "srgb"}, "curve= is the linear look's output curve"),
    ({"look": "film"}, "look must be \"profile\" or \"linear\", got 'film'"),
    ({"orientation": 9}, "orientation must be an integer from 1 to 8, got 9"),
])
def test_choices_that_make_no_sense_are_the_callers_value_errors(tmp_path, kwargs, message):
    """A mistake in the arguments is a ValueError (RawFileError is none), never
    a refusal that would blame the file."""
    write_linear(tmp_path / "f.dng", camera_pixels(), AsShotNeutral=(0.5, 1.0, 0.7))
    with pytest.raises(ValueError) as info:
        render(tmp_path / "f.dng", **kwargs)
    assert message in str(info.value)


@pytest.mark.parametrize("first, second", [(17, 21), (21, 17)])
def test_linear_look_takes_the_colour_matrix_calibrated_nearest_daylight(tmp_path, first, second):
    """The linear look's one camera -> sRGB matrix comes from the colour
    matrix whose illuminant lies nearest D65, whichever slot holds it; its
    rows are scaled so the camera's white is sRGB white, then it is inverted."""
    a, d65 = FULL_PROFILE.color_matrix1, FULL_PROFILE.color_matrix2
    profile = CameraProfile(illuminant1=first, illuminant2=second, color_matrix1=a if first == 17 else d65,
                            color_matrix2=d65 if first == 17 else a)
    camera = write_linear(tmp_path / "f.dng", camera_pixels(), profile, AsShotNeutral=(0.5, 1.0, 0.8))
    got = render(tmp_path / "f.dng", look="linear", curve="linear", dtype="float32")
    xyz_from_srgb = np.array([[0.412453, 0.357580, 0.180423], [0.212671, 0.715160, 0.072169],
                              [0.019334, 0.119193, 0.950227]])
    camera_from_srgb = d65 @ xyz_from_srgb
    srgb_from_camera = np.linalg.inv(camera_from_srgb / camera_from_srgb.sum(axis=1, keepdims=True))
    gains = 1 / np.array([0.5, 1.0, 0.8])
    gains /= gains.min()
    want = np.clip(np.minimum(camera, 1 / gains) * gains @ srgb_from_camera.T, 0, 1)
    np.testing.assert_allclose(got, want, rtol=0, atol=2e-5)
