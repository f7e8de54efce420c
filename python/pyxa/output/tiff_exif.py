"""EXIF in a TIFF the writer streams to its file: the first directory's tags
(make, model, date, ...) go in with the image's own tags, and the EXIF and
GPS directories that exiv2 serialised are appended after the image once it
is written, their offsets moved to where they now lie. Rewriting a finished
TIFF with exiv2 instead reads the whole file into memory twice over."""

from __future__ import annotations

import os
import struct
from dataclasses import dataclass
from typing import BinaryIO

__all__ = ["ExifGraft", "graft_from"]

# Directories that point at directories of their own: EXIF, GPS, interoperability.
_POINTERS = (34665, 34853, 40965)
_IMAGE_POINTERS = (34665, 34853)
# Bytes per value of each TIFF field type.
_TYPE_SIZE = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8, 13: 4}
# The image's own structure, which its writer states, never the carrier's.
_STRUCTURE = {254, 256, 257, 258, 259, 262, 273, 277, 278, 279, 282, 283, 284, 296, 317, 322, 323, 324, 325, 338,
              339, 700, 34675}
_ENTRY = struct.Struct("<HHII")
_MAX_DEPTH = 4


@dataclass(frozen=True)
class ExifGraft:
    """One EXIF block, ready for a TIFF writer: ``tags`` go into the image's
    first directory as the writer's extra tags; once the image is written,
    ``append_to(file)`` adds the EXIF and GPS directories after it."""

    tags: tuple[tuple[int, int, int, bytes, bool], ...]
    blob: bytes
    targets: dict[int, int]

    def append_to(self, file: BinaryIO) -> None:
        """Appends the directories to the little-endian classic TIFF in
        ``file`` (readable, writable, seekable), then a copy of its first
        directory with the two pointers added, and makes that copy the first.
        Writers do not take the pointer tags as extra tags, and adding
        entries in place would move the image's own values."""
        if not self.targets:
            return
        moved_at = _word_end(file)
        moved = bytearray(self.blob)
        for ifd in self.targets.values():
            _shift_directory(moved, ifd, moved_at, 0)
        file.write(moved)
        head = _read_at(file, 0, 8)
        if head[:4] != b"II*\0":
            raise ValueError("the TIFF written is not a little-endian classic TIFF")
        first = _u32(head, 4)
        n = _u16(_read_at(file, first, 2), 0)
        table = _read_at(file, first + 2, 12 * n + 4)
        entries = [table[12 * i:12 * i + 12] for i in range(n)]
        entries += [struct.pack("<HHII", code, 4, 1, ifd + moved_at) for code, ifd in self.targets.items()]
        entries.sort(key=lambda e: int.from_bytes(e[:2], "little"))
        copy_at = _word_end(file)
        if copy_at + 2 + 12 * len(entries) + 4 > 0xFFFFFFFF:
            raise ValueError("the EXIF would lie beyond the 4 GiB a TIFF's offsets reach")
        file.write(struct.pack("<H", len(entries)) + b"".join(entries) + table[12 * n:])
        file.seek(4)
        file.write(struct.pack("<I", copy_at))
        file.seek(0, os.SEEK_END)


def _word_end(file: BinaryIO) -> int:
    """Pads the file to an even length (a directory starts on a word
    boundary) and returns that length."""
    end = file.seek(0, os.SEEK_END)
    if end & 1:
        file.write(b"\0")
    if end + 1 > 0xFFFFFFFF:
        raise ValueError("the EXIF would lie beyond the 4 GiB a TIFF's offsets reach")
    return end + (end & 1)


def graft_from(exif: bytes) -> ExifGraft:
    """The graft of an EXIF block (a little-endian TIFF structure, as
    ``ImageMetadata.exif_block`` returns)."""
    if exif[:4] != b"II*\0" or len(exif) < 8:
        raise ValueError("the EXIF block is not a little-endian TIFF structure")
    ifd0 = _u32(exif, 4)
    tags, targets = [], {}
    for tag, kind, count, field, at in _entries(exif, ifd0):
        if tag in _IMAGE_POINTERS:
            targets[tag] = field
        elif tag not in _STRUCTURE and tag not in _POINTERS and kind in _TYPE_SIZE:
            tags.append((tag, kind, count, _value_bytes(exif, kind, count, field, at), True))
    return ExifGraft(tuple(tags), exif, targets)


def _entries(buf: bytes | bytearray, ifd: int) -> list[tuple[int, int, int, int, int]]:
    """(tag, type, count, value field, entry offset) of one directory."""
    n = _u16(buf, ifd)
    if ifd + 2 + 12 * n + 4 > len(buf):
        raise ValueError("an EXIF directory runs past the end of its block")
    return [(*_ENTRY.unpack_from(buf, ifd + 2 + 12 * i), ifd + 2 + 12 * i) for i in range(n)]


def _value_bytes(buf: bytes, kind: int, count: int, field: int, entry: int) -> bytes:
    size = _TYPE_SIZE[kind] * count
    start = entry + 8 if size <= 4 else field
    if start + size > len(buf):
        raise ValueError("an EXIF value runs past the end of its block")
    return bytes(buf[start:start + size])


def _shift_directory(buf: bytearray, ifd: int, shift: int, depth: int) -> None:
    """Moves every offset of the directory at ``ifd`` (and of those it
    points to) by ``shift``: the block is about to lie that far into a file."""
    if depth > _MAX_DEPTH:
        raise ValueError("the EXIF directories nest too deep")
    for tag, kind, count, field, at in _entries(buf, ifd):
        if tag in _POINTERS:
            _shift_directory(buf, field, shift, depth + 1)
            struct.pack_into("<I", buf, at + 8, field + shift)
        elif _TYPE_SIZE.get(kind, 1) * count > 4:
            struct.pack_into("<I", buf, at + 8, field + shift)
    n = _u16(buf, ifd)
    if _u32(buf, ifd + 2 + 12 * n):
        struct.pack_into("<I", buf, ifd + 2 + 12 * n, 0)  # a sub-directory has no next


def _read_at(file: BinaryIO, offset: int, size: int) -> bytes:
    file.seek(offset)
    data = file.read(size)
    if len(data) != size:
        raise ValueError("the TIFF written is shorter than its directory says")
    return data


def _u16(buf: bytes | bytearray, at: int) -> int:
    if at + 2 > len(buf):
        raise ValueError("an EXIF offset points past the end of its block")
    return int(struct.unpack_from("<H", buf, at)[0])


def _u32(buf: bytes | bytearray, at: int) -> int:
    if at + 4 > len(buf):
        raise ValueError("an EXIF offset points past the end of its block")
    return int(struct.unpack_from("<I", buf, at)[0])
