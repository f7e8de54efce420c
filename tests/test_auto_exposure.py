"""Automatic exposure: known answers on synthetic mosaics and linear images
(every CFA order, per-site levels and gains, a linearization table), the share
rule, the baseline and the limits, all-black, all-clipped and NaN data, the
real underexposed chart, and every refusal."""
import math
from pathlib import Path

import numpy as np
import pytest

import pyxa
from pyxa.auto_exposure import exposure_for_linear, exposure_for_mosaic, stops_to_white

RAW = Path(__file__).resolve().parents[1] / ".." / "shared" / "raw"
RNG = np.random.default_rng(17)
BLACKS = (60.0, 64.0, 62.0, 66.0)
WHITES = (4000.0, 4095.0, 3900.0, 4050.0)
WB = (2.0, 1.0, 1.6)


def mosaic_at(level, cfa, shape=(600, 800), dtype=np.uint16, blacks=BLACKS, whites=WHITES, wb=WB):
    """A mosaic whose every sample, black-subtracted, scaled to its white and
    multiplied by its colour's gain (smallest gain 1), is `level` (an array of
    that shape, or one value)."""
    level = np.broadcast_to(np.asarray(level, np.float64), shape)
    gains = np.asarray(wb) / min(wb)
    m = np.empty(shape)
    for site, colour in enumerate(cfa):
        dy, dx = divmod(site, 2)
        b, w, g = blacks[site], whites[site], gains["RGB".index(colour)]
        m[dy::2, dx::2] = b + (w - b) * level[dy::2, dx::2] / g
    return np.round(m).astype(dtype) if dtype == np.uint16 else m.astype(dtype)


@pytest.mark.parametrize("dtype", [np.uint16, np.float32])
@pytest.mark.parametrize("cfa", ["RGGB", "GRBG", "GBRG", "BGGR"])
def test_flat_grey_needs_the_stops_to_white(cfa, dtype):
    """Every site at a quarter of white once balanced: two stops. A gain or a
    level taken from the wrong site makes some samples brighter and the answer smaller."""
    if dtype == np.float32:
        blacks, whites = tuple(b / 4095 for b in BLACKS), tuple(w / 4095 for w in WHITES)
    else:
        blacks, whites = BLACKS, WHITES
    m = mosaic_at(0.25, cfa, dtype=dtype, blacks=blacks, whites=whites)
    assert exposure_for_mosaic(m, cfa, blacks, whites, WB) == pytest.approx(2.0, abs=2e-3)


@pytest.mark.parametrize("bright_share,want", [(0.003, math.log2(10)), (0.01, 0.0)])
def test_the_brightest_half_percent_reaches_white(bright_share, want):
    """Samples at 0.1 with a scattered share at white: fewer than 0.5 % of
    them do not hold the exposure down, more do."""
    shape = (2000, 3000)
    level = np.full(shape, 0.1)
    level[RNG.random(shape) < bright_share] = 1.0
    m = mosaic_at(level, "GBRG", shape=shape)
    assert exposure_for_mosaic(m, "GBRG", BLACKS, WHITES, WB) == pytest.approx(want, abs=2e-3)


# A square-law table: code c means c^2 / 4095, so code 2048 is a quarter of white.
SQUARE = np.arange(4096, dtype=np.float64) ** 2 / 4095


@pytest.mark.parametrize("code,dtype,table,want", [
    (2048, np.uint16, SQUARE, 2.0),               # looked up before the levels: not the 1 stop of the code
    (4000, np.uint16, SQUARE[:2049], 2.0),        # past the table's end: its last entry
    (2048.75, np.float32, SQUARE, 2.0),           # float samples truncate to their index
])
def test_linearization_table_applies_first(code, dtype, table, want):
    m = np.full((64, 64), code, dtype)
    assert exposure_for_mosaic(m, "RGGB", 0, 4095, linearization=table) == pytest.approx(want, abs=2e-3)


@pytest.mark.parametrize("baseline,limits,want", [
    (0.5, (0.0, 4.0), 1.5),     # on top of the file's own brightening
    (3.0, (0.0, 4.0), 0.0),     # never darker than the baseline by default
    (3.0, (-2.0, 4.0), -1.0),   # unless the limits allow it
    (0.0, (0.0, 1.5), 1.5),     # at most the upper limit
])
def test_baseline_and_limits(baseline, limits, want):
    m = mosaic_at(0.25, "RGGB")
    assert exposure_for_mosaic(m, "RGGB", BLACKS, WHITES, WB, baseline=baseline,
                               limits=limits) == pytest.approx(want, abs=2e-3)


@pytest.mark.parametrize("values,baseline,limits,want", [
    (np.zeros(1000), 0.0, (0.0, 4.0), 4.0),                   # all black: as far as allowed
    (np.full(1000, -0.01), 0.0, (-1.0, 3.0), 3.0),            # below black too
    (np.ones(1000), 1.0, (0.0, 4.0), 0.0),                    # all clipped: no brightening
    (np.full(1000, 7.0), 1.0, (-3.0, 4.0), -1.0),             # above white: undo the baseline
    (np.full(1000, np.nan), 0.5, (0.0, 4.0), 0.0),            # nothing to measure: no change
    (np.full(1000, np.nan), 0.0, (1.0, 4.0), 1.0),            # ... within the limits
    (np.r_[np.full(500, np.nan), np.full(500, 0.125)], 0.0, (0.0, 4.0), 3.0),  # NaN left out
    (np.r_[np.full(990, 0.5), np.full(10, np.inf)], 0.0, (0.0, 4.0), 0.0),     # 1 % infinite: at white
])
def test_edge_cases(values, baseline, limits, want):
    got = stops_to_white(values, baseline=baseline, limits=limits)
    assert got == pytest.approx(want, abs=1e-6) and math.isfinite(got)


