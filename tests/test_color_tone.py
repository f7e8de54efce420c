"""Tone of pyxa.color: the tone-curve spline against the reference's dense
solve, real profiles' curves, the clip of overshooting splines, the default
look's base curve, and the exposure ramp through the engine."""

import numpy as np
import pytest

import profile_reference as ref
import pyxa
from color_profiles import load_dcp
from pyxa.color import tone


def _monotone_points(n, seed):
    rng = np.random.default_rng(seed)
    x = np.concatenate([[0.0], np.sort(rng.uniform(0.01, 0.99, n - 2)), [1.0]])
    y = np.concatenate([[0.0], np.sort(rng.uniform(0.0, 1.0, n - 2)), [1.0]])
    return np.stack([x, y], axis=1)


@pytest.mark.parametrize("n,seed", [(2, 0), (3, 1), (4, 2), (7, 3), (25, 4)])
def test_spline_matches_dense_solve(n, seed):
    points = _monotone_points(n, seed)
    x = np.linspace(0, 1, 5001)
    np.testing.assert_allclose(tone.spline_curve(points, x), ref.natural_spline(points)(x), rtol=0, atol=1e-12)


@pytest.mark.parametrize("name", ["pentax_k50", "canon_eos_100d"])
def test_profile_tone_curves_sampled(name):
    profile = load_dcp(name)
    table = tone.tone_table(profile.tone_curve)
    assert table.dtype == np.float32 and table.size == tone.TONE_ENTRIES
    x = np.linspace(0, 1, tone.TONE_ENTRIES)
    np.testing.assert_allclose(table, ref.natural_spline(profile.tone_curve)(x), rtol=0, atol=1e-7)


def test_overshooting_spline_is_clipped():
    """A steep rise into a flat top makes the spline swing above white (and
    back below black at the other end); it is held within [0, 1]."""
    points = [(0.0, 0.0), (0.05, 0.0), (0.1, 0.95), (0.15, 1.0), (1.0, 1.0)]
    y = tone.spline_curve(points, np.linspace(0, 1, 4001))
    assert y.max() == 1.0 and y.min() == 0.0
    assert np.sum(y == 1.0) > 100 and np.sum(y == 0.0) > 10


@pytest.mark.parametrize("points,message", [
    ([(0.0, 0.0)], r"tone curve needs at least two \(x, y\) points as an \(n, 2\) array, got shape \(1, 2\)"),
    ([0.0, 1.0], r"tone curve needs at least two \(x, y\) points as an \(n, 2\) array, got shape \(2,\)"),
    ([(0.0, 0.0), (0.5, float("nan")), (1.0, 1.0)], r"tone curve holds a value that is not finite"),
    ([(0.0, 0.0), (0.5, 0.5), (0.5, 0.6), (1.0, 1.0)], r"tone curve: x must rise strictly within \[0, 1\]"),
    ([(-0.1, 0.0), (1.0, 1.0)], r"tone curve: x must rise strictly within \[0, 1\]"),
])
def test_bad_curve_points_are_refused(points, message):
    with pytest.raises(ValueError, match=message):
        tone.spline_curve(points, [0.5])


def test_tone_table_needs_4096_entries():
    with pytest.raises(ValueError, match=r"tone table needs at least 4096 entries, got 1024"):
        tone.tone_table(None, 1024)


def test_base_curve_is_contrasty_with_bright_mid_tones_and_a_soft_shoulder():
    x = np.geomspace(1e-4, 1, 2001)
    y = tone.base_curve(x)
    assert tone.base_curve([0.0, 1.0]).tolist() == [0.0, 1.0]
    assert np.all(np.diff(y) > 0)
    assert tone.base_curve(0.12) == pytest.approx(0.182, abs=5e-4)  # metered grey at sRGB 118
    contrast = np.diff(np.log(y)) / np.diff(np.log(x))  # print contrast along the curve
    assert contrast[0] == pytest.approx(1.3, abs=0.01) and contrast[-1] < 0.45
    assert np.all(np.diff(contrast) < 0)


@pytest.mark.parametrize("black", [0.0, tone.AUTO_BLACK, 0.02])
def test_exposure_ramp_joins_smoothly_and_keeps_white(black):
    gain = 1.5
    if black > 0:
        knee = 2 * black / gain
        eps = 1e-7
        below, at, above = tone.exposure_ramp([knee - eps, knee, knee + eps], gain, black)
        assert above - at == pytest.approx(at - below, rel=1e-5)
        assert at == pytest.approx(black / (1 - black))
    np.testing.assert_allclose(tone.exposure_ramp([1 / gain, 1.0], gain, black), [1.0, 1.0], rtol=0, atol=1e-15)
    assert tone.exposure_ramp([0.0], gain, black)[0] == 0.0


@pytest.mark.parametrize("stops", [-3.0, 0.0, 1.0, 4.0])
@pytest.mark.parametrize("black", [0.0, tone.AUTO_BLACK])
def test_exposure_table_through_engine(stops, black):
    """The per-channel table in transform_color, against the reference ramp:
    its entries keep the clip corner's cell within 4e-6 times the gain."""
    x = np.random.default_rng(5).random((64, 257, 3)).astype(np.float32)
    x[0] = np.linspace(0, 1, 257)[:, None]
    g = pyxa.Graph()
    g.transform_color(g.input(x), dest_dtype="float32", input_lut=tone.exposure_table(2.0 ** stops, black))
    expected = ref.exposure_ramp(x.astype(np.float64), stops, black)
    np.testing.assert_allclose(g.run(), expected, rtol=0, atol=4e-6 * 2.0 ** max(stops, 0.0) + 1e-6)


@pytest.mark.parametrize("gain", [2.0 ** -3, 1.0, 2.0 ** 0.5])
@pytest.mark.parametrize("black", [0.0, 1e-4, tone.AUTO_BLACK, 0.2])
def test_the_exposure_table_has_the_entries_its_curve_needs(gain, black):
    # Interpolated as the engine does, between float32 entries.
    table = tone.exposure_table(gain, black).astype(np.float64)
    x = np.linspace(0.0, 1.0, 1_000_001)
    error = np.abs(np.interp(x, np.linspace(0.0, 1.0, table.size), table) - tone.exposure_ramp(x, gain, black))
    assert error.max() <= (1e-6 if gain <= 1.0 else 4e-6 * gain) + 1e-7


@pytest.mark.parametrize("gain,black,message", [
    (0.0, 0.0, r"exposure gain must be a positive finite number, got 0.0"),
    (float("inf"), 0.0, r"exposure gain must be a positive finite number, got inf"),
    (1.0, 0.5, r"black point must lie in \[0, 0.5\), got 0.5"),
    (1.0, -0.01, r"black point must lie in \[0, 0.5\), got -0.01"),
])
def test_bad_exposure_is_refused(gain, black, message):
    with pytest.raises(ValueError, match=message):
        tone.exposure_table(gain, black)
