"""Placing the ICC profile (a 'colr' property of type 'prof' on the primary
item), EXIF and XMP (items described by the primary item, data in a new 'mdat'
at the end) into an AVIF file from the encoder, whose boxes carry no such
option. Item locations that point past the grown 'meta' box are moved with it."""

from __future__ import annotations

import struct
from dataclasses import dataclass, field

__all__ = ["embed_avif"]


@dataclass
class _Box:
    kind: bytes
    body: bytes  # everything after the 8-byte header (version and flags included for full boxes)


def _parse(data: bytes, start: int, end: int) -> list[_Box]:
    boxes, pos = [], start
    while pos + 8 <= end:
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        header = 8
        if size == 1:
            size, header = struct.unpack(">Q", data[pos + 8:pos + 16])[0], 16
        elif size == 0:
            size = end - pos
        if size < header or pos + size > end:
            raise ValueError(f"the AVIF encoder's output has a malformed {kind!r} box")
        boxes.append(_Box(kind, data[pos + header:pos + size]))
        pos += size
    return boxes


def _pack(kind: bytes, body: bytes) -> bytes:
    if len(body) + 8 > 0xFFFFFFFF:
        return struct.pack(">I4sQ", 1, kind, len(body) + 16) + body
    return struct.pack(">I4s", len(body) + 8, kind) + body


def _find(boxes: list[_Box], kind: bytes) -> _Box:
    for box in boxes:
        if box.kind == kind:
            return box
    raise ValueError(f"the AVIF encoder's output has no {kind.decode()!r} box")


@dataclass
class _Location:
    item: int
    method: int
    reference: int
    base: int
    extents: list[tuple[int, int, int]] = field(default_factory=list)  # (index, offset, length)


@dataclass
class _Iloc:
    version: int
    flags: bytes
    offset_size: int
    length_size: int
    base_size: int
    index_size: int
    items: list[_Location]


def _uint(data: bytes, pos: int, size: int) -> int:
    return int.from_bytes(data[pos:pos + size], "big") if size else 0


def _read_iloc(body: bytes) -> _Iloc:
    version, flags = body[0], body[1:4]
    offset_size, length_size = body[4] >> 4, body[4] & 15
    base_size, index_size = body[5] >> 4, (body[5] & 15) if version in (1, 2) else 0
    count_size = 4 if version == 2 else 2
    count, pos = _uint(body, 6, count_size), 6 + count_size
    items = []
    for _ in range(count):
        item = _uint(body, pos, count_size)
        pos += count_size
        method = 0
        if version in (1, 2):
            method, pos = _uint(body, pos, 2) & 15, pos + 2
        reference, base = _uint(body, pos, 2), _uint(body, pos + 2, base_size)
        pos += 2 + base_size
        extent_count, pos = _uint(body, pos, 2), pos + 2
        loc = _Location(item, method, reference, base)
        for _ in range(extent_count):
            index = _uint(body, pos, index_size)
            pos += index_size
            offset, length = _uint(body, pos, offset_size), _uint(body, pos + offset_size, length_size)
            pos += offset_size + length_size
            loc.extents.append((index, offset, length))
        items.append(loc)
    return _Iloc(version, flags, offset_size, length_size, base_size, index_size, items)


def _write_iloc(iloc: _Iloc) -> bytes:
    count_size = 4 if iloc.version == 2 else 2
    out = bytearray(bytes((iloc.version,)) + iloc.flags)
    out += bytes((iloc.offset_size << 4 | iloc.length_size, iloc.base_size << 4 | iloc.index_size))
    out += len(iloc.items).to_bytes(count_size, "big")
    for loc in iloc.items:
        out += loc.item.to_bytes(count_size, "big")
        if iloc.version in (1, 2):
            out += loc.method.to_bytes(2, "big")
        out += loc.reference.to_bytes(2, "big") + loc.base.to_bytes(iloc.base_size, "big")
        out += len(loc.extents).to_bytes(2, "big")
        for index, offset, length in loc.extents:
            out += index.to_bytes(iloc.index_size, "big") + offset.to_bytes(iloc.offset_size, "big")
            out += length.to_bytes(iloc.length_size, "big")
    return bytes(out)


def _add_property(meta: list[_Box], primary: int, prop: bytes) -> None:
    iprp = _find(meta, b"iprp")
    inner = _parse(iprp.body, 0, len(iprp.body))
    ipco, ipma = _find(inner, b"ipco"), _find(inner, b"ipma")
    index = len(_parse(ipco.body, 0, len(ipco.body))) + 1
    ipco.body += prop
    version, flags = ipma.body[0], ipma.body[3]
    wide_ids, wide_index = version >= 1, bool(flags & 1)
    if index > (0x7FFF if wide_index else 0x7F):
        raise ValueError("the AVIF encoder's output has too many properties to add the ICC profile")
    body, pos = bytearray(ipma.body[:8]), 8
    for _ in range(struct.unpack(">I", ipma.body[4:8])[0]):
        id_size = 4 if wide_ids else 2
        item, n = _uint(ipma.body, pos, id_size), ipma.body[pos + id_size]
        assoc_size = 2 if wide_index else 1
        assocs = ipma.body[pos + id_size + 1:pos + id_size + 1 + n * assoc_size]
        pos += id_size + 1 + n * assoc_size
        if item == primary:
            n, assocs = n + 1, assocs + index.to_bytes(assoc_size, "big")
        body += item.to_bytes(id_size, "big") + bytes((n,)) + assocs
    ipma.body = bytes(body)
    iprp.body = b"".join(_pack(b.kind, b.body) for b in inner)


