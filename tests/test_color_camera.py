"""Camera-profile math of pyxa.color: the weight between the calibration
illuminants, both camera -> XYZ paths and the white search against the
reference, AnalogBalance and CameraCalibration, the white settings users
type, and the plan's exposure and black point; on the three real DCPs and
the colour matrix colorchart.dng carries."""

import numpy as np
import pytest

import profile_reference as ref
from color_profiles import COLORCHART_AS_SHOT_NEUTRAL, COLORCHART_COLOR_MATRIX, DCP_NAMES, load_dcp
from pyxa.color import Chromaticity, Gains, Temperature, camera, parse_white_setting, plan_color, \
    profile_from_matrix, resolve_white
from pyxa.dng.records import CameraProfile

# Whites as (plan_color's setting and keywords, the reference's keywords).
WHITES = [
    ((None, {"as_shot_neutral": [0.47, 1.0, 0.66]}), {"neutral": [0.47, 1.0, 0.66]}),
    ((None, {"as_shot_neutral": [0.80, 1.0, 0.35]}), {"neutral": [0.80, 1.0, 0.35]}),
    ((Temperature(3400.0, -12.0), {}), {"temperature": 3400.0, "tint": -12.0}),
    ((Gains(1.6, 1.0, 2.3), {}), {"gains": [1.6, 1.0, 2.3]}),
    ((None, {"as_shot_white_xy": (0.3457, 0.3585)}), {"as_shot_xy": (0.3457, 0.3585)}),
    ((None, {}), {}),
]
WHITE_IDS = ["neutral-daylight", "neutral-tungsten", "temperature", "gains", "as-shot-xy", "unstated"]


@pytest.mark.parametrize("where", ["at A", "at D65", "below A", "above D65", "4000 K", "5200 K"])
def test_illuminant_weight_in_inverse_temperature(where):
    """The K-50 profile is calibrated under standard light A and D65: the
    first calibration's weight is 1 at and below A, 0 at and above D65, and
    linear in 1/T between (the illuminants' temperatures from the
    reference's own locus search)."""
    t_a, t_d65 = (ref.temperature_of(ref.illuminant_xy(c))[0] for c in (17, 21))
    temperature = {"at A": t_a, "at D65": t_d65, "below A": 1500.0, "above D65": 12000.0,
                   "4000 K": 4000.0, "5200 K": 5200.0}[where]
    weight = float(np.clip((1 / temperature - 1 / t_d65) / (1 / t_a - 1 / t_d65), 0.0, 1.0))
    assert camera.illuminant_weight(load_dcp("pentax_k50"), temperature) == pytest.approx(weight, abs=1e-7)


@pytest.mark.parametrize("name", ["canon_eos_550d", "canon_eos_100d"])
def test_one_calibration_weighs_one(name):
    assert camera.illuminant_weight(load_dcp(name), 2000.0) == 1.0


@pytest.mark.parametrize("name", DCP_NAMES)
@pytest.mark.parametrize("white,ref_white", WHITES, ids=WHITE_IDS)
def test_camera_to_prophoto_against_reference(name, white, ref_white):
    """The 550D profile takes the colour-matrix path, the K-50 (two
    calibrations) and 100D ones the forward-matrix path."""
    profile = load_dcp(name)
    setting, keywords = white
    plan = plan_color(profile, setting, **keywords)
    expected = ref.find_white(profile, None, **ref_white)
    np.testing.assert_allclose(plan.white.xy, expected.xy, rtol=0, atol=1e-8)
    np.testing.assert_allclose(plan.clip_max, expected.neutral, rtol=0, atol=1e-8)
    np.testing.assert_allclose(plan.camera_to_prophoto, ref.camera_to_prophoto(profile, expected, None),
                               rtol=0, atol=1e-7)
    np.testing.assert_allclose(plan.camera_to_prophoto @ plan.clip_max, np.ones(3), rtol=0, atol=1e-8)


def _calibrated(profile):
    """The profile with camera calibrations, so that AB * CC differs from the identity."""
    cc1 = np.array([[1.08, 0.01, 0.0], [0.0, 0.97, 0.02], [0.0, 0.0, 1.05]])
    cc2 = np.array([[0.95, 0.0, 0.01], [0.02, 1.03, 0.0], [0.0, 0.01, 0.98]])
    return CameraProfile(**{**profile.__dict__, "camera_calibration1": cc1,
                            "camera_calibration2": cc2 if profile.color_matrix2 is not None else None})


