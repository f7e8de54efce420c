"""Opcode lists developed through written DNGs: every opcode at its stage
against a NumPy rendering of its rule (tests/dng_opcode_rules.py), on files
whose ActiveArea starts at an odd row and column, so that each list's frame
(OpcodeList1 the stored image, 2 and 3 the active area) shows; BayerPhase on a
red, a green and a blue defect for every phase; every flag case; and the
refusals, with their messages.

The files carry a colour matrix that makes the linear look's camera -> sRGB
matrix the identity and a neutral white, so a float32 linear-look rendering
with the linear curve is the stage-3 image itself, and, on a CFA image
demosaiced bilinearly, each pixel's own CFA colour is its stage-2 sample."""

import re
import warnings

import numpy as np
import pytest

pytest.importorskip("tifffile")
pytest.importorskip("imagecodecs")
import pyxa  # noqa: E402
from pyxa.dng.opcode_nodes import DngOpcodeWarning  # noqa: E402
from pyxa.dng.opcode_records import (Area, DeltaPerColumn, DeltaPerRow, FixBadPixelsConstant,  # noqa: E402
                                     FixBadPixelsList, FixVignetteRadial, GainMap, MapPolynomial, MapTable, Opcode,
                                     ScalePerColumn, ScalePerRow, TrimBounds, UnknownOpcode, WarpFisheye,
                                     WarpRectilinear)
from pyxa.raw import XYZ_FROM_SRGB  # noqa: E402

import dng_opcode_rules as rules  # noqa: E402
from dng_writer import write_dng  # noqa: E402

V13 = 0x01030000
STORED = (30, 42)
ACTIVE = (3, 5, 27, 39)  # top, left, bottom, right: a 34 x 24 area at an odd row and column
BLACK, WHITE = 200.0, 4000.0
LEVEL = 1 / (WHITE - BLACK)  # one stored level after linearisation
CFA = np.array([[0, 1], [1, 2]])  # RGGB from the active area's top-left pixel
RNG = np.random.default_rng(11)


def stored_cfa():
    return RNG.integers(150, 4100, STORED).astype(np.uint16)


def stored_linear():
    return RNG.integers(150, 4100, STORED + (3,)).astype(np.uint16)


def write(path, stored, lists, **tags):
    """A DNG whose linear-look rendering shows its stage images (see the module note)."""
    base = dict(ActiveArea=ACTIVE, BlackLevel=[BLACK] * (1 if stored.ndim == 2 else stored.shape[2]),
                WhiteLevel=int(WHITE),
                ColorMatrix1=np.linalg.inv(XYZ_FROM_SRGB), CalibrationIlluminant1=21, AsShotNeutral=(1.0, 1.0, 1.0))
    if stored.ndim == 2:
        base["CFAPattern"] = bytes(CFA.ravel().tolist())
    lists = {f"OpcodeList{stage}": ops for stage, ops in lists.items()}
    write_dng(path, stored, **{**base, **lists, **tags})
    return path


def develop(path, **kw):
    with warnings.catch_warnings():
        warnings.simplefilter("error", DngOpcodeWarning)
        return pyxa.develop(path, look="linear", curve="linear", dtype="float32", demosaic="bilinear", **kw)


def stage_image(out, mosaic):
    """What a rendering shows of the last stage: for a mosaic, each pixel's own CFA colour (H, W, 1)."""
    if not mosaic:
        return out
    y, x = np.mgrid[0:out.shape[0], 0:out.shape[1]]
    return out[y, x, CFA[y % 2, x % 2]][..., None]


def crop(stored):
    top, left, bottom, right = ACTIVE
    return stored[top:bottom, left:right]


def linearise(stored):
    return np.clip((stored.astype(np.float64) - BLACK) / (WHITE - BLACK), 0, 1)


def as_planes(a):
    return a[..., None] if a.ndim == 2 else a


def op(opcode_id, params, stage, flags=0):
    return Opcode(opcode_id, V13, flags, stage, params)


def area(top, left, bottom, right, plane=0, planes=1, row_pitch=1, col_pitch=1):
    return Area(top, left, bottom, right, plane, planes, row_pitch, col_pitch)


