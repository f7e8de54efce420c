"""Reading raw files: DNGs the tests write (every CFA order and orientation)
and the real captures in ../shared/raw, checked against rawpy's own
development under matched settings; every kind of file that is refused."""

import warnings
from pathlib import Path

import numpy as np
import pytest

rawpy = pytest.importorskip("rawpy")
tifffile = pytest.importorskip("tifffile")
pyxa = pytest.importorskip("pyxa")
from pyxa.raw import camera_to_srgb  # noqa: E402
from sample_dng import SAMPLE_XYZ_TO_CAMERA, write_dng  # noqa: E402

SHARED_RAW = Path(__file__).resolve().parents[1] / ".." / "shared" / "raw"
BLACKS = (250.0, 256.0, 262.0, 268.0)  # a different level per site shows the site order


def psnr16(a, b, border=4):
    a = a[border:-border, border:-border].astype(np.float64)
    b = b[border:-border, border:-border].astype(np.float64)
    return 10 * np.log10(65535.0 ** 2 / np.mean((a - b) ** 2))


def rawpy_develop(path, colour="sRGB"):
    """rawpy's development with the settings pyxa.develop matches below;
    colour "raw" keeps the camera's RGB, as pyxa does without a colour matrix."""
    with rawpy.imread(str(path)) as r:
        return r.postprocess(demosaic_algorithm=rawpy.DemosaicAlgorithm.LINEAR, use_camera_wb=True,
                             gamma=(2.4, 12.92), no_auto_bright=True, adjust_maximum_thr=0,
                             highlight_mode=rawpy.HighlightMode.Clip, output_bps=16,
                             output_color=getattr(rawpy.ColorSpace, colour))


def pyxa_matched(source):
    return pyxa.develop(source, demosaic="bilinear", curve=(2.4, 12.92), dtype="uint16")


@pytest.fixture(scope="module")
def mosaic():
    # Smooth colour with some texture, so a wrong site order or turn cannot hide.
    y, x = np.mgrid[0:40, 0:56]
    base = 1100 + 600 * np.sin(x / 7.0) * np.cos(y / 5.0) + 40 * ((x * 7 + y * 13) % 11) + 150 * (x % 2)
    return base.astype(np.uint16)


@pytest.mark.parametrize("cfa", ["RGGB", "GRBG", "GBRG", "BGGR"])
@pytest.mark.parametrize("orientation", range(1, 9))
def test_written_dng_reads_and_develops_like_rawpy(tmp_path, mosaic, cfa, orientation):
    path = tmp_path / "t.dng"
    # One black level for all sites: rawpy scales every site by white minus
    # the lowest black, where the engine takes each site's own black.
    write_dng(path, mosaic, cfa=cfa, black=256, white=4095, as_shot_neutral=(0.45, 1.0, 0.7),
              orientation=orientation)
    raw = pyxa.read_raw(path)
    assert (raw.cfa, raw.black, raw.white, raw.orientation) == (cfa, (256.0,) * 4, 4095.0, orientation)
    assert raw.wb_camera == pytest.approx((1 / 0.45, 1.0, 1 / 0.7), rel=1e-5)
    assert np.array_equal(raw.mosaic, mosaic)
    got, want = pyxa_matched(raw), rawpy_develop(path)
    assert got.shape == want.shape
    assert psnr16(got, want) > 60


def test_read_raw_takes_a_binary_file_object(tmp_path, mosaic):
    path = tmp_path / "t.dng"
    write_dng(path, mosaic, cfa="GBRG", black=BLACKS, white=4095, orientation=3)
    with open(path, "rb") as f:
        raw = pyxa.read_raw(f)
    assert (raw.name, raw.cfa, raw.black, raw.orientation) == (str(path), "GBRG", BLACKS, 3)
    assert np.array_equal(raw.mosaic, mosaic)


def test_camera_matrix_from_xyz_agrees_with_rawpy(tmp_path, mosaic):
    """Files whose matrix rawpy knows from its camera table come with an
    XYZ -> camera matrix only; pyxa derives camera -> sRGB from it. rawpy
    derives the same from a DNG's colour matrix, so the two must agree."""
    path = tmp_path / "t.dng"
    write_dng(path, mosaic, white=4095, xyz_to_camera=SAMPLE_XYZ_TO_CAMERA)
    raw = pyxa.read_raw(path)
    assert raw.matrix_source == "color_matrix"
    assert np.abs(camera_to_srgb(SAMPLE_XYZ_TO_CAMERA) - raw.matrix).max() < 2e-4


def shared_file(name):
    path = SHARED_RAW / name
    if not path.is_file():
        pytest.skip(f"{path} is absent (real captures live in ../shared/raw beside the project)")
    return path


