"""ICC profiles of the output spaces, made by littleCMS (through imagecodecs'
``cms_profile``) from each space's primaries and white, then given the
space's own name and, where the curve has a linear toe, its exact curve."""

from __future__ import annotations

import hashlib
import struct

from .spaces import OutputSpace, output_space

__all__ = ["icc_profile", "make_icc_profile"]

_HEADER = 128
_MADE_ON = (2025, 1, 1, 0, 0, 0)


_MADE: dict[str, bytes] = {}


def icc_profile(space: str) -> bytes:
    """The ICC profile (version 4, display class) of the output space
    ``space``, made once per process."""
    if space not in _MADE:
        _MADE[space] = make_icc_profile(space)
    return _MADE[space]


def make_icc_profile(space: str) -> bytes:
    """Makes the ICC profile of ``space`` anew (``icc_profile`` keeps them)."""
    s = output_space(space)
    try:
        import imagecodecs
    except ImportError:
        raise ImportError("embedding ICC profiles needs imagecodecs: pip install 'pyxa[raw]'") from None
    x, y = s.white
    # littleCMS makes the matrix, white and chromatic adaptation tags; a pure
    # power curve it writes itself, compactly.
    made = imagecodecs.cms_profile("rgb", whitepoint=[x, y], primaries=list(s.primaries), gamma=s.gamma)
    replaced = {b"desc": _mluc(s.title)}
    if s.d > 0.0:
        # Its only way to a piecewise curve is a sampled table (25 KB for
        # every image); the five-number form is exact and 32 bytes.
        curve = _para(s)
        replaced.update({b"rTRC": curve, b"gTRC": curve, b"bTRC": curve})
    return _with_tags(made, replaced)


def _s15f16(v: float) -> bytes:
    return struct.pack(">i", round(v * 65536))


def _para(s: OutputSpace) -> bytes:
    # Function type 3: Y = (a·X + b)^g for X >= d, c·X below.
    return b"para\0\0\0\0" + struct.pack(">HH", 3, 0) + b"".join(_s15f16(v) for v in (s.gamma, s.a, s.b, s.c, s.d))


def _mluc(text: str) -> bytes:
    utf16 = text.encode("utf-16-be")
    return b"mluc\0\0\0\0" + struct.pack(">II2s2sII", 1, 12, b"en", b"US", len(utf16), 28) + utf16


def _with_tags(profile: bytes, replaced: dict[bytes, bytes]) -> bytes:
    """The profile with some tags' data replaced, tag data repacked in the
    original order (shared data stays shared) and the profile ID recomputed."""
    count = struct.unpack(">I", profile[_HEADER:_HEADER + 4])[0]
    entries = [struct.unpack(">4sII", profile[_HEADER + 4 + 12 * i:_HEADER + 16 + 12 * i]) for i in range(count)]
    table_end = _HEADER + 4 + 12 * count
    body = bytearray()
    placed: dict[bytes, int] = {}
    table = bytearray(struct.pack(">I", count))
    for sig, offset, size in entries:
        data = replaced.get(sig, profile[offset:offset + size])
        if data not in placed:
            placed[data] = table_end + len(body)
            body += data + b"\0" * (-len(data) % 4)
        table += struct.pack(">4sII", sig, placed[data], len(data))
    out = bytearray(profile[:_HEADER]) + table + body
    out[0:4] = struct.pack(">I", len(out))
    # littleCMS stamps the time of making; a fixed date keeps the same image
    # the same bytes whenever and wherever it is written.
    out[24:36] = struct.pack(">6H", *_MADE_ON)
    out[84:100] = _profile_id(bytes(out))
    return bytes(out)


def _profile_id(profile: bytes) -> bytes:
    # MD5 of the profile with the flags, rendering intent and ID fields zeroed.
    p = bytearray(profile)
    p[44:48] = p[64:68] = b"\0" * 4
    p[84:100] = b"\0" * 16
    return hashlib.md5(p).digest()
