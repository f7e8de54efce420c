"""The pyxa command's DNG options: --look, --space, --dcp, --wb with a
temperature and --ignore-unknown-opcodes reach the development (the written
image is develop()'s with the same choices, with the ICC profile of its
space); refused white settings; and `pyxa info` on DNGs: the profile and
opcode lists of a written file, the cut-off iPhone file read without its
pixels, and several files with one that fails."""

import io
from pathlib import Path

import numpy as np
import pytest

pytest.importorskip("tifffile")
png = pytest.importorskip("png")
import pyxa  # noqa: E402
from pyxa.cli import main  # noqa: E402
from pyxa.dng.opcode_records import Area, GainMap, Opcode, UnknownOpcode  # noqa: E402
from pyxa.dng.records import CameraProfile, ProfileTable  # noqa: E402

from dng_writer import profile_tags, write_dcp, write_dng  # noqa: E402

SHARED_RAW = Path(__file__).resolve().parents[1] / ".." / "shared" / "raw"
V13 = 0x01030000
RNG = np.random.default_rng(3)
PROFILE = CameraProfile(
    name="cli test", illuminant1=17, illuminant2=21,
    color_matrix1=np.array([[0.8713, -0.2306, -0.0913], [-0.3781, 1.1648, 0.2362], [-0.0517, 0.1644, 0.7089]]),
    color_matrix2=np.array([[0.6461, -0.0907, -0.0882], [-0.43, 1.2184, 0.2378], [-0.0819, 0.1944, 0.5931]]),
    hue_sat_map1=ProfileTable(4, 2, 1, np.tile(np.float32([5.0, 1.1, 1.0]), (1, 4, 2, 1))),
    look_table=ProfileTable(3, 2, 2, np.tile(np.float32([0.0, 1.0, 0.95]), (2, 3, 2, 1)), encoding=1),
    tone_curve=np.array([[0.0, 0.0], [0.5, 0.6], [1.0, 1.0]]))
GAIN_MAP = Opcode(9, V13, 2, 2, GainMap(Area(0, 1, 20, 30, 0, 1, 2, 2), 2, 3, 1.0, 0.5, 0.0, 0.0, 1,
                                        np.float32([1.2, 1.1, 1.0, 0.9, 1.3, 1.0]).reshape(2, 3, 1)))


def read_png(path):
    reader = png.Reader(filename=str(path))
    width, height, rows, info = reader.asDirect()
    dtype = np.uint16 if info["bitdepth"] == 16 else np.uint8
    return np.vstack([np.asarray(r, dtype) for r in rows]).reshape(height, width, 3)


def icc_of(path):
    for kind, data in png.Reader(filename=str(path)).chunks():
        if kind == b"iCCP":
            import zlib
            name_end = data.index(b"\x00")
            return zlib.decompress(data[name_end + 2:])
    return None


@pytest.fixture
def dng(tmp_path):
    path = tmp_path / "in" / "shot.dng"
    path.parent.mkdir()
    write_dng(path, RNG.integers(300, 4000, (24, 34)).astype(np.uint16), BlackLevel=256, WhiteLevel=4095,
              AsShotNeutral=(0.5, 1.0, 0.7), Orientation=6, ActiveArea=(1, 1, 23, 33), OpcodeList2=[GAIN_MAP],
              **profile_tags(PROFILE))
    return path


@pytest.mark.parametrize("argv, kwargs", [
    ([], {}),
    (["--look", "linear"], {"look": "linear"}),
    (["--space", "display-p3", "--bits", "16"], {"space": "display-p3", "dtype": "uint16"}),
    (["--wb", "5200K,+8", "--exposure", "0.5"], {"wb": "5200K,+8", "exposure": 0.5}),
    (["--wb", "D50", "--space", "rec2020"], {"wb": "D50", "space": "rec2020"}),
    (["--dcp", "DCP"], {"dcp": "DCP"}),
])
def test_cli_options_reach_the_development(tmp_path, dng, argv, kwargs):
    dcp = tmp_path / "other.dcp"
    write_dcp(dcp, **profile_tags(CameraProfile(illuminant1=21, color_matrix1=PROFILE.color_matrix2,
                                                tone_curve=np.array([[0.0, 0.0], [1.0, 1.0]]))))
    argv = [str(dcp) if a == "DCP" else a for a in argv]
    kwargs = {k: str(dcp) if v == "DCP" else v for k, v in kwargs.items()}
    out = tmp_path / "out"
    assert main(["develop", str(dng), "-o", str(out), "--quiet", *argv]) == 0
    written = read_png(out / "shot.png")
    assert np.array_equal(written, pyxa.develop(dng, **kwargs))
    assert icc_of(out / "shot.png") == pyxa.output.icc_profile(kwargs.get("space", "srgb"))


