"""Placing the ICC profile (ICCP), EXIF and XMP chunks into a WebP stream from
the encoder, turning a simple (VP8/VP8L) file into the extended (VP8X) form
that carries them."""

from __future__ import annotations

import struct

__all__ = ["embed_webp"]

_ICC_FLAG, _ALPHA_FLAG, _EXIF_FLAG, _XMP_FLAG = 0x20, 0x10, 0x08, 0x04


def _chunk(kind: bytes, data: bytes) -> bytes:
    return kind + struct.pack("<I", len(data)) + data + b"\0" * (len(data) & 1)


def _chunks(webp: bytes) -> list[tuple[bytes, bytes]]:
    if webp[:4] != b"RIFF" or webp[8:12] != b"WEBP":
        raise ValueError("the WebP encoder's output is not a RIFF WEBP stream")
    end = min(len(webp), 8 + struct.unpack("<I", webp[4:8])[0])
    out, pos = [], 12
    while pos + 8 <= end:
        kind, size = webp[pos:pos + 4], struct.unpack("<I", webp[pos + 4:pos + 8])[0]
        out.append((kind, webp[pos + 8:pos + 8 + size]))
        pos += 8 + size + (size & 1)
    return out


def embed_webp(webp: bytes, width: int, height: int, icc: bytes | None, exif: bytes | None,
               xmp: bytes | None) -> bytes:
    """The WebP with the given profile and metadata chunks, in the order
    readers require: VP8X, ICCP, image data, EXIF, XMP."""
    if icc is None and exif is None and xmp is None:
        return webp
    chunks = _chunks(webp)
    flags = 0
    image = []
    for kind, data in chunks:
        if kind == b"VP8X":
            flags |= data[0] & _ALPHA_FLAG
        elif kind in (b"ALPH", b"VP8 ", b"VP8L"):
            image.append(_chunk(kind, data))
            if kind == b"ALPH" or (kind == b"VP8L" and len(data) > 4 and data[4] & 0x10):
                flags |= _ALPHA_FLAG
    flags |= (_ICC_FLAG if icc is not None else 0) | (_EXIF_FLAG if exif is not None else 0)
    flags |= _XMP_FLAG if xmp is not None else 0
    vp8x = bytes((flags, 0, 0, 0)) + (width - 1).to_bytes(3, "little") + (height - 1).to_bytes(3, "little")
    body = [_chunk(b"VP8X", vp8x)]
    if icc is not None:
        body.append(_chunk(b"ICCP", icc))
    body += image
    if exif is not None:
        body.append(_chunk(b"EXIF", exif))
    if xmp is not None:
        body.append(_chunk(b"XMP ", xmp))
    payload = b"WEBP" + b"".join(body)
    return b"RIFF" + struct.pack("<I", len(payload)) + payload
