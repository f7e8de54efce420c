"""Opening a TIFF-based file (DNG or DCP) with tifffile for the readers of this
package: the file's name and size, its IFDs as ``Ifd`` records, and
tifffile's own failures turned into RawFileError naming the file."""

from __future__ import annotations

import contextlib
import logging
import os
from collections.abc import Iterator
from typing import IO, Any, Union

from ..raw import RawFileError
from .tags import Ifd, TagProblem, listed_entries

__all__ = ["Source", "name_of", "open_tiff", "ifd_of", "library_errors"]

Source = Union[str, "os.PathLike[str]", IO[bytes]]


def name_of(source: Source) -> str:
    """How messages name the file: its path, or the stream's name."""
    if isinstance(source, (str, os.PathLike)):
        return os.fspath(source)
    return str(getattr(source, "name", "<stream>"))


class _Silence(logging.Filter):
    def filter(self, record: logging.LogRecord) -> bool:
        return False


@contextlib.contextmanager
def library_errors(file: str, what: str) -> Iterator[None]:
    """Turns what tifffile or a codec raises on a hostile file into a
    RawFileError saying what was being read; our own refusals pass through."""
    try:
        yield
    except RawFileError:
        raise
    except MemoryError as e:
        raise RawFileError(file, f"{what}: not enough memory ({e})") from e
    except Exception as e:  # noqa: BLE001 - the library's failures on a broken file are many and undocumented
        raise RawFileError(file, f"{what}: {type(e).__name__}: {e}") from e


@contextlib.contextmanager
def open_tiff(source: Source, file: str) -> Iterator[tuple[Any, int]]:
    """The open tifffile.TiffFile and the file's size in bytes.

    tifffile logs what it finds odd (a profile without image data, a tag it
    skips); the readers check those things themselves and say so in their own
    terms, so its log is held back while the file is open."""
    try:
        import tifffile
    except ImportError:
        raise ImportError("reading DNG files needs tifffile and imagecodecs: pip install 'pyxa[raw]'") from None
    if isinstance(source, (str, os.PathLike)):
        if not os.path.exists(source):
            raise RawFileError(file, "no such file")
        if os.path.isdir(source):
            raise RawFileError(file, "is a directory, not a DNG file")
    _check_byte_order_mark(source, file)
    silence = _Silence()
    log = logging.getLogger("tifffile")
    log.addFilter(silence)
    try:
        try:
            handle = os.fspath(source) if isinstance(source, os.PathLike) else source
            tif = tifffile.TiffFile(handle)
        except tifffile.TiffFileError as e:
            raise RawFileError(file, f"not a TIFF-based file ({e})", not_raw=True) from e
        except OSError as e:
            raise RawFileError(file, e.strerror or str(e)) from e
        except Exception as e:  # noqa: BLE001 - see library_errors
            raise RawFileError(file, f"not a readable TIFF-based file ({type(e).__name__}: {e})",
                               not_raw=True) from e
        try:
            fh = tif.filehandle
            yield tif, int(fh.size)
        finally:
            tif.close()
    finally:
        log.removeFilter(silence)


def _check_byte_order_mark(source: Source, file: str) -> None:
    """Every TIFF-based file starts with II or MM: anything else (a JPEG, a
    text file named .dng) is refused in our words before tifffile looks."""
    try:
        if isinstance(source, (str, os.PathLike)):
            with open(source, "rb") as f:
                head = f.read(4)
        else:
            at = source.tell()
            head = source.read(4)
            source.seek(at)
    except OSError as e:
        raise RawFileError(file, e.strerror or str(e)) from e
    if head[:2] not in (b"II", b"MM"):
        raise RawFileError(file, f"not a TIFF-based file: it starts with {head!r}, where a DNG or DCP file "
                                 "starts with II or MM", not_raw=True)


def ifd_of(tif: Any, page: Any, label: str, file_size: int, file: str) -> Ifd:
    """An IFD of the open file as an Ifd record (tags by code, entries as listed)."""
    try:
        entries = listed_entries(tif, int(page.offset))
    except TagProblem as e:
        raise RawFileError(file, f"{label}: {e}") from e
    tags = {int(tag.code): tag for tag in reversed(list(page.tags.values()))}
    return Ifd(label=label, tags=tags, entries=entries, file_size=file_size)
