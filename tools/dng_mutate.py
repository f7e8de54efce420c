"""The DNG fuzz hook: mutates only the bytes of a DNG's (or DCP's) opcode
lists, ProfileGainTableMap and camera-profile tags (their values and their
IFD entries' type and count), so that generated cases reach the parsers of
those structures rather than dying in the TIFF header.

Draws go through the interface tests/fuzz_cases.py uses (``int(lo, hi)``,
``pick(seq)``, ``chance(p)``), so hypothesis (with shrinking) and seeded
random numbers (replayable campaigns) drive the same code."""

from __future__ import annotations

import math
import struct
from dataclasses import dataclass
from typing import Protocol, Sequence, TypeVar

__all__ = ["Draw", "TargetEntry", "target_entries", "mutate_dng", "BLOB_CODES", "PROFILE_CODES"]

T = TypeVar("T")

# OpcodeList1, 2, 3 and ProfileGainTableMap: big-endian blobs with a layout of their own.
BLOB_CODES = (51008, 51009, 51022, 52525)
# The camera-profile tags (ProfileName ... DefaultBlackRender).
PROFILE_CODES = (50721, 50722, 50723, 50724, 50778, 50779, 50936, 50937, 50938, 50939, 50940, 50941, 50942,
                 50964, 50965, 50981, 50982, 51107, 51108, 51109, 51110)
_SIZES = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8}
HOSTILE_U32 = (0, 1, 2, 3, 8, 9, 16, 255, 256, 65535, 65536, 2**31 - 1, 2**31, 2**32 - 1)
HOSTILE_DOUBLES = (math.nan, math.inf, -math.inf, 0.0, -0.0, -1.0, 1e-300, 1e300, 0.5, 2.0)
HOSTILE_FLOATS = (math.nan, math.inf, -math.inf, 0.0, -0.0, -1.0, 1e-38, 3e38, 0.5, 2.0)


class Draw(Protocol):
    """The draw interface of tests/fuzz_cases.py."""

    def int(self, lo: int, hi: int) -> int: ...

    def pick(self, seq: Sequence[T]) -> T: ...

    def chance(self, p: float) -> bool: ...


@dataclass(frozen=True)
class TargetEntry:
    """An IFD entry whose value may be mutated: where the entry and its value lie."""

    code: int
    entry_offset: int  # the 12-byte entry in its IFD
    type: int
    count: int
    value_offset: int
    value_size: int


def _ifd_offsets(data: bytes, order: str) -> list[int]:
    """IFD0 and the SubIFDs it lists (where they lie inside the data)."""
    first = struct.unpack_from(order + "I", data, 4)[0]
    offsets = [first]
    for entry in _entries(data, order, first):
        if entry.code == 330 and entry.type in (4, 13) and entry.value_offset + 4 * entry.count <= len(data):
            listed = struct.unpack_from(f"{order}{entry.count}I", data, entry.value_offset)
            offsets += [v for v in listed if v + 2 <= len(data)]
    return offsets


def _entries(data: bytes, order: str, ifd: int) -> list[TargetEntry]:
    if ifd + 2 > len(data):
        return []
    n = struct.unpack_from(order + "H", data, ifd)[0]
    out = []
    for i in range(n):
        at = ifd + 2 + 12 * i
        if at + 12 > len(data):
            break
        code, ftype, count = struct.unpack_from(order + "HHI", data, at)
        size = count * _SIZES.get(ftype, 1)
        value_at = at + 8 if size <= 4 else struct.unpack_from(order + "I", data, at + 8)[0]
        out.append(TargetEntry(code, at, ftype, count, value_at, size))
    return out


def target_entries(data: bytes) -> list[TargetEntry]:
    """The opcode-list, gain-table-map and profile entries of a classic TIFF
    (DNG or DCP), values inside the data only."""
    order = "<" if data[:2] == b"II" else ">"
    found = []
    for ifd in _ifd_offsets(data, order):
        for entry in _entries(data, order, ifd):
            if entry.code in BLOB_CODES + PROFILE_CODES and entry.value_offset + entry.value_size <= len(data):
                found.append(entry)
    return found


def _opcode_fields(blob: bytes) -> list[int]:
    """Offsets inside an opcode list where a count or size lies: the list's
    count, each opcode's header words and its first parameter words."""
    fields, pos = [0], 4
    while pos + 16 <= len(blob):
        fields += [pos, pos + 4, pos + 8, pos + 12]
        nbytes = struct.unpack_from(">I", blob, pos + 12)[0]
        fields += list(range(pos + 16, min(pos + 16 + nbytes, pos + 16 + 96, len(blob) - 3), 4))
        pos += 16 + nbytes
    return fields


def _mutate_value(buf: bytearray, entry: TargetEntry, order: str, draw: Draw) -> None:
    start, size = entry.value_offset, entry.value_size
    if size == 0:
        return
    blob_order = ">" if entry.code in BLOB_CODES else order
    kind = draw.int(0, 3)
    if kind == 0 and size >= 4:  # a count, size or coordinate
        if entry.code in BLOB_CODES[:3]:
            fields = _opcode_fields(bytes(buf[start:start + size]))
            at = draw.pick(fields) if fields else 0
        else:
            at = draw.int(0, (size - 4) // 4) * 4
        struct.pack_into(blob_order + "I", buf, start + at, draw.pick(HOSTILE_U32))
    elif kind == 1 and size >= 8:  # a double (opcode coefficients, map spacing)
        at = draw.int(0, size - 8)
        struct.pack_into(blob_order + "d", buf, start + at, draw.pick(HOSTILE_DOUBLES))
    elif kind == 2 and size >= 4:  # a float (gains, tables, curves) or a rational's half
        at = draw.int(0, (size - 4) // 4) * 4
        if draw.chance(0.5):
            struct.pack_into(blob_order + "f", buf, start + at, draw.pick(HOSTILE_FLOATS))
        else:
            struct.pack_into(blob_order + "I", buf, start + at, draw.pick(HOSTILE_U32))
    else:
        for _ in range(draw.int(1, 4)):
            buf[start + draw.int(0, size - 1)] = draw.int(0, 255)


def _mutate_entry(buf: bytearray, entry: TargetEntry, order: str, draw: Draw) -> None:
    if draw.chance(0.3):
        struct.pack_into(order + "H", buf, entry.entry_offset + 2, draw.pick((1, 2, 3, 4, 5, 7, 10, 11, 12, 0, 99)))
    else:
        count = draw.pick((0, 1, 2, 3, entry.count - 1, entry.count + 1, entry.count // 2, entry.count * 2,
                           2**31, 2**32 - 1))
        struct.pack_into(order + "I", buf, entry.entry_offset + 4, max(0, min(count, 2**32 - 1)))


def mutate_dng(data: bytes, draw: Draw, *, max_mutations: int = 3) -> bytes:
    """A copy of a DNG or DCP file's bytes with one to ``max_mutations``
    changes, each in an opcode list, the ProfileGainTableMap or a profile
    tag: a value's count, size, number or bytes, or its entry's type or count."""
    targets = target_entries(data)
    if not targets:
        return data
    order = "<" if data[:2] == b"II" else ">"
    blobs = [e for e in targets if e.code in BLOB_CODES]
    buf = bytearray(data)
    for _ in range(draw.int(1, max_mutations)):
        # The few blobs hold the most structure: half the mutations go to them.
        entry = draw.pick(blobs if blobs and draw.chance(0.5) else targets)
        if draw.chance(0.8):
            _mutate_value(buf, entry, order, draw)
        else:
            _mutate_entry(buf, entry, order, draw)
    return bytes(buf)
