"""A ColorPlan run by the engine, in a graph built by hand the way the profile
rendering is built (clip and camera -> ProPhoto, HueSatMap, exposure ramp,
LookTable, hue-preserving tone with the output matrix and curve), against
the independent float64 reference of the whole chain.

How close the engine gets, measured on these pixels: the engine keeps map
points in 16-bit fixed point (steps of 2^-13), so the reference is asked to
round them the same way (map_unit); then, with the maps' direct routines
(engine_opts chroma_lut / prism_lut false), float outputs before the output
curve agree within 1e-5 (9e-6 measured) and 8-bit outputs within one level.
Against the unrounded reference the difference grows to 1e-4 after the
maps and 3e-4 after an exposure of +1.3 and the tone curve. The precomputed
colour tables the engine uses by default interpolate a coarse grid: 1e-3 to
2e-2 in float, and 8-bit pixels up to 11 levels off. An sRGB-encoded
LookTable adds its resampling error (EngineMap.value_error bounds it; 2e-4
measured for the 100D's)."""

import numpy as np
import pytest

import profile_reference as ref
import pyxa
from color_profiles import COLORCHART_COLOR_MATRIX, DCP_NAMES, load_dcp
from pyxa.color import Temperature, plan_color, profile_from_matrix

UNIT = 2.0 ** -13


def run_plan(plan, camera_rgb, dtype, direct=True, exposure="table"):
    """The profile chain as the development graph builds it; dtype "linear"
    stops before the output curve (float32, clipped)."""
    g = pyxa.Graph()
    x = g.clip_and_transform_color(g.input(camera_rgb), clip_max=plan.clip_max, matrix=plan.camera_to_prophoto)
    if plan.hue_sat_map is not None:
        x = getattr(g, plan.hue_sat_map.op)(x, **plan.hue_sat_map.attrs(direct=direct))
    if exposure == "table":
        x = g.transform_color(x, dest_dtype="float32", input_lut=plan.exposure_table())
    else:
        assert plan.black_point == 0.0
        x = g.matrix_3x3(x, matrix=np.diag([plan.exposure_gain] * 3))
    if plan.look_table is not None:
        x = getattr(g, plan.look_table.op)(x, **plan.look_table.attrs(direct=direct))
    curve = {} if dtype == "linear" else {"output_lut": plan.output_table(dtype)}
    g.transform_color(x, dest_dtype="float32" if dtype == "linear" else dtype, hue_preserving=True,
                      input_lut=plan.tone_table, matrix=plan.prophoto_to_output, **curve)
    return g.run()


def camera_pixels(seed=11):
    rng = np.random.default_rng(seed)
    px = rng.random((48, 64, 3)).astype(np.float32)
    px[:16] **= 3  # shadows, where the black point and the tone curve's toe act
    px[16:20] = 0.5 * rng.random((4, 64, 1)).astype(np.float32) * [[[0.47, 1.0, 0.66]]]  # near-neutral greys
    return px


def profiles():
    return [(name, lambda n=name: load_dcp(n)) for name in DCP_NAMES] + \
        [("matrix-only", lambda: profile_from_matrix(COLORCHART_COLOR_MATRIX))]


PROFILES = profiles()
PROFILE_IDS = [p[0] for p in PROFILES]


@pytest.mark.parametrize("name,load", PROFILES, ids=PROFILE_IDS)
@pytest.mark.parametrize("stops", [0.0, 1.3])
def test_engine_matches_reference_before_the_output_curve(name, load, stops):
    profile = load()
    plan = plan_color(profile, Temperature(4300.0, 6.0), exposure=stops, output="srgb")
    px = camera_pixels()
    expected = ref.render(px, profile, temperature=4300.0, tint=6.0, exposure=stops, map_unit=UNIT)
    bound = 1e-5 + (plan.look_table.value_error if plan.look_table is not None else 0.0)
    np.testing.assert_allclose(run_plan(plan, px, "linear"), expected.linear_output, rtol=0, atol=bound)


@pytest.mark.parametrize("name,load", PROFILES, ids=PROFILE_IDS)
@pytest.mark.parametrize("output", ["srgb", "display-p3", "oprgb", "prophoto", "rec2020"])
def test_engine_matches_reference_in_8_bits(name, load, output):
    profile = load()
    neutral = [0.47, 1.0, 0.66]
    plan = plan_color(profile, as_shot_neutral=neutral, exposure=0.5, output=output)
    px = camera_pixels()
    expected = ref.render(px, profile, neutral=neutral, exposure=0.5, output=output, map_unit=UNIT)
    got = run_plan(plan, px, "uint8").astype(int)
    assert np.abs(got - expected.quantized(np.uint8).astype(int)).max() <= 1


@pytest.mark.parametrize("name", ["pentax_k50", "canon_eos_100d"])
def test_exposure_as_a_clipping_gain_when_there_is_no_black_point(name):
    """DefaultBlackRender 1 leaves the exposure a pure gain: a diagonal
    matrix_3x3, which clips at 1 like the ramp, renders the same."""
    profile = load_dcp(name)
    plan = plan_color(profile, Temperature(5600.0), exposure=1.0)
    px = camera_pixels()
    np.testing.assert_allclose(run_plan(plan, px, "linear", exposure="gain"), run_plan(plan, px, "linear"),
                               rtol=0, atol=2e-6)


def test_greys_stay_neutral():
    """Balanced greys come out grey in every output space: the clip point
    maps to ProPhoto white and the maps leave greys alone."""
    profile = load_dcp("pentax_k50")
    neutral = np.array([0.47, 1.0, 0.66])
    plan = plan_color(profile, as_shot_neutral=neutral)
    greys = (np.linspace(0.01, 1.2, 64)[:, None] * neutral).astype(np.float32).reshape(1, 64, 3)
    out = run_plan(plan, greys, "linear")
    assert np.abs(out - out.mean(axis=-1, keepdims=True)).max() < 2e-4
    assert out[0, -1].tolist() == pytest.approx([1.0, 1.0, 1.0], abs=1e-5)
