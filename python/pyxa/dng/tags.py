"""DNG and TIFF tags by name, and one tag's value as plain numbers, text or
bytes: what every reader of this package shares. tifffile reads the IFDs;
here each value is checked against what a field of its type can hold."""

from __future__ import annotations

import math
import os
import struct
import sys
import warnings
from collections.abc import Mapping
from dataclasses import dataclass, field
from typing import Any, NoReturn

import numpy as np
import numpy.typing as npt

from ..raw import RawFileError

__all__ = ["TAG_CODES", "DngTagWarning", "TagProblem", "Entry", "Ifd", "Findings", "listed_entries", "finite",
           "describe_bad"]

TAG_CODES: dict[str, int] = {
    "NewSubFileType": 254, "ImageWidth": 256, "ImageLength": 257, "BitsPerSample": 258, "Compression": 259,
    "PhotometricInterpretation": 262, "Make": 271, "Model": 272, "StripOffsets": 273, "Orientation": 274,
    "SamplesPerPixel": 277, "RowsPerStrip": 278, "StripByteCounts": 279, "PlanarConfiguration": 284,
    "Predictor": 317, "TileWidth": 322, "TileLength": 323, "TileOffsets": 324, "TileByteCounts": 325,
    "SubIFDs": 330, "SampleFormat": 339, "CFARepeatPatternDim": 33421, "CFAPattern": 33422,
    "DNGVersion": 50706, "DNGBackwardVersion": 50707, "UniqueCameraModel": 50708, "CFAPlaneColor": 50710,
    "CFALayout": 50711, "LinearizationTable": 50712, "BlackLevelRepeatDim": 50713, "BlackLevel": 50714,
    "BlackLevelDeltaH": 50715, "BlackLevelDeltaV": 50716, "WhiteLevel": 50717, "DefaultCropOrigin": 50719,
    "DefaultCropSize": 50720, "ColorMatrix1": 50721, "ColorMatrix2": 50722, "CameraCalibration1": 50723,
    "CameraCalibration2": 50724, "AnalogBalance": 50727, "AsShotNeutral": 50728, "AsShotWhiteXY": 50729,
    "BaselineExposure": 50730, "CalibrationIlluminant1": 50778, "CalibrationIlluminant2": 50779,
    "ActiveArea": 50829, "ProfileName": 50936, "ProfileHueSatMapDims": 50937, "ProfileHueSatMapData1": 50938,
    "ProfileHueSatMapData2": 50939, "ProfileToneCurve": 50940, "ProfileEmbedPolicy": 50941,
    "ProfileCopyright": 50942, "ForwardMatrix1": 50964, "ForwardMatrix2": 50965,
    "ProfileLookTableDims": 50981, "ProfileLookTableData": 50982, "OpcodeList1": 51008,
    "OpcodeList2": 51009, "OpcodeList3": 51022, "ProfileHueSatMapEncoding": 51107,
    "ProfileLookTableEncoding": 51108, "BaselineExposureOffset": 51109, "DefaultBlackRender": 51110,
    "ProfileGainTableMap": 52525,
}

# TIFF field types: element size in bytes.
FIELD_SIZES = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8, 13: 4, 16: 8, 17: 8, 18: 8}
INTEGER_TYPES = {1, 3, 4, 6, 8, 9, 13, 16, 17, 18}  # IFD (13, 18): SubIFDs may be typed so
RATIONAL_TYPES = {5, 10}
FLOAT_TYPES = {11, 12}
BYTES_TYPES = {1, 7}
TYPE_NAMES = {1: "BYTE", 2: "ASCII", 3: "SHORT", 4: "LONG", 5: "RATIONAL", 6: "SBYTE", 7: "UNDEFINED",
              8: "SSHORT", 9: "SLONG", 10: "SRATIONAL", 11: "FLOAT", 12: "DOUBLE", 13: "IFD", 16: "LONG8",
              17: "SLONG8", 18: "IFD8"}


class DngTagWarning(UserWarning):
    """A DNG tag whose value is impossible (NaN, a wrong count, out of range...)
    and which the reader therefore treats as absent."""


class DngOpcodeWarning(UserWarning):
    """An opcode that was skipped (optional or allowed to be), or that has no effect on the image."""