def grid(v, h, planes=1, lo=0.5, hi=1.8):
    return RNG.uniform(lo, hi, (v, h, planes)).astype(np.float32)


def bad_mask(shape, p):
    mask = np.zeros(shape, bool)
    for y, x in p.points:
        if y < shape[0] and x < shape[1]:
            mask[y, x] = True
    for top, left, bottom, right in p.rects:
        mask[top:bottom, left:right] = True
    return mask


def bad_list(image, p):
    """FixBadPixelsList on an (H, W, 1) stage image: integers as they are, fractions as 16-bit values."""
    mosaic = image[..., 0]
    fraction = mosaic.dtype.kind == "f"
    values = np.round(mosaic * 65535).astype(np.uint16) if fraction else mosaic
    fixed = rules.repair(values, bad_mask(mosaic.shape, p), p.bayer_phase, rings=16)
    return (fixed / 65535.0 if fraction else fixed)[..., None]


def on_fractions(rule):
    """A float rule run on OpcodeList1's stored integers: as fractions of 65535, rounded back."""
    def run(stored, p):
        value = rule(stored.astype(np.float64) / 65535, p)
        return np.round(np.clip(value, 0, 1) * 65535).astype(np.uint16)
    return run


def case(stage, mosaic, opcode_id, params, rule, tolerance=2e-6):
    """(stage, mosaic?, opcodes, the rule on the stage image, tolerance); a
    list of params makes one opcode each, applied in order."""
    params = params if isinstance(params, list) else [params]

    def run(image):
        for p in params:
            image = rule(image, p)
        return image
    return stage, mosaic, [op(opcode_id, p, stage) for p in params], run, tolerance


# The four gain maps of a lens-shading correction: one per CFA site, each on
# its own site through the area's offsets and a pitch of 2.
SITE_MAPS = [GainMap(area(dy, dx, 24, 34, row_pitch=2, col_pitch=2), 4, 5, 1 / 3, 1 / 4, 0.0, 0.0, 1, grid(4, 5))
             for dy in (0, 1) for dx in (0, 1)]
BAD_LIST = FixBadPixelsList(0, np.array([[4, 6], [9, 9], [23, 33], [40, 2]], np.uint32),
                            np.array([[12, 14, 14, 17], [20, 30, 60, 60]], np.uint32))
WARP3 = WarpRectilinear(np.array([[1.0, -0.08, 0.02, 0.0, 0.002, -0.001], [1.01, -0.07, 0.0, 0.01, 0.0, 0.0],
                                  [0.99, -0.09, 0.03, 0.0, -0.002, 0.001]]), 0.45, 0.55)
LEVEL_ROUNDING = LEVEL * 1.01  # stage-1 float rules round to whole stored levels, float32 against float64

