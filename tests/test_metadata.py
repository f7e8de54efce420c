"""EXIF and XMP carried from a real raw file into developed images: what the
metadata library reads in the raw is what Pillow finds in every written
format, Orientation is 1, Software names pyxa, the raw file's own tags
stay behind, and nothing is written without metadata."""

import io
import shutil
import struct
from pathlib import Path

import numpy as np
import pytest

pyexiv2 = pytest.importorskip("pyexiv2")
Image = pytest.importorskip("PIL.Image")
pytest.importorskip("rawpy")
imagecodecs = pytest.importorskip("imagecodecs")
pyxa = pytest.importorskip("pyxa")
from pyxa.output import read_metadata  # noqa: E402

RAW = Path(__file__).resolve().parents[1] / ".." / "shared" / "raw"
CHART = RAW / "colorchart.dng"
needs_chart = pytest.mark.skipif(not CHART.exists(), reason=f"{CHART} is absent (real camera files live outside the repository)")

EXIF_IFD, GPS_IFD = 0x8769, 0x8825
MAKE, MODEL, ORIENTATION, SOFTWARE, DATETIME = 0x010F, 0x0110, 0x0112, 0x0131, 0x0132
EXPOSURE_TIME, F_NUMBER, ISO, DATE_ORIGINAL, FOCAL_LENGTH = 0x829A, 0x829D, 0x8827, 0x9003, 0x920A
LENS_MODEL, PIXEL_X, COLOR_SPACE = 0xA434, 0xA002, 0xA001
GPS_LATITUDE_REF, GPS_LATITUDE = 1, 2


def exif_of(path):
    """The first directory, EXIF and GPS tags Pillow finds in a written file
    (for JPEG XL, in its Exif box)."""
    if path.suffix == ".jxl":
        data, pos = path.read_bytes(), 0
        while data[pos + 4:pos + 8] != b"Exif":
            pos += struct.unpack(">I", data[pos:pos + 4])[0]
        exif = Image.Exif()
        exif.load(data[pos + 12:pos + struct.unpack(">I", data[pos:pos + 4])[0]])
        return dict(exif), dict(exif.get_ifd(EXIF_IFD)), dict(exif.get_ifd(GPS_IFD))
    with Image.open(path) as im:
        exif = im.getexif()
        return dict(exif), dict(exif.get_ifd(EXIF_IFD)), dict(exif.get_ifd(GPS_IFD))


@pytest.fixture(scope="module")
def chart_rgb():
    if not CHART.exists():
        pytest.skip(f"{CHART} is absent")
    # The chart's BaselineExposure is 0/0: its warning is the reader's own test.
    with pytest.warns(pyxa.dng.DngTagWarning, match="BaselineExposure"):
        return pyxa.develop(str(CHART), dtype="uint8")


@needs_chart
def test_the_chart_keeps_its_camera_in_a_developed_jpeg(tmp_path, chart_rgb):
    with pyexiv2.Image(str(CHART)) as raw:
        want = raw.read_exif()
    path = pyxa.write_image(tmp_path / "chart.jpg", chart_rgb, metadata=read_metadata(CHART), space="display-p3")
    with Image.open(path) as im:
        assert im.info["icc_profile"] == pyxa.output.icc_profile("display-p3")
    exif, photo, _ = exif_of(Path(path))
    assert (exif[MAKE], exif[MODEL]) == (want["Exif.Image.Make"], want["Exif.Image.Model"])
    assert "%d/%d" % (photo[EXPOSURE_TIME].numerator, photo[EXPOSURE_TIME].denominator) == \
        want["Exif.Photo.ExposureTime"]
    assert str(photo[ISO]) == want["Exif.Photo.ISOSpeedRatings"]
    assert exif[ORIENTATION] == 1 and exif[SOFTWARE] == f"pyxa {pyxa.__version__}"
    assert photo[PIXEL_X] == chart_rgb.shape[1] and photo[COLOR_SPACE] == 0xFFFF  # "uncalibrated": not sRGB


def test_raw_tags_that_describe_the_raw_file_stay_behind(tmp_path):
    """A DNG's first directory holds its mosaic layout and colour matrices;
    copied, they would describe pixels that are not in the image."""
    if not CHART.exists():
        pytest.skip(f"{CHART} is absent")
    meta = read_metadata(CHART)
    kept = {k.split(".")[-1] for k in meta.exif}
    assert not kept & {"ColorMatrix1", "AsShotNeutral", "CFAPattern", "BlackLevel", "ActiveArea", "StripOffsets",
                       "ImageWidth", "DNGVersion", "DateTime", "Artist"}  # the chart's date and artist are empty


