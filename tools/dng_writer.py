"""Writes DNG and DCP files with any of the tags the DNG reader knows, for the
tests and the main job's sample: a small TIFF writer of its own (either byte
order, strips or tiles, chunky or planar, every compression and predictor
the reader decodes), tags given by their DNG names, and the encoders of
opcode lists and the ProfileGainTableMap, the exact inverses of the parsers.

    write_dng(path, mosaic, BlackLevel=256, WhiteLevel=4095, ActiveArea=(0, 0, 40, 56),
              OpcodeList2=[Opcode(9, 0x01030000, 0, 2, GainMap(...))], tile=(16, 16),
              compression="ljpeg", bits=12)
"""

from __future__ import annotations

import os
import struct
import zlib
from collections.abc import Iterable, Mapping
from dataclasses import dataclass
from fractions import Fraction
from typing import Any, Optional, Union

import numpy as np
import numpy.typing as npt

from pyxa.dng.opcode_records import (Area, DeltaPerColumn, DeltaPerRow, FixBadPixelsConstant, FixBadPixelsList,
                                     FixVignetteRadial, GainMap, MapPolynomial, MapTable, Opcode, ScalePerColumn,
                                     ScalePerRow, TrimBounds, UnknownOpcode, WarpFisheye, WarpRectilinear)
from pyxa.dng.records import CameraProfile, ProfileGainTableMap, ProfileTable

__all__ = ["Field", "write_dng", "write_dcp", "encode_opcode_list", "encode_opcode_params",
           "encode_gain_table_map", "profile_tags", "TAGS", "float24_bytes"]

PathLike = Union[str, "os.PathLike[str]"]

TYPE_CODES = {"BYTE": 1, "ASCII": 2, "SHORT": 3, "LONG": 4, "RATIONAL": 5, "SBYTE": 6, "UNDEFINED": 7,
              "SSHORT": 8, "SLONG": 9, "SRATIONAL": 10, "FLOAT": 11, "DOUBLE": 12, "IFD": 13}
_FORMATS = {1: "B", 3: "H", 4: "I", 6: "b", 8: "h", 9: "i", 11: "f", 12: "d", 13: "I"}
_SIZES = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8}