@pytest.mark.parametrize("name", ["canon_eos_550d", "pentax_k50"])
def test_analog_balance_and_camera_calibration_enter_both_paths(name):
    profile = _calibrated(load_dcp(name))
    ab = [1.1, 1.0, 0.92]
    plan = plan_color(profile, Temperature(4700.0, 5.0), analog_balance=ab)
    expected = ref.find_white(profile, ab, temperature=4700.0, tint=5.0)
    np.testing.assert_allclose(plan.clip_max, expected.neutral, rtol=0, atol=1e-9)
    np.testing.assert_allclose(plan.camera_to_prophoto, ref.camera_to_prophoto(profile, expected, ab),
                               rtol=0, atol=1e-8)
    uncalibrated = plan_color(load_dcp(name), Temperature(4700.0, 5.0))
    assert np.abs(uncalibrated.clip_max - plan.clip_max).max() > 0.02


def test_white_search_settles_and_round_trips():
    """Two calibrations make the matrices depend on the white being sought:
    the search still settles in a handful of rounds, on the white the neutral
    was made from."""
    profile = load_dcp("pentax_k50")
    xy = ref.xy_of_temperature(4100.0, 9.0)
    found = camera.neutral_to_xy(profile, camera.xy_to_neutral(profile, xy))
    assert found.converged and found.iterations <= 20
    np.testing.assert_allclose(found.xy, xy, rtol=0, atol=1e-9)


def test_white_search_bound_is_reported(monkeypatch):
    monkeypatch.setattr(camera, "NEUTRAL_ITERATIONS", 2)
    plan = plan_color(load_dcp("pentax_k50"), as_shot_neutral=[0.8, 1.0, 0.35])
    assert not plan.white.converged and plan.white.iterations == 2
    assert plan.warnings == (f"white search from AsShotNeutral did not settle in 2 rounds; took "
                             f"({plan.white.xy[0]:.5f}, {plan.white.xy[1]:.5f})",)


def test_colorchart_matrix_agrees_with_the_550d_profile():
    """colorchart.dng (an EOS 550D frame) carries its own ColorMatrix1 and no
    illuminant; the 550D DCP was measured separately, under D50. Balanced to
    the file's AsShotNeutral, both take the ColorChecker's colours to XYZ
    D50 within CIEDE2000 1.4 on average and 3.6 at most (measured)."""
    colour = pytest.importorskip("colour")
    own = plan_color(profile_from_matrix(COLORCHART_COLOR_MATRIX, illuminant=0),
                     as_shot_neutral=COLORCHART_AS_SHOT_NEUTRAL)
    dcp = plan_color(load_dcp("canon_eos_550d"), as_shot_neutral=COLORCHART_AS_SHOT_NEUTRAL)
    chart = colour.CCS_COLOURCHECKERS["ColorChecker24 - After November 2014"]
    xyz = colour.xyY_to_XYZ(np.array(list(chart.data.values())))
    camera_rgb = np.linalg.solve(own.camera_to_xyz_d50, xyz.T).T
    d50 = colour.XYZ_to_xy(np.array([0.9642, 1.0, 0.8249]))
    de = colour.delta_E(colour.XYZ_to_Lab(xyz, d50), colour.XYZ_to_Lab(camera_rgb @ dcp.camera_to_xyz_d50.T, d50),
                        method="CIE 2000")
    assert de.mean() < 1.5 and de.max() < 4.0


def test_matrix_only_profile_renders_with_the_default_look():
    profile = profile_from_matrix(np.vstack([COLORCHART_COLOR_MATRIX, np.zeros(3)]))  # as rawpy gives it
    np.testing.assert_array_equal(profile.color_matrix1, COLORCHART_COLOR_MATRIX)
    assert profile.illuminant1 == 21 and profile.source == "matrix only"
    plan = plan_color(profile)
    assert plan.tone_curve is None and plan.black_point == 0.005
    assert plan.hue_sat_map is None and plan.look_table is None


