"""Camera profiles: the three real DCPs in ../shared/profiles with the contents
their README states; profiles written here (DCP files and DNG IFD0s, three and
four colour planes) read back whole; every impossible tag ignored with its
warning, and every table or file that cannot be used refused with its message."""

import struct
import warnings
from pathlib import Path

import numpy as np
import pytest

tifffile = pytest.importorskip("tifffile")
from pyxa.dng.profile_tags import read_profile  # noqa: E402
from pyxa.dng.reader import read_dng  # noqa: E402
from pyxa.dng.records import CameraProfile, ProfileTable  # noqa: E402
from pyxa.dng.tags import DngTagWarning  # noqa: E402
from pyxa.raw import RawFileError  # noqa: E402

from dng_writer import Field, profile_tags, write_dcp, write_dng  # noqa: E402

PROFILES = Path(__file__).resolve().parents[1] / ".." / "shared" / "profiles"

# What each real profile holds: (illuminants, first row of ColorMatrix1 and of
# ForwardMatrix1 as the files store them (x/10000), HueSatMap 1 and 2 dims,
# LookTable dims and encoding, tone-curve points, DefaultBlackRender,
# ProfileEmbedPolicy, ProfileName). ProfileCopyright is compared with what
# tifffile reads from the file.
REAL = {
    "canon_eos_550d.dcp": ((23, 0), (0.6519, -0.0772, -0.0703), None, (6, 6, 3), None, None, None, None, 0,
                           "EOS 550D - 6145"),
    "pentax_k50.dcp": ((17, 21), (1.6372, -0.8997, 0.0330), (0.7106, 0.1421, 0.1116), (90, 30, 1), (90, 30, 1),
                       None, 2, 1, 3, "PENTAX K-50"),
    "canon_eos_100d.dcp": ((23, 0), (0.7058, -0.1129, -0.0798), (0.7585, 0.1138, 0.0921), (90, 30, 1), None,
                           ((90, 30, 30), 1), 1025, 1, 3, "Canon EOS 100D/Canon EOS Rebel SL1/Canon EOS Kiss X7"),
}


def real_profile(name):
    path = PROFILES / name
    if not path.exists():
        pytest.skip(f"{path} is absent (the shared test profiles are not part of a clone)")
    return read_profile(path)


def dims(table):
    return None if table is None else (table.hue_divs, table.sat_divs, table.val_divs)


@pytest.mark.parametrize("name", REAL)
def test_real_profiles_read_as_their_readme_states(name):
    illuminants, cm_row, fm_row, hsm1, hsm2, look, tone_points, black_render, embed, profile_name = REAL[name]
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        p = real_profile(name)
    with tifffile.TiffFile(PROFILES / name) as tif:
        tag = tif.pages[0].tags.get(50942)
        copyright_ = None if tag is None else tag.value
    assert (p.illuminant1, p.illuminant2) == illuminants
    assert p.name == profile_name and p.copyright == copyright_
    assert (p.default_black_render, p.embed_policy) == (black_render, embed)
    assert p.color_matrix1.shape == (3, 3)
    np.testing.assert_allclose(p.color_matrix1[0], cm_row, rtol=0, atol=1e-12)
    assert (p.color_matrix2 is not None) == (illuminants[1] != 0)
    assert (p.forward_matrix2 is not None) == (fm_row is not None and illuminants[1] != 0)
    if fm_row is None:
        assert p.forward_matrix1 is None
    else:
        np.testing.assert_allclose(p.forward_matrix1[0], fm_row, rtol=0, atol=1e-12)
    assert (dims(p.hue_sat_map1), dims(p.hue_sat_map2)) == (hsm1, hsm2)
    assert (None if p.look_table is None else (dims(p.look_table), p.look_table.encoding)) == look
    if tone_points is None:
        assert p.tone_curve is None
    else:
        assert p.tone_curve.shape == (tone_points, 2)
        assert tuple(p.tone_curve[0]) == (0.0, 0.0) and tuple(p.tone_curve[-1]) == (1.0, 1.0)


