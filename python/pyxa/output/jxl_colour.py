"""Stating the output space in a lossless JPEG XL codestream's own colour
encoding. The encoder takes no colour option (it declares 8-bit samples
sRGB and 16-bit samples linear sRGB), and JPEG XL keeps its colour in the
codestream header rather than in a box, so the header fields are read and
written again with the space's primaries, white and curve. Only headers
without XYB are rewritten: there the samples are stored as given, and the
header alone says what they mean."""

from __future__ import annotations

from .spaces import D65, OutputSpace

__all__ = ["restate_colour"]

# Enumerated values of the colour encoding fields.
_RGB, _XYB = 0, 2
_WHITE_D65, _CUSTOM = 1, 2
_PRIMARIES_SRGB, _PRIMARIES_2100, _PRIMARIES_P3 = 1, 9, 11
_TF_709, _TF_LINEAR, _TF_SRGB = 1, 8, 13
_INTENT_RELATIVE = 1
_ENUM = ((0, 0), (1, 0), (2, 4), (18, 6))  # U32 distributions: (offset, bits)
_SIZE = ((1, 9), (1, 13), (1, 18), (1, 30))
_XY = ((0, 19), (524288, 19), (1048576, 20), (2097152, 21))


class _Reader:
    def __init__(self, data: bytes) -> None:
        self.data, self.pos = data, 0

    def bits(self, n: int) -> int:
        if self.pos + n > 8 * len(self.data):
            raise ValueError("the JPEG XL codestream header is truncated")
        value = 0
        for i in range(n):
            value |= ((self.data[(self.pos + i) >> 3] >> ((self.pos + i) & 7)) & 1) << i
        self.pos += n
        return value

    def u32(self, dist: tuple[tuple[int, int], ...]) -> int:
        offset, n = dist[self.bits(2)]
        return offset + self.bits(n)