CASES = {
    "GainMap per CFA site, list 2": case(2, True, 9, SITE_MAPS, rules.gain_map),
    "GainMap off the origin, list 2": case(2, True, 9, GainMap(area(1, 2, 99, 99), 3, 3, 0.3, 0.4, 0.2, -0.1, 1,
                                                               grid(3, 3)), rules.gain_map),
    "MapPolynomial, list 2": case(2, True, 8, MapPolynomial(area(1, 0, 20, 30, col_pitch=3),
                                                            np.array([0.05, 0.6, 0.8, -0.3])), rules.map_polynomial),
    "FixVignetteRadial, list 2": case(2, True, 3, FixVignetteRadial((0.3, -0.1, 0.05, 0.0, 0.01), 0.4, 0.6),
                                      rules.fix_vignette),
    "FixBadPixelsList, list 2": case(2, True, 5, BAD_LIST, bad_list, 1.5e-5),
    "MapTable, list 2": case(2, True, 7, MapTable(area(2, 3, 20, 30),
                                                  (np.sqrt(np.linspace(0, 1, 300)) * 65535).astype(np.uint16)),
                             rules.map_table_fraction),
    "DeltaPerRow, list 2": case(2, True, 10, DeltaPerRow(area(2, 1, 23, 30, row_pitch=3),
                                                         np.float32([0.1, -0.05, 0.2, 0.0, 0.3, -0.2, 0.15])),
                                lambda a, p: rules.per_line(a, p, rows=True, add=True)),
    "ScalePerColumn, list 2": case(2, True, 13, ScalePerColumn(area(0, 4, 24, 12, col_pitch=2),
                                                               np.float32([1.5, 0.5, 2.0, 0.9])),
                                   lambda a, p: rules.per_line(a, p, rows=False, add=False)),
    "GainMap on stored values, list 1": case(1, True, 9, GainMap(area(0, 0, 30, 42), 2, 2, 1.0, 1.0, 0.0, 0.0, 1,
                                                                 grid(2, 2, lo=0.8, hi=1.2)),
                                             on_fractions(rules.gain_map), LEVEL_ROUNDING),
    "MapTable on stored values, list 1": case(1, True, 7, MapTable(area(0, 0, 30, 42, col_pitch=2),
                                                                   np.arange(4096, dtype=np.uint16)[::-1]),
                                              rules.map_table_integer, 1e-6),
    "ScalePerRow on stored values, list 1": case(1, True, 12, ScalePerRow(area(0, 0, 30, 42, row_pitch=5),
                                                                          np.float32([1.2, 0.7, 1.0, 1.3, 0.9, 1.1])),
                                                 on_fractions(lambda a, p: rules.per_line(a, p, rows=True,
                                                                                          add=False)),
                                                 LEVEL_ROUNDING),
    "FixBadPixelsList on stored values, list 1": case(1, True, 5, BAD_LIST, bad_list, 1e-6),
    "GainMap, planes 1 to 2 of an RGB image, list 3": case(3, False, 9, GainMap(area(0, 0, 24, 34, 1, 2), 3, 4, 0.5,
                                                                                1 / 3, 0.0, 0.0, 2, grid(3, 4, 2)),
                                                           rules.gain_map),
    "GainMap on an RGB image, list 2": case(2, False, 9, GainMap(area(0, 0, 24, 34, 0, 3), 2, 3, 0.8, 0.4, 0.1, 0.1,
                                                                 1, grid(2, 3)), rules.gain_map),
    "WarpRectilinear per plane with tangential terms, list 3": case(3, False, 1, WARP3, rules.warp_rectilinear,
                                                                    2e-5),
    "WarpRectilinear, one set for all planes, list 3": case(3, False, 1, WarpRectilinear(
        np.array([[1.02, 0.06, 0.0, 0.0, 0.0, 0.0]]), 0.5, 0.5), rules.warp_rectilinear, 2e-5),
    "WarpFisheye, list 3": case(3, False, 2, WarpFisheye(np.array([[1.1, 0.1, 0.0, 0.0]]), 0.5, 0.45),
                                rules.warp_fisheye, 2e-5),
    "FixVignetteRadial, list 3": case(3, False, 3, FixVignetteRadial((0.5, 0.2, 0.0, 0.0, 0.0), 0.5, 0.5),
                                      rules.fix_vignette),
    "MapPolynomial on plane 2, list 3": case(3, False, 8, MapPolynomial(area(0, 0, 24, 34, 2, 5),
                                                                        np.array([0.0, 0.5, 0.5])),
                                             rules.map_polynomial),
    "DeltaPerColumn on planes 0 and 1, list 3": case(3, False, 11, DeltaPerColumn(area(0, 0, 24, 34, 0, 2, 1, 17),
                                                                                  np.float32([0.2, -0.1])),
                                                     lambda a, p: rules.per_line(a, p, rows=False, add=True)),
}


@pytest.mark.parametrize("name", CASES)
def test_opcode_runs_at_its_stage_as_its_rule_says(tmp_path, name):
    stage, mosaic, opcodes, rule, tolerance = CASES[name]
    stored = stored_cfa() if mosaic else stored_linear()
    got = stage_image(develop(write(tmp_path / "f.dng", stored, {stage: opcodes})), mosaic)
    if stage == 1:
        want = linearise(crop(rule(as_planes(stored))))
    else:
        want = np.clip(rule(as_planes(linearise(crop(stored)))), 0, 1)
    assert got.shape == want.shape
    np.testing.assert_allclose(got, want, rtol=0, atol=tolerance)