@pytest.mark.parametrize("name", ["pentax_k50.dcp", "canon_eos_100d.dcp"])
def test_real_tables_leave_grey_alone_at_saturation_zero(name):
    # These measured profiles never shift a grey: every point of saturation
    # index 0 is (0, 1, 1). That holds only when the data is laid out value
    # outermost, then hue, then saturation, as the record's shape says.
    p = real_profile(name)
    for table in (p.hue_sat_map1, p.hue_sat_map2, p.look_table):
        if table is not None:
            assert table.data.shape == (table.val_divs, table.hue_divs, table.sat_divs, 3)
            assert np.all(table.data[:, :, 0] == np.float32([0, 1, 1]))
            assert not np.all(table.data[:, :, 1] == np.float32([0, 1, 1]))


def table(hue, sat, val, encoding=0, seed=0):
    data = np.random.default_rng(seed).integers(0, 64, (val, hue, sat, 3)).astype(np.float32) / 16
    return ProfileTable(hue, sat, val, data, encoding)


def full_profile(planes):
    rng = np.random.default_rng(planes)

    def matrix(rows, cols):
        return rng.integers(-9999, 9999, (rows, cols)) / 10000

    return CameraProfile(
        name="pyxa test profile", illuminant1=17, illuminant2=21, color_matrix1=matrix(planes, 3),
        color_matrix2=matrix(planes, 3), camera_calibration1=matrix(planes, planes),
        camera_calibration2=matrix(planes, planes), forward_matrix1=matrix(3, planes),
        forward_matrix2=matrix(3, planes), hue_sat_map1=table(4, 3, 2, encoding=1, seed=1),
        hue_sat_map2=table(4, 3, 2, encoding=1, seed=2), look_table=table(5, 2, 3, encoding=1, seed=3),
        tone_curve=np.array([[0.0, 0.0], [0.25, 0.125], [1.0, 1.0]]), baseline_exposure_offset=-0.5,
        default_black_render=1, copyright="nobody", embed_policy=2)


def assert_profiles_equal(a, b):
    for field in ("name", "illuminant1", "illuminant2", "baseline_exposure_offset", "default_black_render",
                  "copyright", "embed_policy"):
        assert getattr(a, field) == getattr(b, field), field
    for field in ("color_matrix1", "color_matrix2", "camera_calibration1", "camera_calibration2",
                  "forward_matrix1", "forward_matrix2", "tone_curve"):
        x, y = getattr(a, field), getattr(b, field)
        assert x.shape == y.shape, field
        np.testing.assert_allclose(x, y, rtol=0, atol=1e-12, err_msg=field)
    for field in ("hue_sat_map1", "hue_sat_map2", "look_table"):
        x, y = getattr(a, field), getattr(b, field)
        assert dims(x) == dims(y) and x.encoding == y.encoding, field
        assert x.data.dtype == np.float32 and np.array_equal(x.data, y.data), field


@pytest.mark.parametrize("planes", [3, 4])
def test_written_dcp_reads_back_whole(tmp_path, planes):
    expected = full_profile(planes)
    path = tmp_path / "p.dcp"
    write_dcp(path, **profile_tags(expected))
    got = read_profile(path)
    assert got.source == str(path)
    assert_profiles_equal(got, expected)


def test_dng_profile_takes_its_planes_from_the_cfa_colours(tmp_path):
    # A four-colour (CYGM) sensor: colour matrices are 4 x 3, forward 3 x 4.
    expected = full_profile(4)
    path = tmp_path / "cygm.dng"
    write_dng(path, np.zeros((8, 8), np.uint16), CFAPlaneColor=b"\x03\x05\x01\x04", CFAPattern=b"\x00\x01\x02\x03",
              **profile_tags(expected))
    record = read_dng(path)
    assert record.cfa_plane_color == (3, 5, 1, 4) and record.profile.source == "embedded"
    assert_profiles_equal(record.profile, expected)


def test_dng_without_profile_tags_has_no_profile(tmp_path):
    path = tmp_path / "bare.dng"
    write_dng(path, np.zeros((4, 4), np.uint16))
    assert read_dng(path).profile is None


def test_profile_tag_in_the_raw_ifd_is_found(tmp_path):
    # Some cameras put DefaultBlackRender beside the raw image instead of in IFD0.
    path = tmp_path / "p.dng"
    write_dng(path, np.zeros((4, 4), np.uint16), ColorMatrix1=np.eye(3), DefaultBlackRender=Field("LONG", 1, "raw"))
    assert read_dng(path).profile.default_black_render == 1