# The largest value the engine's float32 attributes hold: a file's number
# beyond it is refused rather than turned into infinity.
FLOAT32_MAX = float(np.finfo(np.float32).max)


class TagProblem(Exception):
    """Why one tag's value cannot be used; the caller adds the file and tag."""


@dataclass(frozen=True)
class Entry:
    """One IFD entry as the file lists it, before any value is read."""

    code: int
    type: int
    count: int
    value_offset: int  # where the value lies: in the entry itself when it fits


def listed_entries(tif: Any, ifd_offset: int) -> dict[int, Entry]:
    """The entries an IFD lists, read from the file's own bytes: tifffile leaves
    out a tag whose value it cannot read, and the reader must know the tag was
    there. Raises TagProblem when the entry table itself is cut off."""
    fh, fmt = tif.filehandle, tif.tiff
    fh.seek(ifd_offset)
    head = fh.read(fmt.tagnosize)
    if len(head) != fmt.tagnosize:
        raise TagProblem(f"the IFD at offset {ifd_offset} is cut off")
    count = struct.unpack(fmt.tagnoformat, head)[0]
    table = fh.read(count * fmt.tagsize)
    if len(table) != count * fmt.tagsize:
        raise TagProblem(f"the IFD at offset {ifd_offset} lists {count} entries but the file ends first")
    entries: dict[int, Entry] = {}
    for i in range(count):
        raw = table[i * fmt.tagsize:(i + 1) * fmt.tagsize]
        code, ftype, n, value = struct.unpack(fmt.tagheaderformat, raw)
        size = n * FIELD_SIZES.get(ftype, 0)
        inline = size <= fmt.tagoffsetthreshold
        offset = ifd_offset + fmt.tagnosize + i * fmt.tagsize + fmt.tagsize - fmt.tagoffsetthreshold
        if not inline:
            offset = struct.unpack(fmt.offsetformat, value)[0]
        entries.setdefault(code, Entry(code, ftype, n, offset))
    return entries


@dataclass
class Ifd:
    """One IFD: the tags tifffile read (by code) and the entries the file lists.

    Values are read on request, by DNG tag name, and checked against their
    field type; a tag listed but left out by tifffile reports why."""

    label: str  # "IFD0", "SubIFD 1": how messages name it
    tags: Mapping[int, Any]
    entries: Mapping[int, Entry]
    file_size: int

    def has(self, name: str) -> bool:
        """Whether the IFD lists the tag, readable or not."""
        code = TAG_CODES[name]
        return code in self.tags or code in self.entries

    def _tag(self, name: str) -> Any:
        code = TAG_CODES[name]
        tag = self.tags.get(code)
        if tag is None and code in self.entries:
            raise TagProblem(self._unreadable(self.entries[code]))
        return tag

    def _unreadable(self, entry: Entry) -> str:
        if entry.type not in FIELD_SIZES:
            return f"has field type {entry.type}, which is no TIFF field type"
        size = entry.count * FIELD_SIZES[entry.type]
        if entry.value_offset < 8:
            return f"its value offset {entry.value_offset} points into the file header"
        return (f"its {size} bytes at offset {entry.value_offset} run past the end of the file "
                f"({self.file_size} bytes)")

    def numbers(self, name: str) -> npt.NDArray[np.float64] | None:
        """The tag's values as float64, rationals divided out; None when absent."""
        tag = self._tag(name)
        if tag is None:
            return None
        ftype = int(tag.dtype)
        value = tag.value
        if ftype in BYTES_TYPES:
            return np.frombuffer(_as_bytes(value), np.uint8).astype(np.float64)
        if ftype in RATIONAL_TYPES:
            pairs = _flat_ints(value).reshape(-1, 2)
            zero = pairs[:, 1] == 0
            if np.any(zero & (pairs[:, 0] == 0)):
                raise TagProblem("holds 0/0, which is not a number")
            if np.any(zero):
                raise TagProblem("has a zero denominator")
            return pairs[:, 0].astype(np.float64) / pairs[:, 1].astype(np.float64)
        if ftype in INTEGER_TYPES:
            return _flat_ints(value).astype(np.float64)
        if ftype in FLOAT_TYPES:
            return np.asarray(_flat(value), dtype=np.float64).ravel()
        raise TagProblem(f"is of field type {TYPE_NAMES.get(ftype, ftype)}, where numbers were expected")

    def integers(self, name: str) -> tuple[int, ...] | None:
        """The tag's values as Python ints; refuses rationals and floats that are
        not whole numbers."""
        values = self.numbers(name)
        if values is None:
            return None
        if not np.all(np.isfinite(values)) or np.any(values != np.round(values)):
            raise TagProblem("holds values that are not whole numbers")
        return tuple(int(v) for v in values)

    def text(self, name: str) -> str | None:
        """An ASCII tag as text (bytes that are not ASCII are replaced)."""
        tag = self._tag(name)
        if tag is None:
            return None
        if int(tag.dtype) not in (2, 1, 7):
            raise TagProblem(f"is of field type {TYPE_NAMES.get(int(tag.dtype), tag.dtype)}, where text was expected")
        value = tag.value
        if isinstance(value, str):
            return value.strip("\x00").strip()
        return _as_bytes(value).split(b"\x00")[0].decode("ascii", errors="replace").strip()

    def blob(self, name: str) -> bytes | None:
        """An UNDEFINED (or BYTE) tag's bytes, as stored."""
        tag = self._tag(name)
        if tag is None:
            return None
        if int(tag.dtype) not in BYTES_TYPES:
            raise TagProblem(f"is of field type {TYPE_NAMES.get(int(tag.dtype), tag.dtype)}, "
                             "where UNDEFINED bytes were expected")
        return _as_bytes(tag.value)