# DNG name: (code, field type, IFD: "0" for IFD0, "raw" for the main image's).
TAGS: dict[str, tuple[int, str, str]] = {
    "DNGVersion": (50706, "BYTE", "0"), "DNGBackwardVersion": (50707, "BYTE", "0"),
    "UniqueCameraModel": (50708, "ASCII", "0"), "Make": (271, "ASCII", "0"), "Model": (272, "ASCII", "0"),
    "Orientation": (274, "SHORT", "0"),
    "ColorMatrix1": (50721, "SRATIONAL", "0"), "ColorMatrix2": (50722, "SRATIONAL", "0"),
    "CameraCalibration1": (50723, "SRATIONAL", "0"), "CameraCalibration2": (50724, "SRATIONAL", "0"),
    "AnalogBalance": (50727, "RATIONAL", "0"), "AsShotNeutral": (50728, "RATIONAL", "0"),
    "AsShotWhiteXY": (50729, "RATIONAL", "0"), "BaselineExposure": (50730, "SRATIONAL", "0"),
    "CalibrationIlluminant1": (50778, "SHORT", "0"), "CalibrationIlluminant2": (50779, "SHORT", "0"),
    "ProfileName": (50936, "ASCII", "0"), "ProfileHueSatMapDims": (50937, "LONG", "0"),
    "ProfileHueSatMapData1": (50938, "FLOAT", "0"), "ProfileHueSatMapData2": (50939, "FLOAT", "0"),
    "ProfileToneCurve": (50940, "FLOAT", "0"), "ProfileEmbedPolicy": (50941, "LONG", "0"),
    "ProfileCopyright": (50942, "ASCII", "0"), "ForwardMatrix1": (50964, "SRATIONAL", "0"),
    "ForwardMatrix2": (50965, "SRATIONAL", "0"), "ProfileLookTableDims": (50981, "LONG", "0"),
    "ProfileLookTableData": (50982, "FLOAT", "0"), "ProfileHueSatMapEncoding": (51107, "LONG", "0"),
    "ProfileLookTableEncoding": (51108, "LONG", "0"), "BaselineExposureOffset": (51109, "SRATIONAL", "0"),
    "DefaultBlackRender": (51110, "LONG", "0"),
    "CFARepeatPatternDim": (33421, "SHORT", "raw"), "CFAPattern": (33422, "BYTE", "raw"),
    "CFAPlaneColor": (50710, "BYTE", "raw"), "CFALayout": (50711, "SHORT", "raw"),
    "LinearizationTable": (50712, "SHORT", "raw"), "BlackLevelRepeatDim": (50713, "SHORT", "raw"),
    "BlackLevel": (50714, "RATIONAL", "raw"), "BlackLevelDeltaH": (50715, "SRATIONAL", "raw"),
    "BlackLevelDeltaV": (50716, "SRATIONAL", "raw"), "WhiteLevel": (50717, "LONG", "raw"),
    "DefaultCropOrigin": (50719, "LONG", "raw"), "DefaultCropSize": (50720, "LONG", "raw"),
    "ActiveArea": (50829, "LONG", "raw"), "OpcodeList1": (51008, "UNDEFINED", "raw"),
    "OpcodeList2": (51009, "UNDEFINED", "raw"), "OpcodeList3": (51022, "UNDEFINED", "raw"),
    "ProfileGainTableMap": (52525, "UNDEFINED", "raw"),
    # The image structure, for tests that must write it wrong.
    "NewSubFileType": (254, "LONG", "raw"), "PhotometricInterpretation": (262, "SHORT", "raw"),
    "SamplesPerPixel": (277, "SHORT", "raw"), "BitsPerSample": (258, "SHORT", "raw"),
    "SampleFormat": (339, "SHORT", "raw"), "Compression": (259, "SHORT", "raw"),
    "Predictor": (317, "SHORT", "raw"), "PlanarConfiguration": (284, "SHORT", "raw"),
    "RowsPerStrip": (278, "LONG", "raw"), "StripOffsets": (273, "LONG", "raw"),
    "StripByteCounts": (279, "LONG", "raw"), "TileWidth": (322, "LONG", "raw"), "TileLength": (323, "LONG", "raw"),
    "TileOffsets": (324, "LONG", "raw"), "TileByteCounts": (325, "LONG", "raw"),
}
COMPRESSION_CODES = {"none": 1, "ljpeg": 7, "deflate": 8, "jpeg": 34892}


@dataclass(frozen=True)
class Field:
    """A tag value with its field type given: ``Field("SHORT", [1, 2])``,
    rationals as numbers or as (numerator, denominator) pairs
    (``Field("SRATIONAL", [(0, 0)])`` writes 0/0), bytes for BYTE/UNDEFINED.
    ``ifd`` ("0" or "raw") moves the tag to the other IFD."""

    type: str
    values: Any
    ifd: Optional[str] = None


@dataclass(frozen=True)
class _Entry:
    code: int
    type: int
    count: int
    payload: bytes


# ---------------------------------------------------------------- opcode lists

def _area_bytes(a: Area) -> bytes:
    return struct.pack(">8I", a.top, a.left, a.bottom, a.right, a.plane, a.planes, a.row_pitch, a.col_pitch)


def _be(dtype: str, values: Any) -> bytes:
    return np.ascontiguousarray(values, dtype=np.dtype(">" + dtype)).tobytes()


