"""Reading camera raw files (through rawpy, which wraps LibRaw) into a small
record holding what the development graph needs: the visible Bayer mosaic,
its CFA order, black and white levels, white balances, the camera-to-sRGB
matrix and the orientation."""

from __future__ import annotations

import os
import warnings
from dataclasses import dataclass, field
from typing import Any, BinaryIO, Union

import numpy as np

__all__ = ["RawFileError", "RawImage", "read_raw", "camera_to_srgb"]

# Linear sRGB (D65) -> CIE XYZ, the primaries every camera matrix is taken to.
XYZ_FROM_SRGB = np.array([[0.412453, 0.357580, 0.180423],
                          [0.212671, 0.715160, 0.072169],
                          [0.019334, 0.119193, 0.950227]])

# LibRaw's flip code (bit 0 mirror left-right, bit 1 mirror top-bottom, bit 2
# transpose first) as the TIFF/EXIF orientation value the engine takes.
ORIENTATION_OF_FLIP = {0: 1, 1: 2, 2: 4, 3: 3, 4: 5, 5: 8, 6: 6, 7: 7}

Source = Union[str, "os.PathLike[str]", BinaryIO]


class RawFileError(Exception):
    """A raw file that cannot be developed; the message names the file and the reason.

    ``not_raw`` is true when the file is no camera raw file at all (a text
    file or a JPEG, say) rather than a raw file that is broken or unsupported."""

    def __init__(self, name: str, reason: str, *, not_raw: bool = False):
        super().__init__(f"{name}: {reason}")
        self.name = name
        self.reason = reason
        self.not_raw = not_raw


@dataclass(frozen=True, eq=False)
class RawImage:
    """What ``read_raw`` found in a raw file.

    mosaic : (H, W) uint16 visible sensor area; a view into the decoder's
        buffer, not a copy (the record keeps the decoder alive).
    cfa : "RGGB", "GRBG", "GBRG" or "BGGR", from the top-left visible pixel.
    black : black level of each site of the 2x2 cell, row-major.
    white : white (saturation) level.
    wb_camera, wb_daylight : as-shot and daylight gains (red, green, blue),
        scaled so green is 1.
    matrix : 3x3 camera RGB -> linear sRGB, rows summing to 1.
    matrix_source : "rgb_xyz_matrix", "color_matrix" or "identity".
    orientation : TIFF/EXIF orientation 1-8 that makes the image upright.
    """

    name: str
    mosaic: np.ndarray
    cfa: str
    black: tuple[float, float, float, float]
    white: float
    wb_camera: tuple[float, float, float]
    wb_daylight: tuple[float, float, float]
    matrix: np.ndarray
    matrix_source: str
    orientation: int
    _decoder: Any = field(default=None, repr=False)

    def describe(self) -> str:
        """A few lines for people: what ``pyxa info`` prints."""
        h, w = self.mosaic.shape
        m = np.array2string(self.matrix, precision=4, suppress_small=True, separator=", ")
        return "\n".join([
            f"file         {self.name}",
            f"mosaic       {w} x {h} {self.mosaic.dtype}, CFA {self.cfa}",
            f"black        {', '.join(f'{b:g}' for b in self.black)}",
            f"white        {self.white:g}",
            f"wb camera    {', '.join(f'{g:.4f}' for g in self.wb_camera)}",
            f"wb daylight  {', '.join(f'{g:.4f}' for g in self.wb_daylight)}",
            f"matrix       from {self.matrix_source}: {' '.join(m.split())}",
            f"orientation  {self.orientation}",
        ])


def camera_to_srgb(xyz_to_camera: np.ndarray) -> np.ndarray:
    """Camera RGB -> linear sRGB from an XYZ -> camera matrix.

    The camera matrix is taken to sRGB primaries, each row is scaled to sum to
    1 (so the camera's own white maps to sRGB white, leaving the white balance
    to do the rest) and the result is inverted."""
    cam_from_srgb = np.asarray(xyz_to_camera, dtype=np.float64)[:3, :3] @ XYZ_FROM_SRGB
    cam_from_srgb = cam_from_srgb / cam_from_srgb.sum(axis=1, keepdims=True)
    return np.linalg.inv(cam_from_srgb)


def _gains(values: Any) -> tuple[float, float, float] | None:
    v = [float(x) for x in list(values)[:3]]
    if len(v) < 3 or not all(np.isfinite(v)) or min(v) <= 0:
        return None
    return (v[0] / v[1], 1.0, v[2] / v[1])


def _cfa_order(pattern: np.ndarray | None, colors: str) -> str | None:
    if pattern is None or np.shape(pattern) != (2, 2):
        return None
    try:
        order = "".join(colors[int(i)] for i in np.asarray(pattern).ravel())
    except IndexError:
        return None
    return order if order in ("RGGB", "GRBG", "GBRG", "BGGR") else None