@pytest.mark.parametrize("name, cfa, source, colour", [("colorchart.dng", "RGGB", "color_matrix", "sRGB"),
                                                       ("dc50.kdc", "GRBG", "identity", "raw")])
def test_real_capture_develops_like_rawpy(name, cfa, source, colour):
    """The bar against a real client: at least 60 dB against rawpy's own
    development of the same file, 16-bit, leaving out a 4-pixel border."""
    path = shared_file(name)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        raw = pyxa.read_raw(path)
    assert (raw.cfa, raw.matrix_source) == (cfa, source)
    assert [str(w.message) for w in caught] == (
        [f"{path}: no colour matrix in the file; colours are left in the camera's RGB"] if source == "identity" else [])
    assert psnr16(pyxa_matched(raw), rawpy_develop(path, colour)) > 60


def write_xtrans(path):
    pattern = "GGRGGBGGBGGRBRGRBGGGBGGRGGRGGBRBGBRG"
    tifffile.imwrite(path, np.full((36, 48), 1000, np.uint16), photometric=32803, subfiletype=0, extratags=[
        (50706, 1, 4, (1, 4, 0, 0), True), (50708, 2, 0, "x-trans", True), (33421, 3, 2, (6, 6), True),
        (33422, 1, 36, tuple("RGB".index(c) for c in pattern), True), (50710, 1, 3, (0, 1, 2), True),
        (50717, 4, 1, 4095, True)])


def write_linear(path):
    tifffile.imwrite(path, np.full((36, 48, 3), 1000, np.uint16), photometric=34892, planarconfig="contig",
                     subfiletype=0, extratags=[
        (50706, 1, 4, (1, 4, 0, 0), True), (50708, 2, 0, "linear", True), (50717, 4, 1, 4095, True)])


def write_truncated(path):
    write_dng(path, np.full((64, 64), 1000, np.uint16), white=4095)
    data = path.read_bytes()
    path.write_bytes(data[: len(data) // 2])


@pytest.mark.parametrize("make, reason", [
    (write_xtrans, "not a Bayer mosaic: 6x6 colour filter pattern"),
    (write_linear, "not a Bayer mosaic: the pixels hold several colours each"),
    (write_truncated, "truncated or unreadable"),
    (lambda p: p.write_text("not a raw file\n" * 1000), "not a raw file this reader knows"),
    (lambda p: None, "no such file"),
    (lambda p: p.mkdir(), "is a directory"),
])
def test_refused_files_name_the_file_and_the_reason(tmp_path, make, reason):
    path = tmp_path / "input.dng"
    make(path)
    with pytest.raises(pyxa.RawFileError) as info:
        pyxa.read_raw(path)
    assert str(info.value).startswith(f"{path}: {reason}")


@pytest.fixture
def decoder_closes(monkeypatch):
    """Counts, per decoder rawpy opens, how often it is closed."""
    counts = []
    real_imread = rawpy.imread

    class CountingDecoder:
        def __init__(self, decoder):
            self._decoder = decoder
            counts.append(0)
            self._index = len(counts) - 1

        def __getattr__(self, name):
            return getattr(self._decoder, name)

        def close(self):
            counts[self._index] += 1
            self._decoder.close()

    monkeypatch.setattr(rawpy, "imread", lambda source: CountingDecoder(real_imread(source)))
    return counts


def test_closing_releases_the_decoder_once_and_the_mosaic_with_it(tmp_path, mosaic, decoder_closes):
    path = tmp_path / "t.dng"
    write_dng(path, mosaic, white=4095)
    with pyxa.read_raw(path) as raw:
        assert not raw.closed
        assert np.array_equal(raw.mosaic, mosaic)
    assert raw.closed and decoder_closes == [1]
    raw.close()
    assert decoder_closes == [1]
    assert (raw.cfa, raw.white) == ("RGGB", 4095.0)
    with pytest.raises(ValueError) as info:
        raw.mosaic
    assert str(info.value) == (f"{path}: the raw file is closed; raw.mosaic is a view into the decoder's memory, "
                               "so use it (or copy it) before close() or the end of the with block")


def test_develop_closes_the_file_it_opens_but_not_a_record_it_is_given(tmp_path, mosaic, decoder_closes):
    path = tmp_path / "t.tif"  # a name other than .dng: develop reads it with rawpy, not pyxa.dng
    write_dng(path, mosaic, white=4095)
    pyxa.develop(path)
    assert decoder_closes == [1]
    raw = pyxa.read_raw(path)
    pyxa.develop(raw)
    assert decoder_closes == [1, 0] and not raw.closed
