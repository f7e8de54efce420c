"""Placing the ICC profile (iCCP), EXIF (eXIf) and XMP (iTXt) chunks into a
PNG stream from the encoder, right after its header chunk."""

from __future__ import annotations

import struct
import zlib

__all__ = ["png_pieces"]

_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def _chunk(kind: bytes, data: bytes) -> bytes:
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_pieces(png: bytes | memoryview, icc: bytes | None, icc_name: str, exif: bytes | None,
               xmp: bytes | None) -> tuple[bytes | memoryview, ...]:
    """The PNG with the given profile (named ``icc_name``) and metadata chunks
    added, all before the image data, where readers look for them: as the
    pieces of the file in order (views of ``png`` around the new chunks), so
    that a 100 MB image is written without being copied into one buffer."""
    view = memoryview(png).cast("B")
    head = bytes(view[:16])
    if head[:8] != _SIGNATURE or head[12:16] != b"IHDR":
        raise ValueError("the PNG encoder's output does not start with a PNG signature and header chunk")
    header_end = 8 + 12 + struct.unpack(">I", head[8:12])[0]
    chunks = []
    if icc is not None:
        # The profile name is 1 to 79 Latin-1 characters; compression method 0 (zlib).
        name = icc_name.encode("latin-1", "replace")[:79] or b"ICC"
        chunks.append(_chunk(b"iCCP", name + b"\0\0" + zlib.compress(icc)))
    if exif is not None:
        chunks.append(_chunk(b"eXIf", exif))
    if xmp is not None:
        # Uncompressed international text under the keyword XMP readers look for.
        chunks.append(_chunk(b"iTXt", b"XML:com.adobe.xmp\0\0\0\0\0" + xmp))
    return (view[:header_end], *chunks, view[header_end:])
