"""Reading camera raw files (through rawpy) into a small record holding what
the development graph needs: the visible Bayer mosaic, its CFA order, black
and white levels, white balances, the camera-to-sRGB matrix and the
orientation."""

from __future__ import annotations

import os
import warnings
from collections.abc import Sequence
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, BinaryIO, Union

import numpy as np
import numpy.typing as npt

from ._types import PathLike
from ._white_balance import positive_gains, relative_to_green

if TYPE_CHECKING:  # an optional dependency, imported where a file is read
    import rawpy

__all__ = ["CFA_ORDERS", "XYZ_FROM_SRGB", "RawFileError", "RawImage", "Source", "camera_to_srgb", "read_raw"]

# The 2x2 cells of a Bayer mosaic, named from the top-left pixel, row-major.
CFA_ORDERS = ("RGGB", "GRBG", "GBRG", "BGGR")

# Linear sRGB (D65) -> CIE XYZ, the primaries every camera matrix is taken to.
XYZ_FROM_SRGB = np.array([[0.412453, 0.357580, 0.180423],
                          [0.212671, 0.715160, 0.072169],
                          [0.019334, 0.119193, 0.950227]])

# The decoder's flip code (bit 0 mirror left-right, bit 1 mirror top-bottom,
# bit 2 transpose first) as the TIFF/EXIF orientation value the engine takes.
ORIENTATION_OF_FLIP = {0: 1, 1: 2, 2: 4, 3: 3, 4: 5, 5: 8, 6: 6, 7: 7}

Source = Union[PathLike, BinaryIO]


class RawFileError(Exception):
    """A raw file that cannot be developed; the message names the file and the reason.

    ``not_raw`` is true when the file is no camera raw file at all (a text
    file or a JPEG, say) rather than a raw file that is broken or unsupported."""

    def __init__(self, name: str, reason: str, *, not_raw: bool = False):
        super().__init__(f"{name}: {reason}")
        self.name = name
        self.reason = reason
        self.not_raw = not_raw


class _DecoderBuffer:
    """The decoder a RawImage keeps open and the mosaic view into its memory.

    ``close`` lets go of the view before it releases the decoder, so the
    record can never hand out a view of memory that has been freed."""

    __slots__ = ("decoder", "mosaic")

    def __init__(self, decoder: rawpy.RawPy, mosaic: npt.NDArray[np.uint16]) -> None:
        self.decoder: rawpy.RawPy | None = decoder
        self.mosaic: npt.NDArray[np.uint16] | None = mosaic

    def close(self) -> None:
        decoder, self.decoder, self.mosaic = self.decoder, None, None
        if decoder is not None:
            decoder.close()


@dataclass(frozen=True, eq=False)
class RawImage:
    """What ``read_raw`` found in a raw file.

    mosaic : (H, W) uint16 visible sensor area; a view into the decoder's
        memory, not a copy (the record keeps the decoder open).
    cfa : "RGGB", "GRBG", "GBRG" or "BGGR", from the top-left visible pixel.
    black : black level of each site of the 2x2 cell, row-major.
    white : white (saturation) level.
    wb_camera, wb_daylight : as-shot and daylight gains (red, green, blue),
        scaled so green is 1.
    matrix : 3x3 camera RGB -> linear sRGB, rows summing to 1.
    matrix_source : "rgb_xyz_matrix", "color_matrix" or "identity".
    orientation : TIFF/EXIF orientation 1-8 that makes the image upright.
    xyz_to_camera : the decoder's 3x3 XYZ -> camera matrix (daylight), when
        it has one: what a camera profile is made from when no DCP is given.

    ``close()`` (or the end of a ``with read_raw(path) as raw:`` block)
    releases the decoder and its memory; closing twice does nothing. The
    metadata stays readable, but ``mosaic`` then raises ``ValueError``, and
    an array taken from ``mosaic`` earlier must not be used after the close:
    it points into the memory just released. Copy it first to keep the pixels.
    """

    name: str
    cfa: str
    black: tuple[float, float, float, float]
    white: float
    wb_camera: tuple[float, float, float]
    wb_daylight: tuple[float, float, float]
    matrix: npt.NDArray[np.float64]
    matrix_source: str
    orientation: int
    _buffer: _DecoderBuffer = field(repr=False)
    xyz_to_camera: npt.NDArray[np.float64] | None = None

    @property
    def mosaic(self) -> npt.NDArray[np.uint16]:
        """The visible sensor area, a view into the decoder's memory (while open)."""
        mosaic = self._buffer.mosaic
        if mosaic is None:
            raise ValueError(f"{self.name}: the raw file is closed; raw.mosaic is a view into the decoder's "
                             "memory, so use it (or copy it) before close() or the end of the with block")
        return mosaic

    @property
    def closed(self) -> bool:
        """True once ``close`` has released the decoder."""
        return self._buffer.mosaic is None

    def close(self) -> None:
        """Releases the decoder and the memory ``mosaic`` views; safe to call again."""
        self._buffer.close()

    def __enter__(self) -> RawImage:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

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


