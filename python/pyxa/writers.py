"""Writing developed images: 8- and 16-bit RGB PNG (pypng, which really stores
16-bit samples) and TIFF (tifffile). Each file is written under a temporary
name and moved into place, so a failed or killed run never leaves a
truncated image under the final name."""

from __future__ import annotations

import contextlib
import os
import tempfile
from collections.abc import Iterator

import numpy as np

from ._types import PathLike

__all__ = ["FORMATS", "write_image"]

FORMATS = {"png": ".png", "tiff": ".tif"}


def _format_of(path: str, fmt: str | None) -> str:
    if fmt is not None:
        if fmt not in FORMATS:
            raise ValueError(f"format must be one of {', '.join(FORMATS)}, got {fmt!r}")
        return fmt
    ext = os.path.splitext(path)[1].lower()
    for name, suffix in FORMATS.items():
        if ext in (suffix, "." + name):
            return name
    raise ValueError(f"{path}: cannot tell the image format from the extension; give format='png' or 'tiff'")


def _check(rgb: np.ndarray) -> None:
    if not isinstance(rgb, np.ndarray) or rgb.ndim != 3 or rgb.shape[2] != 3 or 0 in rgb.shape:
        raise ValueError(f"an image to write must be a non-empty (height, width, 3) array, "
                         f"got {getattr(rgb, 'shape', type(rgb).__name__)}")
    if rgb.dtype not in (np.uint8, np.uint16):
        raise ValueError(f"an image to write must be uint8 or uint16, got {rgb.dtype}")


def _write_png(path: str, rgb: np.ndarray) -> None:
    try:
        import png
    except ImportError:
        raise ImportError("writing PNG needs pypng: pip install 'pyxa[raw]'") from None
    h, w, _ = rgb.shape
    # Level 3 compresses photographs about as well as the default 6, faster.
    writer = png.Writer(w, h, greyscale=False, bitdepth=8 * rgb.itemsize, compression=3)
    with open(path, "wb") as f:
        writer.write_packed(f, _png_rows(rgb))


def _png_rows(rgb: np.ndarray) -> Iterator[bytes]:
    # Rows handed over already packed (16-bit samples big-endian, as PNG
    # stores them): pypng would otherwise pack every sample in Python,
    # several times slower for 16-bit images.
    big_endian = rgb.dtype.newbyteorder(">")
    for row in rgb.reshape(rgb.shape[0], -1):
        yield row.astype(big_endian, copy=False).tobytes()  # one row at a time: no copy of the image


def _write_tiff(path: str, rgb: np.ndarray) -> None:
    try:
        import tifffile
    except ImportError:
        raise ImportError("writing TIFF needs tifffile: pip install 'pyxa[raw]'") from None
    tifffile.imwrite(path, rgb, photometric="rgb")


def write_image(path: PathLike, rgb: np.ndarray, *, format: str | None = None, overwrite: bool = False) -> str:
    """Writes an (H, W, 3) uint8 or uint16 image as PNG or TIFF and returns the path.

    The format comes from ``format`` ("png" or "tiff") or the extension. An
    existing file is left alone (``FileExistsError``) unless ``overwrite``.
    The pixels are written as they are: orientation is expected to be applied
    already, so no viewer has to honour a tag."""
    path = os.fspath(path)
    fmt = _format_of(path, format)
    _check(rgb)
    if not overwrite and os.path.lexists(path):
        raise FileExistsError(f"{path}: exists (use overwrite to replace it)")
    folder = os.path.dirname(os.path.abspath(path))
    fd, tmp = tempfile.mkstemp(prefix="." + os.path.basename(path) + ".", suffix=".part", dir=folder)
    try:
        os.close(fd)
        (_write_png if fmt == "png" else _write_tiff)(tmp, np.ascontiguousarray(rgb))
        os.chmod(tmp, 0o666 & ~_umask())
        if overwrite:
            os.replace(tmp, path)
        else:
            _link_new(tmp, path)
    finally:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(tmp)
    return path


def _link_new(tmp: str, path: str) -> None:
    # A hard link fails when the name exists, so a file another process made
    # since the first check is still never replaced.
    try:
        os.link(tmp, path)
    except FileExistsError:
        raise FileExistsError(f"{path}: exists (use overwrite to replace it)") from None
    except OSError:  # a file system without hard links
        if os.path.lexists(path):
            raise FileExistsError(f"{path}: exists (use overwrite to replace it)") from None
        os.replace(tmp, path)


def _umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask
