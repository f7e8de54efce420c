"""EXIF and XMP carried from a raw file into the developed image, read and
serialised by pyexiv2 (the exiv2 library): what describes the photograph
(camera, lens, exposure, dates, GPS) is kept; what described the raw file's
own pixels (sizes, mosaic, colour matrices, thumbnails, maker notes) is not,
Orientation becomes 1 since the pixels are already turned, and Software
names pyxa."""

from __future__ import annotations

import contextlib
import os
import struct
import threading
import warnings
from collections.abc import Iterator
from dataclasses import dataclass
from typing import Any

__all__ = ["ImageMetadata", "read_metadata"]

# Tags of the first IFD that describe the photograph rather than the file.
_IMAGE_KEPT = {"Make", "Model", "DateTime", "Artist", "Copyright", "ImageDescription"}
# TIFF/EP tags a raw file may hold in its first IFD, and where EXIF keeps them.
_TIFF_EP = {
    "Exif.Image.ExposureTime": "Exif.Photo.ExposureTime",
    "Exif.Image.FNumber": "Exif.Photo.FNumber",
    "Exif.Image.ISOSpeedRatings": "Exif.Photo.ISOSpeedRatings",
    "Exif.Image.DateTimeOriginal": "Exif.Photo.DateTimeOriginal",
    "Exif.Image.FocalLength": "Exif.Photo.FocalLength",
    "Exif.Image.ExposureProgram": "Exif.Photo.ExposureProgram",
    "Exif.Image.Flash": "Exif.Photo.Flash",
    "Exif.Image.MeteringMode": "Exif.Photo.MeteringMode",
    "Exif.Image.ExposureBiasValue": "Exif.Photo.ExposureBiasValue",
    "Exif.Image.CameraSerialNumber": "Exif.Photo.BodySerialNumber",
}
# EXIF tags about the stored pixels or pointing at data that stays behind.
_PHOTO_DROPPED = {"MakerNote", "PixelXDimension", "PixelYDimension", "InteroperabilityTag", "ColorSpace",
                  "ComponentsConfiguration", "CompressedBitsPerPixel"}
# XMP of a raw file can hold rendering settings for that raw file, which do
# not describe the developed image.
_XMP_DROPPED_PREFIXES = ("Xmp.crs.", "Xmp.crss.", "Xmp.tiff.ImageWidth", "Xmp.tiff.ImageLength",
                         "Xmp.exif.PixelXDimension", "Xmp.exif.PixelYDimension")


@dataclass(frozen=True)
class ImageMetadata:
    """What the writers put into a developed image besides its pixels.

    ``exif`` maps exiv2 keys ("Exif.Photo.FNumber") to their values as text;
    ``xmp`` is an XMP packet or None. ``exif_block`` serialises the EXIF
    as the TIFF structure containers embed."""

    exif: dict[str, str]
    xmp: str | None = None

    def exif_block(self, width: int, height: int, srgb: bool) -> bytes:
        """The EXIF as a TIFF structure ("II*\\0..."), with the image's size
        and EXIF colour space (1 for sRGB, else "uncalibrated")."""
        with _exiv2() as pyexiv2, pyexiv2.ImageData(_carrier_jpeg()) as carrier:
            carrier.modify_exif(self.exif_for(width, height, srgb))
            jpeg = carrier.get_bytes()
        return _exif_segment(jpeg)

    def exif_for(self, width: int, height: int, srgb: bool) -> dict[str, str]:
        """The EXIF keys with the written image's own size and colour space."""
        tags = dict(self.exif)
        tags.update({"Exif.Photo.PixelXDimension": str(width), "Exif.Photo.PixelYDimension": str(height),
                     "Exif.Photo.ColorSpace": "1" if srgb else "65535"})
        return tags


# exiv2 keeps process-wide state (its XMP toolkit, the log level), and the
# command line encodes two images at once while it reads the next file's
# metadata: one caller at a time.
_EXIV2_LOCK = threading.Lock()


@contextlib.contextmanager
def _exiv2() -> Iterator[Any]:
    """The pyexiv2 module, held by this thread alone while in use."""
    try:
        import pyexiv2
    except ImportError:
        raise ImportError("copying EXIF and XMP needs pyexiv2: pip install 'pyxa[raw]'") from None
    with _EXIV2_LOCK:
        pyexiv2.set_log_level(4)  # exiv2 would print warnings about unknown maker tags
        yield pyexiv2


def _software() -> str:
    from .. import __version__

    return "pyxa " + __version__


def read_metadata(source: str | os.PathLike[str]) -> ImageMetadata | None:
    """The metadata of the raw file ``source`` to copy into its developed
    image, or None with a warning when its metadata cannot be read."""
    path = os.fspath(source)
    with _exiv2() as pyexiv2:
        try:
            with pyexiv2.Image(path) as image:
                exif = image.read_exif()
                xmp = image.read_raw_xmp() or None
        except (RuntimeError, UnicodeDecodeError) as e:
            warnings.warn(f"{path}: its EXIF/XMP cannot be read ({e}); the image is written without them",
                          stacklevel=2)
            return None
        return ImageMetadata(_kept_exif(exif), _kept_xmp(pyexiv2, xmp) if xmp else None)


def _kept_exif(exif: dict[str, str]) -> dict[str, str]:
    kept: dict[str, str] = {}
    for key, value in exif.items():
        if not isinstance(value, str) or not value.strip():
            continue  # an empty date or name is a placeholder, not a value
        group, _, name = key.partition(".")[2].partition(".")
        if (group == "Image" and name in _IMAGE_KEPT) or group == "GPSInfo" or (
                group == "Photo" and name not in _PHOTO_DROPPED):
            kept[key] = value
    for ep, photo in _TIFF_EP.items():
        if ep in exif and photo not in kept and str(exif[ep]).strip():
            kept[photo] = exif[ep]
    kept["Exif.Image.Orientation"] = "1"
    kept["Exif.Image.Software"] = _software()
    return kept


def _kept_xmp(pyexiv2: Any, packet: str) -> str | None:
    with pyexiv2.ImageData(_carrier_jpeg()) as carrier:
        carrier.modify_raw_xmp(packet)
        keys = carrier.read_xmp()
        dropped = {k: None for k in keys if k.startswith(_XMP_DROPPED_PREFIXES)}
        changes: dict[str, str | None] = {**dropped, "Xmp.xmp.CreatorTool": _software()}
        if "Xmp.tiff.Orientation" in keys:
            changes["Xmp.tiff.Orientation"] = "1"
        carrier.modify_xmp(changes)
        text: str = carrier.read_raw_xmp()
    return text or None


_CARRIER: bytes | None = None


def _carrier_jpeg() -> bytes:
    """A tiny JPEG for exiv2 to write into: it serialises EXIF and XMP into an
    image, never on its own, and a JPEG is the cheapest image to rewrite."""
    global _CARRIER
    if _CARRIER is None:
        import imagecodecs
        import numpy as np

        _CARRIER = bytes(imagecodecs.jpeg8_encode(np.zeros((8, 8, 3), np.uint8)))
    return _CARRIER


def _exif_segment(jpeg: bytes) -> bytes:
    pos = 2
    while pos + 4 <= len(jpeg) and jpeg[pos] == 0xFF:
        marker, length = struct.unpack(">HH", jpeg[pos:pos + 4])
        if marker == 0xFFE1 and jpeg[pos + 4:pos + 10] == b"Exif\0\0":
            return jpeg[pos + 10:pos + 2 + length]
        if marker == 0xFFDA:
            break
        pos += 2 + length
    raise ValueError("exiv2 wrote no EXIF segment")