def _file_gains(values: Sequence[float]) -> tuple[float, float, float] | None:
    # The decoder lists four gains (the second green last); a white balance
    # the file lacks or garbles reads as None, for the other one to stand in.
    gains = positive_gains([float(x) for x in list(values)[:3]])
    return None if gains is None else relative_to_green(gains)


def _cfa_order(pattern: np.ndarray | None, colors: str) -> str | None:
    if pattern is None or np.shape(pattern) != (2, 2):
        return None
    try:
        order = "".join(colors[int(i)] for i in np.asarray(pattern).ravel())
    except IndexError:
        return None
    return order if order in CFA_ORDERS else None


def _matrix(decoder: rawpy.RawPy, name: str) -> tuple[np.ndarray, str]:
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


def _name_of(source: Source) -> str:
    if isinstance(source, (str, os.PathLike)):
        return os.fspath(source)
    return str(getattr(source, "name", "<stream>"))


def _open(source: Source, name: str) -> rawpy.RawPy:
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
        raise RawFileError(name, f"truncated or unreadable ({_decoder_text(e)})") from e
    except rawpy.LibRawFileUnsupportedError as e:
        raise RawFileError(name, f"not a raw file this reader knows ({_decoder_text(e)})", not_raw=True) from e
    except rawpy.LibRawError as e:
        raise RawFileError(name, f"cannot be decoded ({type(e).__name__}: {_decoder_text(e)})") from e
    except OSError as e:
        raise RawFileError(name, e.strerror or str(e)) from e


def _decoder_text(e: Exception) -> str:
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
        raise RawFileError(name, f"cannot be decoded ({type(e).__name__}: {_decoder_text(e)})") from e


def _record(decoder: rawpy.RawPy, name: str) -> RawImage:
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
    site = [float(per_channel[int(c)]) for c in np.asarray(pattern).ravel()]
    black = (site[0], site[1], site[2], site[3])
    white = float(decoder.white_level)
    if not white > max(black):
        raise RawFileError(name, f"white level {white:g} is not above the black level {max(black):g}")
    camera = _file_gains(decoder.camera_whitebalance)
    daylight = _file_gains(decoder.daylight_whitebalance)
    matrix, source = _matrix(decoder, name)
    xyz = np.asarray(decoder.rgb_xyz_matrix, dtype=np.float64)[:3, :3]
    usable_xyz = xyz.shape == (3, 3) and bool(np.any(xyz)) and bool(np.all(np.isfinite(xyz)))
    return RawImage(
        name=name, cfa=cfa, black=black, white=white,
        wb_camera=camera or daylight or (1.0, 1.0, 1.0),
        wb_daylight=daylight or camera or (1.0, 1.0, 1.0),
        matrix=matrix, matrix_source=source,
        orientation=ORIENTATION_OF_FLIP.get(int(decoder.sizes.flip), 1),
        _buffer=_DecoderBuffer(decoder, mosaic),
        xyz_to_camera=xyz.copy() if usable_xyz else None,
    )