def _as_bytes(value: Any) -> bytes:
    if isinstance(value, (bytes, bytearray, memoryview)):
        return bytes(value)
    if isinstance(value, np.ndarray):
        return value.astype(np.uint8).tobytes()
    if isinstance(value, (tuple, list)):
        return bytes(int(v) & 0xFF for v in value)
    if isinstance(value, int):
        return bytes([value & 0xFF])
    raise TagProblem(f"holds {type(value).__name__}, where bytes were expected")


def _flat(value: Any) -> Any:
    if isinstance(value, np.ndarray):
        return value.ravel()
    if isinstance(value, (tuple, list)):
        return [float(v) if isinstance(v, float) else int(v) for v in value]
    if isinstance(value, (bytes, bytearray)):
        return list(value)
    return [value]


def _flat_ints(value: Any) -> npt.NDArray[np.int64]:
    if isinstance(value, np.ndarray):
        return value.astype(np.int64).ravel()
    return np.array([int(v) for v in _flat(value)], dtype=np.int64)


@dataclass
class Findings:
    """What reading one file found wrong: tags treated as absent (each warned
    about once and kept for the record) and the refusals, which name the file."""

    file: str
    warnings: list[str] = field(default_factory=list)

    def ignore(self, tag: str, problem: str) -> None:
        """The tag is unusable and has a default: warn and go on without it."""
        text = f"{tag} {problem}; the tag is ignored"
        self.warnings.append(text)
        warnings.warn(f"{self.file}: {text}", DngTagWarning, stacklevel=_outside_package())

    def refuse(self, what: str, problem: str) -> NoReturn:
        """The file cannot be developed: raise RawFileError naming file and tag."""
        raise RawFileError(self.file, f"{what}: {problem}")

    def fail(self, reason: str) -> NoReturn:
        """The file cannot be developed for a reason no single tag carries."""
        raise RawFileError(self.file, reason)


def _outside_package() -> int:
    """The stack level of the first caller outside this package, so that a
    warning points at the user's read rather than at the reader's insides."""
    here = os.path.dirname(os.path.abspath(__file__))
    frame, level = sys._getframe(1), 1
    while frame.f_back is not None and os.path.dirname(os.path.abspath(frame.f_code.co_filename)) == here:
        frame, level = frame.f_back, level + 1
    return level


def finite(values: npt.NDArray[np.float64]) -> bool:
    """True when no value is NaN or infinite."""
    return bool(np.all(np.isfinite(values)))


def describe_bad(values: npt.NDArray[np.float64]) -> str:
    """Names the first value that is not finite, for messages."""
    for v in values.ravel():
        if math.isnan(v):
            return "holds NaN"
        if math.isinf(v):
            return "holds an infinite value"
    return "holds an impossible value"