@pytest.mark.parametrize("render,offset,black", [(None, 0.0, 0.005), (0, 0.35, 0.005), (1, -0.5, 0.0)])
def test_exposure_and_black_point(render, offset, black):
    profile = CameraProfile(color_matrix1=COLORCHART_COLOR_MATRIX, default_black_render=render,
                            baseline_exposure_offset=offset)
    plan = plan_color(profile, baseline_exposure=0.25, exposure=1.0)
    assert plan.exposure == pytest.approx(1.25 + offset)
    assert plan.black_point == black


@pytest.mark.parametrize("call,message", [
    (lambda: plan_color(CameraProfile(), None), r"camera profile has no ColorMatrix1"),
    (lambda: plan_color(CameraProfile(color_matrix1=np.ones(12)), None),
     r"ColorMatrix1 must be 3 x 3 \(three-colour cameras only\), got 12 values"),
    (lambda: profile_from_matrix(np.ones((3, 3))), r"colour matrix cannot be inverted \(it is singular\)"),
    (lambda: profile_from_matrix(np.zeros((4, 3))), r"colour matrix is all zeros: the raw file gives no camera "
                                                    r"colour matrix"),
    (lambda: profile_from_matrix(np.ones((4, 3))), r"colour matrix has a fourth colour \(a four-colour camera\); "
                                                   r"only RGB cameras are handled"),
    (lambda: plan_color(profile_from_matrix(COLORCHART_COLOR_MATRIX), as_shot_neutral=[0.5, 0.0, 1.0]),
     r"AsShotNeutral needs three positive finite values, got \[0.5, 0.0, 1.0\]"),
    (lambda: plan_color(profile_from_matrix(COLORCHART_COLOR_MATRIX), Gains(1.0, -1.0, 1.0)),
     r"white-balance gains must be three positive numbers, got \[1.0, -1.0, 1.0\]"),
    (lambda: plan_color(profile_from_matrix(COLORCHART_COLOR_MATRIX), Chromaticity(0.7, 0.5)),
     r"chromaticity: chromaticity \(0.7, 0.5\) is not a colour"),
    (lambda: plan_color(profile_from_matrix(COLORCHART_COLOR_MATRIX), analog_balance=[1.0, 1.0]),
     r"AnalogBalance needs three positive finite values, got \[1.0, 1.0\]"),
    (lambda: plan_color(profile_from_matrix(COLORCHART_COLOR_MATRIX), baseline_exposure=float("nan")),
     r"BaselineExposure must be a finite number of stops, got nan"),
    (lambda: plan_color(profile_from_matrix(COLORCHART_COLOR_MATRIX), exposure=20.0),
     r"exposure of \+20 stops \(BaselineExposure \+0, offset \+0, user \+20\) is beyond \+-16 stops"),
])
def test_refusals_say_what_to_fix(call, message):
    with pytest.raises(ValueError, match=message):
        call()


@pytest.mark.parametrize("text,setting", [
    ("5200K,+8", Temperature(5200.0, 8.0)), ("5200k", Temperature(5200.0, 0.0)),
    (" 3200K, -15 ", Temperature(3200.0, -15.0)), ("2.1,1,1.6", Gains(2.1, 1.0, 1.6)),
    ("0.3127,0.329", Chromaticity(0.3127, 0.329)), ("Tungsten", Chromaticity(0.44757, 0.40745)),
    ("D65", Chromaticity(0.3127, 0.3290)), ("cloudy", Chromaticity(0.3127, 0.3290)),
    ("as-shot", None), ("camera", None),
])
def test_white_settings_as_users_type_them(text, setting):
    assert parse_white_setting(text) == setting


@pytest.mark.parametrize("text", ["warm", "5200", "1,2,3,4", "K5200"])
def test_unreadable_white_setting_is_refused(text):
    with pytest.raises(ValueError, match=r"white balance '.*' not understood: give a temperature \(5200K or "
                                         r"5200K,\+8\), x,y, r,g,b gains, as-shot, or a light source \(.*daylight"):
        parse_white_setting(text)


def test_user_white_wins_over_the_file():
    profile = load_dcp("canon_eos_550d")
    white = resolve_white(profile, Temperature(5200.0, 8.0), as_shot_neutral=[0.5, 1.0, 0.6])
    assert (round(white.temperature, 6), round(white.tint, 6)) == (5200.0, 8.0)
    assert white.source == "temperature 5200 K, tint +8"
    assert resolve_white(profile, as_shot_neutral=[0.5, 1, 0.6], as_shot_white_xy=(0.3, 0.3)).source == \
        "AsShotNeutral"