def minimal(**tags):
    base = {"ColorMatrix1": np.eye(3), "ProfileHueSatMapDims": (2, 2, 1),
            "ProfileHueSatMapData1": np.tile(np.float32([0, 1, 1]), 4)}
    base.update(tags)
    return {k: v for k, v in base.items() if v is not None}


IGNORED = [
    # (tags, field and the value it keeps, warning text)
    ({"ColorMatrix2": np.ones(8)}, ("color_matrix2", None),
     "ColorMatrix2 has 8 values, a 3 x 3 matrix needs 9; the tag is ignored"),
    ({"ForwardMatrix1": Field("SRATIONAL", [(1, 1)] * 4 + [(0, 0)] + [(1, 1)] * 4)}, ("forward_matrix1", None),
     "ForwardMatrix1 holds 0/0, which is not a number; the tag is ignored"),
    ({"CameraCalibration1": Field("FLOAT", [1, 0, 0, 0, float("inf"), 0, 0, 0, 1])}, ("camera_calibration1", None),
     "CameraCalibration1 holds an infinite value; the tag is ignored"),
    ({"ColorMatrix2": np.zeros(9)}, ("color_matrix2", None), "ColorMatrix2 is all zeros; the tag is ignored"),
    ({"ProfileToneCurve": [0, 0, 0.6, 0.5, 0.5, 0.6, 1, 1]}, ("tone_curve", None),
     "ProfileToneCurve x values do not rise from 0 to 1; the tag is ignored"),
    ({"ProfileToneCurve": [0, 0, 0.5, 0.5, 1]}, ("tone_curve", None),
     "ProfileToneCurve has 5 values, (x, y) pairs of at least 2 points expected; the tag is ignored"),
    ({"ProfileToneCurve": [0, 0, 0.5, 1.5, 1, 1]}, ("tone_curve", None),
     "ProfileToneCurve has y values outside 0 to 1; the tag is ignored"),
    ({"ProfileToneCurve": [0, 0, float("nan"), 0.5, 1, 1]}, ("tone_curve", None),
     "ProfileToneCurve holds NaN; the tag is ignored"),
    ({"DefaultBlackRender": 2}, ("default_black_render", None),
     "DefaultBlackRender is 2, not one of 0, 1; the tag is ignored"),
    ({"ProfileEmbedPolicy": 7}, ("embed_policy", None),
     "ProfileEmbedPolicy is 7, not one of 0, 1, 2, 3; the tag is ignored"),
    ({"CalibrationIlluminant2": 300}, ("illuminant2", 0),
     "CalibrationIlluminant2 is 300, not a light-source code 0 to 255; the tag is ignored"),
    ({"CalibrationIlluminant1": (17, 21)}, ("illuminant1", 0),
     "CalibrationIlluminant1 has 2 values, 1 expected; the tag is ignored"),
    ({"BaselineExposureOffset": Field("SRATIONAL", [(3, 0)])}, ("baseline_exposure_offset", 0.0),
     "BaselineExposureOffset has a zero denominator; the tag is ignored"),
    ({"ProfileName": Field("SHORT", [1, 2])}, ("name", None),
     "ProfileName is of field type SHORT, where text was expected; the tag is ignored"),
]


@pytest.mark.parametrize("tags, kept, text", IGNORED)
def test_impossible_profile_tags_are_ignored_with_a_warning(tmp_path, tags, kept, text):
    path = tmp_path / "p.dcp"
    write_dcp(path, **minimal(**tags))
    with pytest.warns(DngTagWarning) as caught:
        profile = read_profile(path)
    assert [str(w.message) for w in caught] == [f"{path}: {text}"]
    assert getattr(profile, kept[0]) == kept[1]


def test_impossible_table_encoding_is_ignored_once_for_both_maps(tmp_path):
    path = tmp_path / "p.dcp"
    write_dcp(path, **minimal(ProfileHueSatMapEncoding=2, ProfileHueSatMapData2=np.tile(np.float32([0, 1, 1]), 4)))
    with pytest.warns(DngTagWarning) as caught:
        profile = read_profile(path)
    assert [str(w.message) for w in caught] == [f"{path}: ProfileHueSatMapEncoding is 2, not one of 0, 1; the tag is "
                                                "ignored"]
    assert profile.hue_sat_map1.encoding == profile.hue_sat_map2.encoding == 0


