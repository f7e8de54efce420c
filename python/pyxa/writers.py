"""Writing developed images (JPEG, PNG, TIFF, WebP, AVIF, JPEG XL) with the
ICC profile of their colour space and, when given, the raw file's EXIF and
XMP. Each file is encoded in memory (TIFF: written as its strips are
compressed), written under a temporary name in the same folder and moved
into place, so a failed or killed run never leaves a truncated image under
the final name."""

from __future__ import annotations

import contextlib
import errno
import io
import os
import tempfile
from typing import Any, BinaryIO, cast

import numpy as np

from ._types import PathLike
from .output import (EncodeOptions, ImageMetadata, OutputBuffer, Pieces, encode_pieces, format_of, output_space,
                     require_codec, stream_image, streams)
from .output.formats import FORMATS as _FORMATS
from .output.formats import ImageFormat

__all__ = ["FORMATS", "write_image"]

# Format name -> the extension written (the command line's --format choices).
FORMATS = {name: f.extensions[0] for name, f in _FORMATS.items()}


def _check(rgb: np.ndarray, fmt_title: str, dtypes: tuple[str, ...]) -> None:
    if not isinstance(rgb, np.ndarray) or rgb.ndim != 3 or rgb.shape[2] != 3 or 0 in rgb.shape:
        raise ValueError(f"an image to write must be a non-empty (height, width, 3) array, "
                         f"got {getattr(rgb, 'shape', type(rgb).__name__)}")
    if rgb.dtype.name not in dtypes:
        raise ValueError(f"{fmt_title} stores {' or '.join(dtypes)} samples, got {rgb.dtype}")


def _check_quality(quality: int | None) -> None:
    if quality is not None and (isinstance(quality, bool) or not isinstance(quality, (int, np.integer))
                                or not 1 <= quality <= 100):
        raise ValueError(f"quality must be an integer from 1 to 100, got {quality!r}")


def write_image(path: PathLike, rgb: np.ndarray, *, format: str | None = None, overwrite: bool = False,
                space: str = "srgb", quality: int | None = None, metadata: ImageMetadata | None = None,
                buffer: OutputBuffer | None = None) -> str:
    """Writes an (H, W, 3) image and returns the path.

    The format comes from ``format`` ("jpeg", "png", "tiff", "webp", "avif",
    "jxl"; "jpg" and "tif" too) or the extension. Sample types: JPEG and WebP
    uint8; PNG, AVIF and JPEG XL uint8 or uint16 (AVIF keeps 12 of the 16
    bits); TIFF uint8, uint16 or float32. ``space`` names the colour space
    the pixels are in (``pyxa.output.SPACES``): its ICC profile is embedded.
    ``quality`` (1-100) applies to JPEG (default 95; chroma at full
    resolution from 90), WebP (default 90) and AVIF (default 90), where 100
    means lossless; PNG, TIFF and JPEG XL are always lossless. ``metadata``
    (from ``pyxa.output.read_metadata``) is written as EXIF and XMP; None
    writes none. ``buffer`` (a ``pyxa.output.OutputBuffer``) is memory the
    PNG encoder may reuse for its output, for a caller writing many images
    from one thread. An existing file is left alone (``FileExistsError``) unless
    ``overwrite``. The pixels are written as they are: orientation is
    expected to be applied already, so no viewer has to honour a tag."""
    path = os.fspath(path)
    fmt = format_of(path, format)
    _check(rgb, fmt.title, fmt.dtypes)
    _check_quality(quality)
    options = EncodeOptions(output_space(space), quality, metadata)
    require_codec(fmt)
    if not overwrite and os.path.lexists(path):
        raise FileExistsError(f"{path}: exists (use overwrite to replace it)")
    rgb = np.ascontiguousarray(rgb)
    data: Pieces | _Streamed
    try:
        data = _Streamed(fmt, rgb, options) if streams(fmt) else encode_pieces(fmt, rgb, options, buffer)
    except (RuntimeError, ValueError) as e:  # the codecs' own errors name no file
        raise _cannot_encode(path, fmt, e) from e
    folder = os.path.dirname(os.path.abspath(path))
    fd, tmp = tempfile.mkstemp(prefix="." + os.path.basename(path) + ".", suffix=".part", dir=folder)
    try:
        os.close(fd)
        _store(tmp, data)
        os.chmod(tmp, 0o666 & ~_umask())
        if overwrite:
            os.replace(tmp, path)
        else:
            _link_new(tmp, path)
    except OSError as e:
        if e.filename is None and e.errno is not None:
            size = (f"stopped after {data.written} bytes" if isinstance(data, _Streamed)
                    else f"{sum(memoryview(piece).nbytes for piece in data)} bytes")
            raise OSError(e.errno, f"cannot write the image ({size}): {os.strerror(e.errno)}", path) from e
        raise
    except (RuntimeError, ValueError) as e:  # a streamed image is encoded as it is stored
        raise _cannot_encode(path, fmt, e) from e
    finally:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(tmp)
    return path


def _cannot_encode(path: str, fmt: ImageFormat, e: Exception) -> ValueError:
    return ValueError(f"{path}: cannot encode as {fmt.title}: {e}")


class _Streamed:
    """An image encoded straight into its file when it is stored."""

    def __init__(self, fmt: ImageFormat, rgb: np.ndarray, options: EncodeOptions) -> None:
        self.fmt, self.rgb, self.options = fmt, rgb, options
        self.written = 0

    def stream_into(self, fd: int) -> None:
        sink = _FdSink(fd)
        try:
            stream_image(self.fmt, self.rgb, self.options, cast(BinaryIO, sink))
        finally:
            self.written = sink.written


class _FdSink(io.RawIOBase):
    """A seekable binary file on a descriptor whose writes are whole or an
    error (a full disk), and which counts the bytes that reached the file
    (readable too: the TIFF writer reads back its first directory)."""

    def __init__(self, fd: int) -> None:
        super().__init__()
        self.fd, self.written = fd, 0

    def writable(self) -> bool:
        return True

    def readable(self) -> bool:
        return True

    def readinto(self, buffer: Any) -> int:
        return os.readv(self.fd, [buffer])

    def seekable(self) -> bool:
        return True

    def write(self, data: Any) -> int:
        view = memoryview(data).cast("B")
        done = 0
        while done < len(view):
            n = os.write(self.fd, view[done:])
            if n == 0:
                raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC))
            done += n
            self.written += n
        return done

    def seek(self, offset: int, whence: int = os.SEEK_SET) -> int:
        return os.lseek(self.fd, offset, whence)

    def tell(self) -> int:
        return os.lseek(self.fd, 0, os.SEEK_CUR)


def _store(path: str, data: Pieces | _Streamed) -> None:
    """Writes all of ``data`` to ``path``; a short write (a full disk) is an
    error that names the file that was being written."""
    fd = os.open(path, os.O_RDWR | os.O_TRUNC)
    try:
        if isinstance(data, _Streamed):
            data.stream_into(fd)
        else:
            sink = _FdSink(fd)
            for piece in data:
                sink.write(piece)
    finally:
        os.close(fd)


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