@pytest.mark.parametrize("phase", range(4))
@pytest.mark.parametrize("colour", [0, 1, 2])
def test_bayer_phase_picks_the_neighbours_of_the_defect_colour(tmp_path, phase, colour):
    """FixBadPixelsConstant in OpcodeList1: the phase counts from the stored
    image's top-left pixel; a green defect takes its diagonal neighbours, a
    red or blue one the same-colour pixels two sites away."""
    stored = stored_cfa()
    y, x = next((y, x) for y in range(8, 14) for x in range(8, 14) if rules.site_colour(y, x, phase) == colour)
    stored[y, x] = 0
    got = stage_image(develop(write(tmp_path / "f.dng", stored, {1: [op(4, FixBadPixelsConstant(0, phase), 1)]})),
                      True)
    want = linearise(crop(rules.repair(stored, stored == 0, phase)))
    # The other reading of the phase would average other pixels: make sure it differs here.
    wrong = linearise(crop(rules.repair(stored, stored == 0, phase ^ 1)))
    ay, ax = y - ACTIVE[0], x - ACTIVE[1]
    assert got[ay, ax, 0] != pytest.approx(wrong[ay, ax], abs=LEVEL / 2)
    np.testing.assert_allclose(got[..., 0], want, rtol=0, atol=1e-6)


def test_constant_bad_pixels_in_list_2_compare_linearised_16_bit_values(tmp_path):
    """In OpcodeList2 the Constant 0 marks the samples that linearise to 0
    (those at or below black); the phase counts from the active area."""
    stored = stored_cfa()
    stored[10, 11] = stored[14, 20] = 100
    got = stage_image(develop(write(tmp_path / "f.dng", stored, {2: [op(4, FixBadPixelsConstant(0, 0), 2)]})), True)
    linear16 = np.round(linearise(crop(stored)) * 65535).astype(np.uint16)
    want = rules.repair(linear16, linear16 == 0, 0) / 65535
    np.testing.assert_allclose(got[..., 0], want, rtol=0, atol=2e-6)
    assert got[7, 6, 0] > 0 and got[11, 15, 0] > 0


def test_trim_bounds_in_list_3_moves_the_default_crop_with_it(tmp_path):
    stored = stored_linear()
    path = write(tmp_path / "f.dng", stored, {3: [op(6, TrimBounds(2, 3, 20, 30), 3)]},
                 DefaultCropOrigin=(1, 1), DefaultCropSize=(30, 20))
    got = develop(path)
    # Crop columns 1..30, rows 1..20 of the area; the trim kept columns 3..29, rows 2..19.
    want = linearise(crop(stored))[2:20, 3:30]
    np.testing.assert_allclose(got, want, rtol=0, atol=2e-6)


# Trims that cut rows and columns off the active area's top and left, one count
# odd and one even (list 1 in stored-image pixels, list 2 in active-area pixels),
# then opcodes in the later lists whose areas start before the trimmed edge
# on a pitch, a BayerPhase and a listed defect, which must land where they
# would without the trim.
LATER_LIST_2 = [op(10, DeltaPerRow(area(0, 0, 24, 34, row_pitch=3), np.float32(np.linspace(-0.1, 0.2, 8))), 2),
                op(13, ScalePerColumn(area(1, 0, 24, 34, col_pitch=2), np.float32(np.linspace(0.6, 1.4, 17))), 2),
                op(5, FixBadPixelsList(0, np.array([[12, 15], [13, 20]], np.uint32), np.zeros((0, 4), np.uint32)), 2)]
LATER_LIST_3 = [op(11, DeltaPerColumn(area(0, 1, 24, 34, 0, 3, 1, 3), np.float32(np.linspace(0.05, -0.05, 11))), 3),
                op(8, MapPolynomial(area(2, 0, 24, 34, 1, 1, 2, 1), np.array([0.01, 0.9])), 3)]