REFUSED = [
    ({"ProfileHueSatMapData1": np.ones(11)},
     "ProfileHueSatMapData1: has 11 values, ProfileHueSatMapDims 2 x 2 x 1 needs 12 (3 per point)"),
    ({"ProfileHueSatMapDims": None}, "ProfileHueSatMapData1: is present but ProfileHueSatMapDims is missing"),
    ({"ProfileHueSatMapDims": (0, 2, 1)}, "ProfileHueSatMapDims: must be 3 whole numbers of at least 1 (hue, "
                                          "saturation, value divisions), found 0, 2, 1"),
    ({"ProfileHueSatMapDims": (2, 6)}, "ProfileHueSatMapDims: must be 3 whole numbers of at least 1 (hue, "
                                       "saturation, value divisions), found 2, 6"),
    ({"ProfileHueSatMapData2": [0, 1, 1] * 3 + [float("nan"), 1, 1]}, "ProfileHueSatMapData2: holds NaN"),
    ({"ProfileLookTableData": np.ones(6)}, "ProfileLookTableData: is present but ProfileLookTableDims is missing"),
    ({"ProfileLookTableData": np.ones(6), "ProfileLookTableDims": (1, 1, 1)},
     "ProfileLookTableData: has 6 values, ProfileLookTableDims 1 x 1 x 1 needs 3 (3 per point)"),
    ({"ColorMatrix1": None}, "ColorMatrix1: is missing; a camera profile needs it"),
    ({"ColorMatrix1": np.ones(7)}, "ColorMatrix1: has 7 values, a multiple of 3 from 3 to 12 expected"),
    ({"ColorMatrix1": np.ones(15)}, "ColorMatrix1: has 15 values, a multiple of 3 from 3 to 12 expected"),
]


@pytest.mark.parametrize("tags, reason", REFUSED)
def test_unusable_profiles_are_refused(tmp_path, tags, reason):
    path = tmp_path / "p.dcp"
    write_dcp(path, **minimal(**tags))
    with pytest.raises(RawFileError) as e:
        read_profile(path)
    assert (e.value.name, e.value.reason, e.value.not_raw) == (str(path), reason, False)


def test_profile_with_an_unusable_colour_matrix_is_refused_after_its_warning(tmp_path):
    path = tmp_path / "p.dcp"
    write_dcp(path, **minimal(ColorMatrix1=np.zeros(9)))
    with pytest.warns(DngTagWarning, match="ColorMatrix1 is all zeros"), pytest.raises(RawFileError) as e:
        read_profile(path)
    assert e.value.reason == "ColorMatrix1: a camera profile needs a usable ColorMatrix1"


def test_table_whose_value_lies_past_the_end_of_the_file_is_refused(tmp_path):
    path = tmp_path / "p.dcp"
    write_dcp(path, **minimal())
    data = bytearray(path.read_bytes())
    # Point the entry of ProfileHueSatMapData1 (50938) at more values than the file holds.
    ifd = struct.unpack_from("<I", data, 4)[0]
    for i in range(struct.unpack_from("<H", data, ifd)[0]):
        at = ifd + 2 + 12 * i
        if struct.unpack_from("<H", data, at)[0] == 50938:
            struct.pack_into("<I", data, at + 4, 1000)
            offset = struct.unpack_from("<I", data, at + 8)[0]
    path.write_bytes(bytes(data))
    with pytest.raises(RawFileError) as e:
        read_profile(path)
    assert e.value.reason == (f"ProfileHueSatMapData1: its 4000 bytes at offset {offset} run past the end of the "
                              f"file ({len(data)} bytes)")


@pytest.mark.parametrize("content, reason", [
    (b"II*\x00\x08\x00\x00\x00" + bytes(8), "not a DCP camera profile: magic number 0x002a where a profile has 0x4352"),
    (b"a text file, not a profile\n",
     "not a TIFF-based file: it starts with b'a te', where a DNG or DCP file starts with II or MM"),
])
def test_files_that_are_no_profile_are_refused_as_such(tmp_path, content, reason):
    path = tmp_path / "p.dcp"
    path.write_bytes(content)
    with pytest.raises(RawFileError) as e:
        read_profile(path)
    assert (e.value.reason, e.value.not_raw) == (reason, True)