@pytest.mark.parametrize("shape,black,white,wb", [
    ((300, 400, 3), (0.01, 0.02, 0.03), (0.9, 1.0, 0.8), (1.5, 1.0, 3.0)),
    ((300, 400, 3), 0.0, 1.0, None),
    ((300, 400), 512.0, 65535.0, None),
])
def test_linear_samples(shape, black, white, wb):
    """Every channel at an eighth of white once balanced: three stops."""
    c = shape[2] if len(shape) == 3 else 1
    blacks, whites = np.broadcast_to(black, c), np.broadcast_to(white, c)
    gains = np.ones(c) if wb is None else np.asarray(wb) / min(wb)
    samples = (blacks + (whites - blacks) * 0.125 / gains) * np.ones(shape[:2] + (c,))
    samples = samples.reshape(shape).astype(np.float32)
    assert exposure_for_linear(samples, black, white, wb) == pytest.approx(3.0, abs=2e-3)


def test_underexposed_chart_is_brightened():
    """The chart develops to a mean of 0.23 as shot (the linear look). Measured on a subsample,
    the answer takes half a percent of the whole mosaic's balanced samples to
    white, and the development is brighter for it."""
    path = RAW / "colorchart.dng"
    if not path.exists():
        pytest.skip(f"needs the shared raw files ({path})")
    pytest.importorskip("rawpy")
    with pyxa.read_raw(path) as raw:
        stops = exposure_for_mosaic(raw.mosaic, raw.cfa, raw.black, raw.white, raw.wb_camera)
        assert 1.0 < stops < 2.5
        gains = np.asarray(raw.wb_camera) / min(raw.wb_camera)
        balanced = np.empty(raw.mosaic.shape)
        for site, colour in enumerate(raw.cfa):
            dy, dx = divmod(site, 2)
            black = raw.black[site]
            balanced[dy::2, dx::2] = ((raw.mosaic[dy::2, dx::2] - black) / (raw.white - black)
                                      * gains["RGB".index(colour)])
        assert 0.004 < np.mean(balanced * 2.0 ** stops >= 1) < 0.006
        before = pyxa.develop(raw, dtype="float32", look="linear").mean()
        after = pyxa.develop(raw, dtype="float32", look="linear", exposure=stops).mean()
    assert before == pytest.approx(0.23, abs=0.01) and after > before + 0.1


@pytest.mark.parametrize("call,message", [
    (lambda: exposure_for_mosaic(np.zeros((1, 8), np.uint16), "RGGB", 0, 1),
     "mosaic must be a 2-D array of at least 2 x 2 samples, got (1, 8)"),
    (lambda: exposure_for_mosaic(np.zeros((4, 4, 3)), "RGGB", 0, 1),
     "mosaic must be a 2-D array of at least 2 x 2 samples, got (4, 4, 3)"),
    (lambda: exposure_for_mosaic(np.zeros((4, 4)), "RGBG", 0, 1),
     "cfa must be one of RGGB, GRBG, GBRG, BGGR, got 'RGBG'"),
    (lambda: exposure_for_mosaic(np.zeros((4, 4)), "RGGB", (0, 1), 1),
     "black needs one finite level or 4, got (0, 1)"),
    (lambda: exposure_for_mosaic(np.zeros((4, 4)), "RGGB", 0, float("nan")),
     "white needs one finite level or 4, got nan"),
    (lambda: exposure_for_mosaic(np.zeros((4, 4)), "RGGB", (0, 0, 5, 0), 5),
     "each white level must lie above its black level, got black [0.0, 0.0, 5.0, 0.0] and white "
     "[5.0, 5.0, 5.0, 5.0]"),
    (lambda: exposure_for_mosaic(np.zeros((4, 4)), "RGGB", 0, 1, (1, 0, 1)),
     "wb needs 3 positive gains, one per channel, got (1, 0, 1)"),
    (lambda: exposure_for_linear(np.zeros((4, 4, 2)), 0, 1, (1, 2, 3)),
     "wb needs 2 positive gains, one per channel, got (1, 2, 3)"),
    (lambda: exposure_for_linear(np.zeros((0, 4, 3)), 0, 1),
     "samples must be a non-empty (height, width) or (height, width, channels) array, got (0, 4, 3)"),
    (lambda: exposure_for_mosaic(np.zeros((4, 4)), "RGGB", 0, 1, linearization=[]),
     "linearization needs a non-empty table of finite values, got 0 values"),
    (lambda: stops_to_white(np.ones(4), share=0.0),
     "share must lie between 0 and 1 (a fraction of the samples), got 0.0"),
    (lambda: stops_to_white(np.ones(4), limits=(2.0, 1.0)),
     "limits must be a (lowest, highest) pair of stops with lowest <= highest, got (2.0, 1.0)"),
    (lambda: stops_to_white(np.ones(4), limits=(float("nan"), 1.0)),
     "limits must be a (lowest, highest) pair of stops with lowest <= highest, got (nan, 1.0)"),
    (lambda: stops_to_white(np.ones(4), limits=(1.0,)),
     "limits must be a (lowest, highest) pair of stops, got (1.0,)"),
    (lambda: stops_to_white(np.ones(4), baseline=float("inf")),
     "baseline must be a finite number of stops, got inf"),
])
def test_refusals(call, message):
    with pytest.raises(ValueError) as refused:
        call()
    assert str(refused.value) == message
