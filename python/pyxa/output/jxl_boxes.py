"""Placing EXIF ('Exif') and XMP ('xml ') boxes into a JPEG XL file from the
encoder, which is asked for the box container; a bare codestream is wrapped
into one first."""

from __future__ import annotations

import struct

__all__ = ["embed_jxl_metadata", "jxl_codestream_span"]

_SIGNATURE_BOX = b"\0\0\0\x0cJXL \r\n\x87\n"
_FTYP = b"\0\0\0\x14ftypjxl \0\0\0\0jxl "


def _box(kind: bytes, body: bytes) -> bytes:
    return struct.pack(">I4s", len(body) + 8, kind) + body


def jxl_codestream_span(jxl: bytes) -> tuple[int, int, int]:
    """Where the codestream lies in a JPEG XL file: (box start, start, end) of
    the single 'jxlc' box and its body, or (0, 0, length) for a bare codestream."""
    if jxl[:2] == b"\xff\x0a":
        return 0, 0, len(jxl)
    pos = 0
    while pos + 8 <= len(jxl):
        size, kind = struct.unpack(">I4s", jxl[pos:pos + 8])
        header = 8
        if size == 1:
            size, header = struct.unpack(">Q", jxl[pos + 8:pos + 16])[0], 16
        elif size == 0:
            size = len(jxl) - pos
        if size < header:
            break
        if kind == b"jxlc":
            return pos, pos + header, pos + size
        pos += size
    raise ValueError("the JPEG XL encoder's output has no single codestream box ('jxlc')")


def embed_jxl_metadata(jxl: bytes, exif: bytes | None, xmp: bytes | None) -> bytes:
    """The JPEG XL file with the metadata boxes before its codestream."""
    if exif is None and xmp is None:
        return jxl
    box_start, start, _ = jxl_codestream_span(jxl)
    if start == 0:
        head, codestream = _SIGNATURE_BOX + _FTYP, _box(b"jxlc", jxl)
    else:
        head, codestream = jxl[:box_start], jxl[box_start:]
    boxes = []
    if exif is not None:
        # The Exif box starts with the offset of the TIFF header within it.
        boxes.append(_box(b"Exif", b"\0\0\0\0" + exif))
    if xmp is not None:
        boxes.append(_box(b"xml ", xmp))
    return b"".join((head, *boxes, codestream))