def encode_opcode_params(params: Any) -> bytes:
    """One opcode's parameter bytes (big-endian, as every opcode list)."""
    p = params
    if isinstance(p, (WarpRectilinear, WarpFisheye)):
        n = p.coefficients.shape[0]
        return struct.pack(">I", n) + _be("f8", p.coefficients) + struct.pack(">2d", p.center_x, p.center_y)
    if isinstance(p, FixVignetteRadial):
        return struct.pack(">7d", *p.k, p.center_x, p.center_y)
    if isinstance(p, FixBadPixelsConstant):
        return struct.pack(">2I", p.constant, p.bayer_phase)
    if isinstance(p, FixBadPixelsList):
        return (struct.pack(">3I", p.bayer_phase, len(p.points), len(p.rects)) + _be("u4", p.points)
                + _be("u4", p.rects))
    if isinstance(p, TrimBounds):
        return struct.pack(">4I", p.top, p.left, p.bottom, p.right)
    if isinstance(p, MapTable):
        return _area_bytes(p.area) + struct.pack(">I", len(p.table)) + _be("u2", p.table)
    if isinstance(p, MapPolynomial):
        return _area_bytes(p.area) + struct.pack(">I", len(p.coefficients) - 1) + _be("f8", p.coefficients)
    if isinstance(p, GainMap):
        return (_area_bytes(p.area) + struct.pack(">2I4dI", p.points_v, p.points_h, p.spacing_v, p.spacing_h,
                                                  p.origin_v, p.origin_h, p.map_planes) + _be("f4", p.gains))
    if isinstance(p, (DeltaPerRow, DeltaPerColumn)):
        return _area_bytes(p.area) + struct.pack(">I", len(p.deltas)) + _be("f4", p.deltas)
    if isinstance(p, (ScalePerRow, ScalePerColumn)):
        return _area_bytes(p.area) + struct.pack(">I", len(p.scales)) + _be("f4", p.scales)
    if isinstance(p, UnknownOpcode):
        return bytes(p.data)
    raise TypeError(f"not opcode parameters: {type(p).__name__}")


def encode_opcode_list(opcodes: Iterable[Opcode]) -> bytes:
    """An OpcodeList tag's bytes: count, then per opcode its id, DNG version,
    flags, byte count and parameters."""
    ops = list(opcodes)
    out = [struct.pack(">I", len(ops))]
    for op in ops:
        params = encode_opcode_params(op.params)
        out.append(struct.pack(">4I", op.id, op.dng_version, op.flags, len(params)) + params)
    return b"".join(out)


def encode_gain_table_map(m: ProfileGainTableMap, *, gamma: Optional[bool] = None) -> bytes:
    """A ProfileGainTableMap tag's bytes (big-endian); the trailing gamma is
    written when it is not 1, or when ``gamma`` says so."""
    data = (struct.pack(">2I4dI5f", m.points_v, m.points_h, m.spacing_v, m.spacing_h, m.origin_v, m.origin_h,
                        m.num_table_points, *m.weights) + _be("f4", m.gains))
    if gamma or (gamma is None and m.gamma != 1.0):
        data += struct.pack(">f", m.gamma)
    return data


def _table_tags(table: Optional[ProfileTable], data: str, dims: str, encoding: str) -> dict[str, Any]:
    if table is None:
        return {}
    tags = {data: np.asarray(table.data, np.float32).ravel(), dims: (table.hue_divs, table.sat_divs, table.val_divs)}
    if table.encoding:
        tags[encoding] = table.encoding
    return tags


def profile_tags(profile: CameraProfile) -> dict[str, Any]:
    """The tags that hold a CameraProfile, for write_dng or write_dcp."""
    tags: dict[str, Any] = {}
    simple = {"ProfileName": profile.name, "ColorMatrix1": profile.color_matrix1,
              "ColorMatrix2": profile.color_matrix2, "CameraCalibration1": profile.camera_calibration1,
              "CameraCalibration2": profile.camera_calibration2, "ForwardMatrix1": profile.forward_matrix1,
              "ForwardMatrix2": profile.forward_matrix2, "ProfileCopyright": profile.copyright,
              "ProfileEmbedPolicy": profile.embed_policy, "DefaultBlackRender": profile.default_black_render}
    tags.update({k: v for k, v in simple.items() if v is not None})
    if profile.illuminant1:
        tags["CalibrationIlluminant1"] = profile.illuminant1
    if profile.illuminant2:
        tags["CalibrationIlluminant2"] = profile.illuminant2
    if profile.tone_curve is not None:
        tags["ProfileToneCurve"] = np.asarray(profile.tone_curve, np.float32).ravel()
    if profile.baseline_exposure_offset:
        tags["BaselineExposureOffset"] = profile.baseline_exposure_offset
    tags.update(_table_tags(profile.hue_sat_map1, "ProfileHueSatMapData1", "ProfileHueSatMapDims",
                            "ProfileHueSatMapEncoding"))
    tags.update(_table_tags(profile.hue_sat_map2, "ProfileHueSatMapData2", "ProfileHueSatMapDims",
                            "ProfileHueSatMapEncoding"))
    tags.update(_table_tags(profile.look_table, "ProfileLookTableData", "ProfileLookTableDims",
                            "ProfileLookTableEncoding"))
    return tags


