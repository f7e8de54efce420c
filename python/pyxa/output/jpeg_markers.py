"""Placing the ICC profile (APP2), EXIF (APP1) and XMP (APP1) segments into a
JPEG stream from the encoder, right after its JFIF segment."""

from __future__ import annotations

import struct

__all__ = ["embed_jpeg"]

_SEGMENT_MAX = 65533  # a segment's length field counts itself: 65535 - 2
_ICC_NAME = b"ICC_PROFILE\0"
_EXIF_NAME = b"Exif\0\0"
_XMP_NAME = b"http://ns.adobe.com/xap/1.0/\0"


def _segment(marker: int, payload: bytes) -> bytes:
    return struct.pack(">HH", marker, len(payload) + 2) + payload


def _icc_segments(icc: bytes) -> list[bytes]:
    # A profile longer than one segment is cut into numbered chunks (1-based,
    # at most 255 of them).
    room = _SEGMENT_MAX - len(_ICC_NAME) - 2
    chunks = [icc[i:i + room] for i in range(0, len(icc), room)]
    if len(chunks) > 255:
        raise ValueError(f"an ICC profile of {len(icc)} bytes does not fit in JPEG's 255 APP2 segments")
    return [_segment(0xFFE2, _ICC_NAME + bytes((i + 1, len(chunks))) + c) for i, c in enumerate(chunks)]


def _after_jfif(jpeg: bytes) -> int:
    if jpeg[:2] != b"\xff\xd8":
        raise ValueError("the JPEG encoder's output does not start with a start-of-image marker")
    pos = 2
    if jpeg[pos:pos + 2] == b"\xff\xe0":
        pos += 2 + struct.unpack(">H", jpeg[pos + 2:pos + 4])[0]
    return pos


def embed_jpeg(jpeg: bytes, icc: bytes | None, exif: bytes | None, xmp: bytes | None) -> bytes:
    """The JPEG with the given profile and metadata segments added (EXIF and
    XMP each must fit one segment; ValueError says which does not)."""
    segments = []
    for name, data, prefix in (("EXIF", exif, _EXIF_NAME), ("XMP", xmp, _XMP_NAME)):
        if data is None:
            continue
        if len(prefix) + len(data) > _SEGMENT_MAX:
            raise ValueError(f"{name} metadata of {len(data)} bytes does not fit in one JPEG segment "
                             f"({_SEGMENT_MAX - len(prefix)} at most); strip the metadata to write this file")
        segments.append(_segment(0xFFE1, prefix + data))
    if icc is not None:
        segments += _icc_segments(icc)
    pos = _after_jfif(jpeg)
    # Views, not slices: the file is copied once, into the result.
    view = memoryview(jpeg)
    return b"".join((view[:pos], *segments, view[pos:]))