def _add_items(meta: list[_Box], primary: int, items: list[tuple[bytes, bytes]]) -> list[int]:
    """Adds items (type, then the bytes its entry ends with) that describe the primary item; returns their ids."""
    iinf = _find(meta, b"iinf")
    version = iinf.body[0]
    count_size = 4 if version else 2
    entries = _parse(iinf.body, 4 + count_size, len(iinf.body))
    iloc = _read_iloc(_find(meta, b"iloc").body)
    next_id = max([loc.item for loc in iloc.items] + [primary]) + 1
    ids = list(range(next_id, next_id + len(items)))
    if ids and ids[-1] > 0xFFFF:
        raise ValueError("the AVIF encoder's output has too many items to add the metadata")
    for item_id, (kind, extra) in zip(ids, items):
        entries.append(_Box(b"infe", b"\x02\0\0\0" + struct.pack(">HH4s", item_id, 0, kind) + b"\0" + extra))
    iinf.body = iinf.body[:4] + len(entries).to_bytes(count_size, "big") + b"".join(
        _pack(b.kind, b.body) for b in entries)
    refs = b"".join(_pack(b"cdsc", struct.pack(">HHH", i, 1, primary)) for i in ids)
    for box in meta:
        if box.kind == b"iref":
            if box.body[0] != 0:
                raise ValueError("the AVIF encoder's output has a 32-bit item reference box")
            box.body += refs
            break
    else:
        meta.insert(meta.index(iinf) + 1, _Box(b"iref", b"\0\0\0\0" + refs))
    return ids


def _primary(meta: list[_Box]) -> int:
    pitm = _find(meta, b"pitm").body
    return _uint(pitm, 4, 4 if pitm[0] else 2)


def embed_avif(avif: bytes, icc: bytes | None, exif: bytes | None, xmp: bytes | None) -> bytes:
    """The AVIF with the profile and metadata added."""
    top = _parse(avif, 0, len(avif))
    meta_box = _find(top, b"meta")
    meta = _parse(meta_box.body, 4, len(meta_box.body))
    primary = _primary(meta)
    if icc is not None:
        _add_property(meta, primary, _pack(b"colr", b"prof" + icc))
    # HEIF's Exif item starts with the offset of the TIFF header within it.
    payloads = [(b"Exif", b"", b"\0\0\0\0" + exif)] if exif is not None else []
    if xmp is not None:
        payloads.append((b"mime", b"application/rdf+xml\0", xmp))
    ids = _add_items(meta, primary, [(kind, extra) for kind, extra, _ in payloads]) if payloads else []
    iloc_box = _find(meta, b"iloc")
    iloc = _read_iloc(iloc_box.body)
    if payloads and ((iloc.offset_size == 0 and iloc.base_size == 0) or iloc.length_size == 0):
        raise ValueError("the AVIF encoder's item locations have no room for the metadata's offsets")
    for item_id, (_, _, data) in zip(ids, payloads):
        iloc.items.append(_Location(item_id, 0, 0, 0, [(0, 0, len(data))]))
    old_start = _offset_of(top, meta_box)
    old_end = old_start + len(_pack(meta_box.kind, meta_box.body))
    # Field widths are fixed, so placing the offsets changes no size: measure
    # the grown meta box once, then write the locations that follow from it.
    shift = len(_meta_bytes(meta_box, meta, iloc_box, iloc)) - (old_end - old_start)
    tail_at = len(avif) + shift + 8  # after the new mdat box's header
    _place(iloc, old_end, shift, dict(zip(ids, (len(data) for _, _, data in payloads))), tail_at)
    new_meta = _meta_bytes(meta_box, meta, iloc_box, iloc)
    out = [new_meta if b is meta_box else _pack(b.kind, b.body) for b in top]
    if payloads:
        out.append(_pack(b"mdat", b"".join(data for _, _, data in payloads)))
    return b"".join(out)


def _meta_bytes(meta_box: _Box, meta: list[_Box], iloc_box: _Box, iloc: _Iloc) -> bytes:
    iloc_box.body = _write_iloc(iloc)
    return _pack(b"meta", meta_box.body[:4] + b"".join(_pack(b.kind, b.body) for b in meta))


def _offset_of(top: list[_Box], box: _Box) -> int:
    pos = 0
    for b in top:
        if b is box:
            return pos
        pos += len(_pack(b.kind, b.body))
    raise AssertionError("box not among the top-level boxes")


def _place(iloc: _Iloc, old_end: int, shift: int, added: dict[int, int], tail_at: int) -> None:
    """Moves the file offsets of data that lay after the old meta box by
    ``shift`` and points the added items (id: length) at the new tail."""
    offset = tail_at
    for loc in iloc.items:
        if loc.item in added:
            size = added[loc.item]
            loc.base, loc.extents = (0, [(0, offset, size)]) if iloc.offset_size else (offset, [(0, 0, size)])
            offset += size
        elif loc.method == 0 and loc.reference == 0:
            if iloc.base_size and loc.base >= old_end:
                loc.base += shift
            else:
                loc.extents = [(i, o + shift if loc.base + o >= old_end else o, n) for i, o, n in loc.extents]
    if offset >= 1 << (8 * (iloc.offset_size or iloc.base_size)):
        raise ValueError("the AVIF file is too large for its item location fields")