def test_unknown_required_opcode_fails_unless_ignored(tmp_path, dng, capsys):
    path = tmp_path / "in" / "strange.dng"
    write_dng(path, RNG.integers(300, 4000, (24, 34)).astype(np.uint16), BlackLevel=256, WhiteLevel=4095,
              OpcodeList3=[Opcode(77, V13, 0, 3, UnknownOpcode(b""))])
    out = tmp_path / "out"
    assert main(["develop", str(path), "-o", str(out), "--quiet"]) == 1
    assert "OpcodeList3: opcode 0 (Unknown(77)): not known to this renderer" in capsys.readouterr().err
    assert main(["develop", str(path), "-o", str(out), "--quiet", "--ignore-unknown-opcodes"]) == 0
    line = capsys.readouterr().out.splitlines()[0]
    assert line.startswith("strange.dng -> ") and "skipped (ignore_unknown_opcodes)" in line


@pytest.mark.parametrize("wb", ["2,1", "warm", "-1,1,1", "0.8,0.5", "5200", "K"])
def test_cli_refuses_a_white_it_cannot_use(tmp_path, wb, capsys):
    with pytest.raises(SystemExit) as info:
        main(["develop", "x.dng", "-o", str(tmp_path), f"--wb={wb}"])
    assert info.value.code == 2
    assert "expected camera, daylight or three positive gains R,G,B, a temperature 5200K or 5200K,+8" in \
        capsys.readouterr().err


def test_cli_names_a_dcp_it_cannot_read(tmp_path, dng, capsys):
    bad = tmp_path / "broken.dcp"
    bad.write_bytes(b"II*\x00" + b"\x00" * 20)
    assert main(["develop", str(dng), "-o", str(tmp_path / "out"), "--quiet", "--dcp", str(bad)]) == 1
    assert f"shot.dng: failed: {bad}: not a DCP camera profile" in capsys.readouterr().err


def test_info_prints_the_profile_and_the_opcode_lists(dng, capsys):
    assert main(["info", str(dng)]) == 0
    lines = capsys.readouterr().out.splitlines()
    for want in ["mosaic       32 x 22 uint16, CFA RGGB",
                 "active area  top 1, left 1, bottom 23, right 33",
                 "orientation  6",
                 "profile      cli test (embedded)",
                 "  illuminants 17 (standard light A), 21 (D65)",
                 "  matrices     ColorMatrix1, ColorMatrix2",
                 "  HueSatMap1   4 hue x 2 saturation x 1 value, linear value axis",
                 "  LookTable    3 hue x 2 saturation x 2 value, sRGB-encoded value axis",
                 "  tone curve   3 points: (0, 0) (0.5, 0.6) (1, 1)",
                 "OpcodeList1  0 opcodes",
                 "OpcodeList2  1 opcode",
                 "  0 GainMap (id 9), stage 2, flags 0x2 (preview-skip), area rows 0-20 cols 1-30 planes 0+1 "
                 "pitch 2x2 -> apply_gain_map_cfa",
                 "OpcodeList3  0 opcodes"]:
        assert want in lines


def test_info_reads_the_cut_off_iphone_file_and_goes_on_after_a_failure(tmp_path, capsys):
    path = SHARED_RAW / "iphone12pro_proraw_metadata.dng"
    if not path.is_file():
        pytest.skip(f"{path} is absent (real captures live in ../shared/raw beside the project)")
    assert main(["info", str(tmp_path / "missing.dng"), str(path)]) == 1
    std = capsys.readouterr()
    assert std.err.strip() == f"error: {tmp_path / 'missing.dng'}: no such file"
    lines = std.out.splitlines()
    for want in ["image        4032 x 3024 uint16, LinearRaw, 3 samples",
                 "linearization 4096 entries",
                 "exposure     BaselineExposure -0.302217",
                 "  illuminants 17 (standard light A), 21 (D65)",
                 "  tone curve   257 points: (0, 0) (0.25, 0.1973) (0.5, 0.5047) (0.75, 0.7862) (1, 1)",
                 "  black render 1 (none)",
                 "gain table   ProfileGainTableMap 6 x 8 points x 257 entries, weights 0.02618, 0.08806, 0.008889, "
                 "0, 0.1231, gamma 1"]:
        assert want in lines