# ---------------------------------------------------------------- tag values

def _rational_pairs(values: Any, signed: bool) -> list[tuple[int, int]]:
    pairs = []
    limit = 2**31 - 1 if signed else 2**32 - 1
    for v in (values if isinstance(values, (list, tuple)) else np.ravel(values).tolist()):
        if isinstance(v, tuple):
            pairs.append((int(v[0]), int(v[1])))
            continue
        # The finest denominator whose numerator still fits the field.
        f = Fraction(float(v)).limit_denominator(max(1, min(1_000_000, limit // (abs(int(v)) + 1))))
        pairs.append((f.numerator, f.denominator))
    return pairs


def _entry(code: int, type_name: str, value: Any, order: str) -> _Entry:
    ftype = TYPE_CODES[type_name]
    if ftype == 2:
        payload = str(value).encode("ascii") + b"\x00"
        return _Entry(code, ftype, len(payload), payload)
    if ftype in (1, 7) and isinstance(value, (bytes, bytearray)):
        return _Entry(code, ftype, len(value), bytes(value))
    if ftype in (5, 10):
        pairs = _rational_pairs(value, signed=ftype == 10)
        fmt = "i" if ftype == 10 else "I"
        payload = b"".join(struct.pack(order + 2 * fmt, n, d) for n, d in pairs)
        return _Entry(code, ftype, len(pairs), payload)
    values = np.ravel(np.asarray(value))
    payload = np.ascontiguousarray(values, dtype=np.dtype(order + _FORMATS[ftype])).tobytes() \
        if ftype in (11, 12) else struct.pack(order + f"{values.size}{_FORMATS[ftype]}", *(int(v) for v in values))
    return _Entry(code, ftype, int(values.size), payload)


def _tag_value(name: str, value: Any) -> Any:
    if name.startswith("OpcodeList") and not isinstance(value, (bytes, Field)):
        return encode_opcode_list(value)
    if name == "ProfileGainTableMap" and isinstance(value, ProfileGainTableMap):
        return encode_gain_table_map(value)
    return value


def _entries(tags: Mapping[str, Any], order: str) -> dict[str, list[_Entry]]:
    """The entries of each IFD ("0", "raw") for the given tags."""
    out: dict[str, list[_Entry]] = {"0": [], "raw": []}
    for name, value in tags.items():
        if value is None:
            continue
        code, type_name, ifd = TAGS[name]
        value = _tag_value(name, value)
        if isinstance(value, Field):
            type_name, ifd, value = value.type, value.ifd or ifd, _tag_value(name, value.values)
        out[ifd].append(_entry(code, type_name, value, order))
    return out


# ---------------------------------------------------------------- pixel segments

def float24_bytes(values: npt.ArrayLike) -> npt.NDArray[np.uint8]:
    """Float32 values as the format's 24-bit floats (sign, 7 exponent bits of
    bias 63, 16 mantissa bits), most significant byte first, one row of 3
    bytes per value. The tests pick values that 24 bits hold exactly."""
    bits = np.ascontiguousarray(values, np.float32).ravel().view(np.uint32).astype(np.int64)
    sign, exponent, mantissa = bits >> 31, (bits >> 23) & 0xFF, bits & 0x7FFFFF
    exp24 = np.where(exponent == 0, 0, exponent - 127 + 63)
    if np.any((exp24 < 0) | (exp24 > 127)):
        raise ValueError("a value out of the 24-bit float's range")
    word = (sign << 23) | (exp24 << 16) | (mantissa >> 7)
    return np.stack([(word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF], axis=1).astype(np.uint8)


def _pack_bits(rows: npt.NDArray[np.integer[Any]], bits: int) -> bytes:
    """Samples of ``bits`` bits packed most significant bit first, each row
    starting on a byte."""
    shifts = np.arange(bits - 1, -1, -1)
    flat = rows.reshape(rows.shape[0], -1).astype(np.uint32)
    b = ((flat[..., None] >> shifts) & 1).astype(np.uint8).reshape(rows.shape[0], -1)
    b = np.pad(b, ((0, 0), (0, (-b.shape[1]) % 8)))
    return np.packbits(b, axis=1).tobytes()


def _sample_bytes(seg: np.ndarray, bits: int, order: str) -> npt.NDArray[np.uint8]:
    """(rows, cols, samples) as bytes per row: (rows, row bytes)."""
    rows = seg.shape[0]
    if seg.dtype.kind == "f":
        if bits == 24:
            words = float24_bytes(seg)
            return (words if order == ">" else words[:, ::-1]).reshape(rows, -1)
        dtype = np.dtype(order + ("f2" if bits == 16 else "f4"))
        return np.ascontiguousarray(seg, dtype=dtype).view(np.uint8).reshape(rows, -1)
    if bits in (8, 16):
        dtype = np.dtype(order + ("u1" if bits == 8 else "u2"))
        return np.ascontiguousarray(seg, dtype=dtype).view(np.uint8).reshape(rows, -1)
    return np.frombuffer(_pack_bits(seg, bits), np.uint8).reshape(rows, -1)


def _predict(seg: np.ndarray, predictor: int, bits: int, order: str) -> npt.NDArray[np.uint8]:
    """The segment with the predictor applied, as bytes per row."""
    samples = seg.shape[2]
    if predictor in (2, 34892, 34893):
        dist = {2: 1, 34892: 2, 34893: 4}[predictor] * samples
        flat = seg.reshape(seg.shape[0], -1).astype(seg.dtype)
        out = flat.copy()
        out[:, dist:] = flat[:, dist:] - flat[:, :-dist]  # unsigned: wraps, as the decoder's sum does
        return _sample_bytes(out.reshape(seg.shape), bits, order)
    if predictor in (3, 34894, 34895):
        # Byte planes, most significant first, whatever the file's byte order;
        # then differences between bytes one pixel (2, 4 pixels) apart.
        dist = {3: 1, 34894: 2, 34895: 4}[predictor] * samples
        per_sample = bits // 8
        rows = seg.shape[0]
        big = _sample_bytes(seg, bits, ">").reshape(rows, -1, per_sample)
        planes = big.transpose(0, 2, 1).reshape(rows, -1).astype(np.int16)
        out = planes.copy()
        out[:, dist:] = planes[:, dist:] - planes[:, :-dist]
        return (out & 0xFF).astype(np.uint8)
    return _sample_bytes(seg, bits, order)


def _encode_segment(seg: np.ndarray, compression: str, bits: int, predictor: int, order: str,
                    ljpeg_components: int) -> bytes:
    if compression == "none":
        return _predict(seg, predictor, bits, order).tobytes()
    if compression == "deflate":
        return zlib.compress(_predict(seg, predictor, bits, order).tobytes(), 6)
    import imagecodecs
    if compression == "ljpeg":
        rows, cols, samples = seg.shape
        comps = ljpeg_components if samples == 1 else samples
        data = seg.reshape(rows, cols * samples // comps, comps)
        if comps == 1:
            data = data[:, :, 0]
        data = data.astype(np.uint8 if bits == 8 else np.uint16)
        return bytes(imagecodecs.jpeg8_encode(data, lossless=True, bitspersample=bits))
    if compression == "jpeg":
        data = seg.astype(np.uint8)
        return bytes(imagecodecs.jpeg8_encode(data[:, :, 0] if seg.shape[2] == 1 else data, level=95))
    raise ValueError(f"unknown compression {compression!r}")


def _segments(stored: np.ndarray, tile: Optional[tuple[int, int]], rows_per_strip: Optional[int],
              planar: bool) -> tuple[list[np.ndarray], int, int]:
    """The image cut into strips or tiles (edge tiles padded with zeros),
    plane after plane when planar; and the segment height and width."""
    h, w, s = stored.shape
    planes = [stored[:, :, i:i + 1] for i in range(s)] if planar else [stored]
    seg_h, seg_w = tile if tile else (rows_per_strip or h, w)
    out = []
    for plane in planes:
        for y in range(0, h, seg_h):
            for x in range(0, w, seg_w):
                part = plane[y:y + seg_h, x:x + seg_w]
                if tile:
                    padded = np.zeros((seg_h, seg_w, plane.shape[2]), plane.dtype)
                    padded[:part.shape[0], :part.shape[1]] = part
                    part = padded
                out.append(part)
    return out, seg_h, seg_w


# ---------------------------------------------------------------- the TIFF file

class _TiffBuilder:
    """Lays out a classic TIFF: header, data blocks, then IFDs, each value
    that does not fit in its entry placed right after its IFD."""

    def __init__(self, order: str, magic: int = 42):
        self.order = order
        self.out = bytearray(b"II" if order == "<" else b"MM")
        self.out += struct.pack(order + "HI", magic, 0)

    def block(self, data: bytes) -> int:
        if len(self.out) % 2:
            self.out += b"\x00"
        offset = len(self.out)
        self.out += data
        return offset

    def ifd(self, entries: list[_Entry]) -> int:
        if len(self.out) % 2:
            self.out += b"\x00"
        entries = sorted(entries, key=lambda e: e.code)
        start = len(self.out)
        values_at = start + 2 + 12 * len(entries) + 4
        table, values = bytearray(struct.pack(self.order + "H", len(entries))), bytearray()
        for e in entries:
            table += struct.pack(self.order + "HHI", e.code, e.type, e.count)
            if len(e.payload) <= 4:
                table += e.payload.ljust(4, b"\x00")
            else:
                table += struct.pack(self.order + "I", values_at + len(values))
                values += e.payload + (b"\x00" if len(e.payload) % 2 else b"")
        table += struct.pack(self.order + "I", 0)
        self.out += table + values
        return start

    def finish(self, ifd0: int) -> bytes:
        struct.pack_into(self.order + "I", self.out, 4, ifd0)
        return bytes(self.out)


def _image_entries(b: _TiffBuilder, stored: np.ndarray, *, bits: int, compression: str, predictor: int,
                   tile: Optional[tuple[int, int]], rows_per_strip: Optional[int], planar: bool,
                   photometric: int, subfile: int, ljpeg_components: int) -> list[_Entry]:
    o = b.order
    segs, seg_h, seg_w = _segments(stored, tile, rows_per_strip, planar)
    offsets, counts = [], []
    for seg in segs:
        data = _encode_segment(seg, compression, bits, predictor, o, ljpeg_components)
        offsets.append(b.block(data))
        counts.append(len(data))
    h, w, s = stored.shape
    entries = [
        _entry(254, "LONG", subfile, o), _entry(256, "LONG", w, o), _entry(257, "LONG", h, o),
        _entry(258, "SHORT", [bits] * s, o), _entry(259, "SHORT", COMPRESSION_CODES[compression], o),
        _entry(262, "SHORT", photometric, o), _entry(277, "SHORT", s, o),
        _entry(284, "SHORT", 2 if planar else 1, o),
    ]
    if stored.dtype.kind == "f":
        entries.append(_entry(339, "SHORT", [3] * s, o))
    if predictor != 1:
        entries.append(_entry(317, "SHORT", predictor, o))
    if tile:
        entries += [_entry(322, "LONG", seg_w, o), _entry(323, "LONG", seg_h, o),
                    _entry(324, "LONG", offsets, o), _entry(325, "LONG", counts, o)]
    else:
        entries += [_entry(278, "LONG", seg_h, o), _entry(273, "LONG", offsets, o), _entry(279, "LONG", counts, o)]
    return entries


def _merge(base: list[_Entry], extra: list[_Entry]) -> list[_Entry]:
    codes = {e.code for e in extra}
    return [e for e in base if e.code not in codes] + extra


def write_dng(path: PathLike, stored: npt.ArrayLike, *, byteorder: str = "<", bits: Optional[int] = None,
              compression: str = "none", predictor: int = 1, tile: Optional[tuple[int, int]] = None,
              rows_per_strip: Optional[int] = None, planar: bool = False, preview: bool = True,
              subifds_before: int = 0, subifds_type: str = "LONG", photometric: Optional[int] = None,
              ljpeg_components: int = 2, **tags: Any) -> None:
    """Writes ``stored`` ((H, W) CFA mosaic or (H, W, samples) linear image;
    uint8/uint16 or float16/float32) as a DNG.

    bits : BitsPerSample (default the dtype's; 9 to 15 pack integers, 24
        writes 24-bit floats). compression : "none", "deflate", "ljpeg"
        (lossless JPEG, a CFA segment as ``ljpeg_components`` interleaved
        components) or "jpeg" (lossy, 8-bit). predictor : with "none" or
        "deflate", 2, 3 or 34892 to 34895. tile : (height, width), else strips
        of ``rows_per_strip``. preview : IFD0 holds a small preview and the
        raw image is a SubIFD, after ``subifds_before`` reduced copies; else
        the raw image is IFD0; the SubIFDs tag is of ``subifds_type`` (LONG
        or IFD). tags : DNG tags by name (see TAGS), values as
        numbers, arrays, text, bytes, Opcode lists, a ProfileGainTableMap, or
        Field for a chosen field type; None leaves out a default tag."""
    array = np.asarray(stored)
    is_cfa = array.ndim == 2
    array3 = array[:, :, None] if is_cfa else array
    nbits = bits or {"u1": 8, "u2": 16, "f2": 16, "f4": 32}[array.dtype.str[1:]]
    defaults: dict[str, Any] = {"DNGVersion": b"\x01\x06\x00\x00", "DNGBackwardVersion": b"\x01\x01\x00\x00",
                                "UniqueCameraModel": "pyxa test camera", "Make": "pyxa", "Model": "test"}
    if is_cfa:
        defaults.update({"CFARepeatPatternDim": (2, 2), "CFAPattern": b"\x00\x01\x01\x02"})
    merged = {**defaults, **tags}
    by_ifd = _entries(merged, byteorder)
    b = _TiffBuilder(byteorder)
    raw = _image_entries(b, array3, bits=nbits, compression=compression, predictor=predictor, tile=tile,
                         rows_per_strip=rows_per_strip, planar=planar,
                         photometric=photometric or (32803 if is_cfa else 34892), subfile=0,
                         ljpeg_components=ljpeg_components)
    raw = _merge(raw, by_ifd["raw"])
    if not preview:
        return _save(path, b.finish(b.ifd(_merge(raw, by_ifd["0"]))))
    thumb = np.full((8, 8, 3), 128, np.uint8)
    decoys = []
    for _ in range(subifds_before):
        small = array3[::2, ::2]
        decoys.append(b.ifd(_image_entries(b, small, bits=nbits, compression="none", predictor=1, tile=None,
                                           rows_per_strip=None, planar=False,
                                           photometric=photometric or (32803 if is_cfa else 34892), subfile=1,
                                           ljpeg_components=2)))
    main = b.ifd(raw)
    ifd0 = _image_entries(b, thumb, bits=8, compression="none", predictor=1, tile=None, rows_per_strip=None,
                          planar=False, photometric=2, subfile=1, ljpeg_components=2)
    ifd0 = _merge(ifd0, by_ifd["0"] + [_entry(330, subifds_type, decoys + [main], byteorder)])
    _save(path, b.finish(b.ifd(ifd0)))


def write_dcp(path: PathLike, *, byteorder: str = "<", magic: int = 0x4352, **tags: Any) -> None:
    """Writes a DCP camera profile: one IFD of the given profile tags."""
    by_ifd = _entries(tags, byteorder)
    b = _TiffBuilder(byteorder, magic)
    _save(path, b.finish(b.ifd(by_ifd["0"] + by_ifd["raw"])))


def _save(path: PathLike, data: bytes) -> None:
    with open(path, "wb") as f:
        f.write(data)