@pytest.mark.parametrize("stage, trim", [(1, TrimBounds(4, 9, 29, 38)), (2, TrimBounds(2, 3, 23, 33))])
def test_trim_in_an_early_list_moves_no_frame_a_later_stage_counts_from(tmp_path, stage, trim):
    """What the crop keeps is what the file without the trim develops to:
    the CFA phase, the black-level pattern and deltas, the later lists and
    the crop still count from the active area's corner."""
    stored = stored_cfa()
    stored[ACTIVE[0] + 12, ACTIVE[1] + 15] = 0
    tags = dict(BlackLevelRepeatDim=(2, 2), BlackLevel=[200, 230, 180, 215],
                BlackLevelDeltaH=list(np.linspace(-20, 20, 34)), BlackLevelDeltaV=list(np.linspace(15, -15, 24)),
                DefaultCropOrigin=(6, 4), DefaultCropSize=(24, 16))
    lists = {2: (LATER_LIST_2 if stage == 1 else []), 3: LATER_LIST_3}
    plain = develop(write(tmp_path / "plain.dng", stored, lists, **tags))
    trimmed = {**lists, stage: [op(6, trim, stage)] + lists.get(stage, [])}
    got = develop(write(tmp_path / "trimmed.dng", stored, trimmed, **tags))
    assert got.shape == plain.shape == (16, 24, 3)
    np.testing.assert_allclose(got, plain, rtol=0, atol=2e-6)


def test_default_crop_counts_from_the_active_area(tmp_path):
    stored = stored_linear()
    got = develop(write(tmp_path / "f.dng", stored, {}, DefaultCropOrigin=(3, 2), DefaultCropSize=(20, 15)))
    np.testing.assert_allclose(got, linearise(crop(stored))[2:17, 3:23], rtol=0, atol=2e-6)


UNKNOWN = UnknownOpcode(b"\x00\x01\x02\x03")


@pytest.mark.parametrize("flags, allow", [(1, False), (3, False), (0, True), (2, True)])
def test_unknown_opcode_is_skipped_when_optional_or_allowed(tmp_path, flags, allow):
    stored = stored_cfa()
    path = write(tmp_path / "f.dng", stored, {2: [op(99, UNKNOWN, 2, flags), op(3, FixVignetteRadial(
        (0.2, 0, 0, 0, 0), 0.5, 0.5), 2)]})
    with pytest.warns(DngOpcodeWarning) as caught:
        got = pyxa.develop(path, look="linear", curve="linear", dtype="float32", demosaic="bilinear",
                           ignore_unknown_opcodes=allow)
    why = "skipped, as its flags mark it optional" if not allow else \
        "skipped (ignore_unknown_opcodes), though its flags do not mark it optional"
    assert [str(w.message) for w in caught] == [f"{path}: OpcodeList2: opcode 0 (Unknown(99)): not known to this "
                                                 f"renderer; {why}" + ("" if not allow else
                                                                        ": the rendering is not the one the file asks for")]
    want = rules.fix_vignette(as_planes(linearise(crop(stored))), FixVignetteRadial((0.2, 0, 0, 0, 0), 0.5, 0.5))
    np.testing.assert_allclose(stage_image(got, True), want, rtol=0, atol=2e-6)


@pytest.mark.parametrize("flags", [0, 2])
def test_unknown_required_opcode_refuses_the_file(tmp_path, flags):
    path = write(tmp_path / "f.dng", stored_cfa(), {3: [op(3, FixVignetteRadial((0.2, 0, 0, 0, 0), 0.5, 0.5), 3),
                                                        op(4242, UNKNOWN, 3, flags)]})
    with pytest.raises(pyxa.RawFileError) as info:
        develop(path)
    assert str(info.value) == (f"{path}: OpcodeList3: opcode 1 (Unknown(4242)): not known to this renderer, and "
                               f"its flags (0x{flags:x}) do not mark it optional; pass ignore_unknown_opcodes=True "
                               "(--ignore-unknown-opcodes) to develop without it")