@pytest.fixture(scope="module")
def tagged_raw(tmp_path_factory):
    """The chart with the lens, dates, GPS, a turned orientation and XMP a
    camera and a cataloguing program would add (written into a copy)."""
    if not CHART.exists():
        pytest.skip(f"{CHART} is absent")
    path = tmp_path_factory.mktemp("raw") / "tagged.dng"
    shutil.copyfile(CHART, path)
    path.chmod(0o644)
    with pyexiv2.Image(str(path)) as raw:
        raw.modify_exif({"Exif.Image.Orientation": "6", "Exif.Photo.LensModel": "EF-S18-55mm f/3.5-5.6 IS",
                         "Exif.Photo.DateTimeOriginal": "2011:05:14 10:21:07", "Exif.Image.DateTime": "2011:05:14 10:21:07",
                         "Exif.Photo.FNumber": "56/10", "Exif.Photo.FocalLength": "35/1",
                         "Exif.GPSInfo.GPSLatitudeRef": "N", "Exif.GPSInfo.GPSLatitude": "48/1 51/1 2964/100"})
        raw.modify_xmp({"Xmp.dc.creator": ["Ada"], "Xmp.tiff.Orientation": "6", "Xmp.crs.Exposure2012": "+0.50"})
    return path


@pytest.mark.parametrize("suffix", [".jpg", ".png", ".tif", ".webp", ".avif", ".jxl"])
def test_every_format_carries_the_photographs_exif(tmp_path, tagged_raw, chart_rgb, suffix):
    path = pyxa.write_image(tmp_path / ("x" + suffix), chart_rgb[:64, :96], metadata=read_metadata(tagged_raw))
    exif, photo, gps = exif_of(Path(path))
    assert (exif[MAKE], exif[ORIENTATION], exif[DATETIME]) == ("Canon", 1, "2011:05:14 10:21:07")
    assert (photo[LENS_MODEL], photo[DATE_ORIGINAL]) == ("EF-S18-55mm f/3.5-5.6 IS", "2011:05:14 10:21:07")
    assert (float(photo[F_NUMBER]), float(photo[FOCAL_LENGTH])) == (5.6, 35.0)
    assert gps[GPS_LATITUDE_REF] == "N" and [float(v) for v in gps[GPS_LATITUDE]] == [48.0, 51.0, 29.64]
    assert photo[PIXEL_X] == 96 and photo[COLOR_SPACE] == 1
    # The boxes and chunks added around the image data left it decodable.
    if suffix == ".jxl":
        back = imagecodecs.jpegxl_decode(Path(path).read_bytes())
    else:
        with Image.open(path) as im:
            back = np.asarray(im.convert("RGB"))
    error = back.astype(np.float64) - chart_rgb[:64, :96]
    assert 10 * np.log10(255 ** 2 / max(np.mean(error ** 2), 1e-12)) > 30


@pytest.mark.parametrize("suffix", [".jpg", ".png", ".tif", ".webp"])
def test_xmp_keeps_the_description_and_drops_raw_settings(tmp_path, tagged_raw, chart_rgb, suffix):
    path = pyxa.write_image(tmp_path / ("x" + suffix), chart_rgb[:32, :32], metadata=read_metadata(tagged_raw))
    with Image.open(path) as im:
        xmp = im.info["xmp"]
    xmp = xmp.decode() if isinstance(xmp, bytes) else xmp
    assert "Ada" in xmp and "crs:" not in xmp and "Exposure2012" not in xmp
    assert 'tiff:Orientation="1"' in xmp or "<tiff:Orientation>1</tiff:Orientation>" in xmp


def test_a_bigtiff_keeps_its_camera_tags_and_says_what_it_leaves_out(tmp_path, tagged_raw, chart_rgb, monkeypatch):
    # Images over 4 GiB are BigTIFF, whose 64-bit offsets the EXIF directories
    # are not linked with: the image is still written, its first-directory tags kept.
    tifffile = pytest.importorskip("tifffile")
    monkeypatch.setattr(pyxa.output.encode, "BIGTIFF_FROM", 1)
    with pytest.warns(UserWarning, match=r"^the EXIF and GPS directories are not written into a BigTIFF"):
        path = pyxa.write_image(tmp_path / "x.tif", chart_rgb[:16, :24], metadata=read_metadata(tagged_raw))
    with tifffile.TiffFile(path) as tif:
        assert tif.is_bigtiff and tif.pages[0].tags["Make"].value == "Canon"
        assert np.array_equal(tif.pages[0].asarray(), chart_rgb[:16, :24])


@pytest.mark.parametrize("suffix", [".jpg", ".png", ".tif", ".webp", ".avif"])
def test_without_metadata_only_the_profile_is_written(tmp_path, suffix):
    path = pyxa.write_image(tmp_path / ("x" + suffix), np.full((8, 8, 3), 90, np.uint8))
    exif, photo, gps = exif_of(Path(path))
    assert not photo and not gps and not {MAKE, SOFTWARE, EXIF_IFD} & set(exif)
    with Image.open(path) as im:
        assert "xmp" not in im.info and 700 not in exif


def test_unreadable_metadata_warns_and_writes_without(tmp_path):
    broken = tmp_path / "broken.dng"
    broken.write_bytes(b"II*\0" + b"\xff" * 64)
    with pytest.warns(UserWarning, match=r"broken\.dng: its EXIF/XMP cannot be read"):
        assert read_metadata(broken) is None