class _Writer:
    def __init__(self) -> None:
        self.value, self.count = 0, 0

    def bits(self, n: int, value: int) -> None:
        self.value |= value << self.count
        self.count += n

    def u32(self, dist: tuple[tuple[int, int], ...], value: int) -> None:
        for selector, (offset, n) in enumerate(dist):
            if offset <= value < offset + (1 << n) and (n or value == offset):
                self.bits(2, selector)
                self.bits(n, value - offset)
                return
        raise ValueError(f"{value} cannot be written in this field")

    def copy(self, reader: _Reader, start: int, end: int) -> None:
        saved, reader.pos = reader.pos, start
        while reader.pos < end:
            n = min(32, end - reader.pos)
            self.bits(n, reader.bits(n))
        reader.pos = saved

    def to_bytes(self) -> bytes:
        return self.value.to_bytes((self.count + 7) // 8, "little")


def _skip_size(r: _Reader) -> None:
    small = r.bits(1)
    if small:
        r.bits(5)
    else:
        r.u32(_SIZE)
    if r.bits(3) == 0:  # no fixed ratio of width to height: the width follows
        if small:
            r.bits(5)
        else:
            r.u32(_SIZE)


def _colour_span(r: _Reader) -> tuple[int, int, bool]:
    """Reads the image metadata up to its colour encoding: (start, end) of the
    colour encoding bits and whether samples are XYB; ValueError for headers
    this rewriter does not know (extra fields, extra channels)."""
    if r.bits(1):  # all defaults: 8-bit sRGB with XYB
        raise ValueError("the JPEG XL encoder wrote default image metadata, which cannot be restated in place")
    if r.bits(1):
        raise ValueError("the JPEG XL encoder wrote extra header fields, which cannot be restated in place")
    if r.bits(1):  # float samples
        r.u32(((32, 0), (16, 0), (24, 0), (1, 6)))
        r.bits(4)
    else:
        r.u32(((8, 0), (10, 0), (12, 0), (1, 6)))
    r.bits(1)  # 16-bit buffers suffice
    if r.u32(((0, 0), (1, 0), (2, 4), (1, 12))):
        raise ValueError("the JPEG XL encoder wrote extra channels, which cannot be restated in place")
    xyb = bool(r.bits(1))
    start = r.pos
    if not r.bits(1):  # not all default: read the fields to find their end
        want_icc = r.bits(1)
        space = r.u32(_ENUM)
        if want_icc or space != _RGB:
            raise ValueError("the JPEG XL encoder wrote an ICC or non-RGB colour encoding")
        if r.u32(_ENUM) == _CUSTOM:
            r.u32(_XY), r.u32(_XY)
        if r.u32(_ENUM) == _CUSTOM:
            for _ in range(6):
                r.u32(_XY)
        if r.bits(1):
            r.bits(24)
        else:
            r.u32(_ENUM)
        r.u32(_ENUM)
    return start, r.pos, xyb


def _write_xy(w: _Writer, xy: tuple[float, float]) -> None:
    for v in xy:
        n = round(v * 1e6)
        w.u32(_XY, 2 * n if n >= 0 else -2 * n - 1)


def _write_colour(w: _Writer, s: OutputSpace) -> None:
    w.bits(1, 0)  # not all default
    w.bits(1, 0)  # no ICC profile: enumerated fields
    w.u32(_ENUM, _RGB)
    if s.white == D65:
        w.u32(_ENUM, _WHITE_D65)
    else:
        w.u32(_ENUM, _CUSTOM)
        _write_xy(w, s.white)
    known = {1: _PRIMARIES_SRGB, 12: _PRIMARIES_P3, 9: _PRIMARIES_2100}.get(s.cicp_primaries)
    if known is not None and s.white == D65:
        w.u32(_ENUM, known)
    else:
        w.u32(_ENUM, _CUSTOM)
        for i in range(3):
            _write_xy(w, (s.primaries[2 * i], s.primaries[2 * i + 1]))
    transfer = {13: _TF_SRGB, 1: _TF_709, 8: _TF_LINEAR}.get(s.cicp_transfer)
    if transfer is not None:
        w.bits(1, 0)
        w.u32(_ENUM, transfer)
    else:
        # A pure power (the exponent of encoding, times 10^7). ROMM's linear
        # toe below 1/512 has no field here; the power alone differs from it
        # only in the lowest 1/32 of the stored range.
        w.bits(1, 1)
        w.bits(24, round(1e7 / s.gamma))
    w.u32(_ENUM, _INTENT_RELATIVE)


def restate_colour(codestream: bytes, space: OutputSpace) -> bytes:
    """The codestream with its colour encoding replaced by ``space``'s."""
    if codestream[:2] != b"\xff\x0a":
        raise ValueError("the JPEG XL encoder's output has no codestream signature")
    r = _Reader(codestream[:4096])
    r.pos = 16
    _skip_size(r)
    start, end, xyb = _colour_span(r)
    if xyb:
        raise ValueError("the JPEG XL encoder stored XYB samples, whose colour cannot be restated")
    rest = _after_metadata(r)
    w = _Writer()
    w.copy(r, 0, start)
    _write_colour(w, space)
    w.copy(r, end, rest)
    return w.to_bytes() + codestream[(rest + 7) // 8:]


def _after_metadata(r: _Reader) -> int:
    """Reads the fields after the colour encoding (extensions, then the
    transform data) and returns the bit where the padding to the first frame
    starts."""
    if _u64(r):
        raise ValueError("the JPEG XL encoder wrote header extensions, which cannot be restated in place")
    if not r.bits(1):
        raise ValueError("the JPEG XL encoder wrote custom transform data, which cannot be restated in place")
    return r.pos


def _u64(r: _Reader) -> int:
    selector = r.bits(2)
    if selector == 0:
        return 0
    if selector == 1:
        return 1 + r.bits(4)
    if selector == 2:
        return 17 + r.bits(8)
    value, shift = r.bits(12), 12
    while r.bits(1):
        if shift == 60:
            return value | r.bits(4) << shift
        value |= r.bits(8) << shift
        shift += 8
    return value