@pytest.mark.parametrize("flags", [1, 2, 3])
def test_known_opcodes_run_whatever_their_flags(tmp_path, flags):
    stored = stored_cfa()
    vignette = FixVignetteRadial((0.4, 0, 0, 0, 0), 0.3, 0.7)
    got = develop(write(tmp_path / "f.dng", stored, {2: [op(3, vignette, 2, flags)]}))
    want = rules.fix_vignette(as_planes(linearise(crop(stored))), vignette)
    np.testing.assert_allclose(stage_image(got, True), want, rtol=0, atol=2e-6)


@pytest.mark.parametrize("stage, opcodes, message", [
    (3, [op(1, WarpRectilinear(np.ones((2, 6)), 0.5, 0.5), 3)],
     "OpcodeList3: opcode 0 (WarpRectilinear): has 2 coefficient sets; an image of 3 planes takes 1 or 3"),
    (3, [op(4, FixBadPixelsConstant(0, 0), 3)],
     "OpcodeList3: opcode 0 (FixBadPixelsConstant): repairs a CFA mosaic; the image of this list has 3 planes"),
    (2, [op(8, MapPolynomial(area(0, 0, 9, 9), np.array([0.0, 1e39])), 2)],
     "OpcodeList2: opcode 0 (MapPolynomial): coefficient 1e+39 is beyond the range of the engine's 32-bit "
     "coefficients"),
    (1, [op(6, TrimBounds(0, 0, 3, 42), 1)],
     "ActiveArea: (top 3, left 5, bottom 27, right 39) lies outside what OpcodeList1's TrimBounds left of the "
     "stored image"),
    (3, [op(6, TrimBounds(30, 0, 40, 8), 3)],
     "OpcodeList3: opcode 0 (TrimBounds): bounds (top 30, left 0, bottom 40, right 8) leave nothing of the 34 x 24 "
     "image"),
])
def test_opcodes_that_cannot_be_mapped_refuse_the_file(tmp_path, stage, opcodes, message):
    mosaic = not (stage == 3 and opcodes[0].id in (1,))
    path = write(tmp_path / "f.dng", stored_cfa() if mosaic else stored_linear(), {stage: opcodes})
    with pytest.raises(pyxa.RawFileError, match=re.escape(f"{path}: {message}")):
        develop(path)


@pytest.mark.parametrize("opcode", [
    op(9, GainMap(area(40, 0, 50, 10), 1, 1, 0, 0, 0, 0, 1, np.ones((1, 1, 1), np.float32)), 2),
    op(8, MapPolynomial(area(0, 0, 9, 9, plane=1), np.array([0.5])), 2),
    op(4, FixBadPixelsConstant(70000, 0), 1),
])
def test_opcodes_without_effect_make_no_node_and_say_so(tmp_path, opcode):
    stored = stored_cfa()
    path = write(tmp_path / "f.dng", stored, {opcode.stage: [opcode]})
    with pytest.warns(DngOpcodeWarning, match="has no effect"):
        got = pyxa.develop(path, look="linear", curve="linear", dtype="float32", demosaic="bilinear")
    np.testing.assert_allclose(stage_image(got, True)[..., 0], linearise(crop(stored)), rtol=0, atol=2e-6)


@pytest.mark.parametrize("demosaic", ["bilinear", "ea", "ea_full"])
def test_masked_pixels_around_the_active_area_never_reach_the_image(tmp_path, demosaic):
    """The demosaic mirrors at the active area's edges: a file whose masked
    border holds junk develops like the active area written alone."""
    stored = stored_cfa()
    top, left, bottom, right = ACTIVE
    junk = stored.copy()
    junk[:top], junk[bottom:], junk[:, :left], junk[:, right:] = 4095, 0, 4095, 0
    framed = pyxa.develop(write(tmp_path / "framed.dng", junk, {}), demosaic=demosaic)
    alone = pyxa.develop(write(tmp_path / "alone.dng", crop(stored), {}, ActiveArea=None), demosaic=demosaic)
    assert np.array_equal(framed, alone)