def _matrix(decoder: Any, name: str) -> tuple[np.ndarray, str]:
    xyz = np.asarray(decoder.rgb_xyz_matrix, dtype=np.float64)
    if xyz.shape[0] >= 3 and np.any(xyz[:3]):
        m = camera_to_srgb(xyz[:3])
        if np.all(np.isfinite(m)):
            return m, "rgb_xyz_matrix"
    rgb_cam = np.asarray(decoder.color_matrix, dtype=np.float64)
    if rgb_cam.shape[0] == 3 and np.any(rgb_cam[:, :3]) and np.all(np.isfinite(rgb_cam)):
        return rgb_cam[:, :3].copy(), "color_matrix"
    warnings.warn(f"{name}: no colour matrix in the file; colours are left in the camera's RGB", stacklevel=4)
    return np.eye(3), "identity"


def _name_of(source: Any) -> str:
    if isinstance(source, (str, os.PathLike)):
        return os.fspath(source)
    return str(getattr(source, "name", "<stream>"))


def _open(source: Any, name: str) -> Any:
    try:
        import rawpy
    except ImportError:
        raise ImportError("reading raw files needs rawpy: pip install 'pyxa[raw]'") from None
    if isinstance(source, (str, os.PathLike)):
        if not os.path.exists(source):
            raise RawFileError(name, "no such file")
        if os.path.isdir(source):
            raise RawFileError(name, "is a directory, not a raw file")
    try:
        decoder = rawpy.imread(source if not isinstance(source, os.PathLike) else os.fspath(source))
        # Decode now, so that a truncated file fails here with its reason
        # rather than on the first read of the pixels.
        decoder.unpack()
        return decoder
    except rawpy.LibRawIOError as e:
        raise RawFileError(name, f"truncated or unreadable ({_libraw_text(e)})") from e
    except rawpy.LibRawFileUnsupportedError as e:
        raise RawFileError(name, f"not a raw file this reader knows ({_libraw_text(e)})", not_raw=True) from e
    except rawpy.LibRawError as e:
        raise RawFileError(name, f"cannot be decoded ({type(e).__name__}: {_libraw_text(e)})") from e
    except OSError as e:
        raise RawFileError(name, e.strerror or str(e)) from e


def _libraw_text(e: Exception) -> str:
    text = e.args[0] if e.args else str(e)
    return text.decode(errors="replace") if isinstance(text, bytes) else str(text)


def read_raw(source: Source) -> RawImage:
    """Reads a camera raw file (a path or a binary file object) with rawpy.

    Only Bayer sensors are developed: X-Trans, Foveon, and DNGs whose pixels
    are already demosaiced ("linear" DNGs) raise ``RawFileError``, as do
    missing, truncated and unreadable files; the message names the file and
    the reason.

    >>> raw = pyxa.read_raw("photo.dng")            # doctest: +SKIP
    >>> raw.cfa, raw.black, raw.white, raw.orientation  # doctest: +SKIP
    ('RGGB', (2056.0, 2056.0, 2056.0, 2056.0), 15000.0, 1)
    """
    name = _name_of(source)
    decoder = _open(source, name)
    try:
        return _record(decoder, name)
    except RawFileError:
        decoder.close()
        raise
    except Exception as e:  # rawpy raises its own errors from property reads too
        decoder.close()
        raise RawFileError(name, f"cannot be decoded ({type(e).__name__}: {_libraw_text(e)})") from e


def _record(decoder: Any, name: str) -> RawImage:
    import rawpy

    if decoder.raw_type != rawpy.RawType.Flat:
        raise RawFileError(name, "not a Bayer mosaic: the pixels hold several colours each "
                                 "(a linear DNG or a Foveon-type sensor)")
    colors = decoder.color_desc.decode(errors="replace")
    pattern = decoder.raw_pattern
    cfa = _cfa_order(pattern, colors)
    if cfa is None:
        shape = "x".join(str(n) for n in np.shape(pattern)) if pattern is not None else "no"
        raise RawFileError(name, f"not a Bayer mosaic: {shape} colour filter pattern of colours {colors} "
                                 "(X-Trans and other layouts are not supported)")
    mosaic = decoder.raw_image_visible
    if mosaic.ndim != 2 or mosaic.size == 0:
        raise RawFileError(name, f"no visible image (raw area {mosaic.shape})")
    per_channel = list(decoder.black_level_per_channel)
    black = tuple(float(per_channel[int(c)]) for c in np.asarray(pattern).ravel())
    white = float(decoder.white_level)
    if not white > max(black):
        raise RawFileError(name, f"white level {white:g} is not above the black level {max(black):g}")
    camera = _gains(decoder.camera_whitebalance)
    daylight = _gains(decoder.daylight_whitebalance)
    matrix, source = _matrix(decoder, name)
    return RawImage(
        name=name, mosaic=mosaic, cfa=cfa, black=black, white=white,  # type: ignore[arg-type]
        wb_camera=camera or daylight or (1.0, 1.0, 1.0),
        wb_daylight=daylight or camera or (1.0, 1.0, 1.0),
        matrix=matrix, matrix_source=source,
        orientation=ORIENTATION_OF_FLIP.get(int(decoder.sizes.flip), 1),
        _decoder=decoder,
    )
