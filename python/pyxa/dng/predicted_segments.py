"""Deflate segments with the predictors tifffile and imagecodecs do not undo:
horizontal differences over 2 or 4 pixels (34892, 34893) on integers, and the
floating-point predictors (3, 34894, 34895) on 24-bit floats. Each segment is
inflated up to the size its pixels need and no further, the differences are
summed back, and the segment is placed in the image."""

from __future__ import annotations

import zlib
from typing import IO, Any

import numpy as np
import numpy.typing as npt

from .image_layout import DEFLATE, FLOAT_PREDICTORS, ImageLayout
from .tags import Findings

__all__ = ["needs_own_decoder", "decode_predicted"]

_PIXEL_DISTANCE = {34892: 2, 34893: 4, 3: 1, 34894: 2, 34895: 4}


def needs_own_decoder(layout: ImageLayout) -> bool:
    """Whether the image needs this module rather than tifffile."""
    if layout.compression not in DEFLATE:
        return False
    return layout.predictor in (34892, 34893) or (
        layout.is_float and layout.bits == 24 and layout.predictor in FLOAT_PREDICTORS)


def decode_predicted(fh: IO[bytes], layout: ImageLayout, byteorder: str, findings: Findings) -> np.ndarray:
    """The image as (H, W, samples) uint16 or float32."""
    h, w, s = layout.height, layout.width, layout.samples
    out = np.empty((h, w, s), layout.dtype)
    seg_samples = 1 if layout.planar else s
    across = -(-w // layout.segment_width)
    per_plane = -(-h // layout.segment_height) * across
    kind = f"{layout.where} {'tile' if layout.tiled else 'strip'}"
    for i, (offset, count) in enumerate(zip(layout.offsets, layout.byte_counts)):
        plane, j = divmod(i, per_plane)
        y, x = (j // across) * layout.segment_height, (j % across) * layout.segment_width
        rows = layout.segment_height if layout.tiled else min(layout.segment_height, h - y)
        fh.seek(offset)
        row_bytes = layout.segment_width * seg_samples * layout.bits // 8
        data = _inflate(fh.read(count), rows * row_bytes, f"{kind} {i} of {len(layout.offsets)}", findings)
        seg = _unpredict(np.frombuffer(data, np.uint8).reshape(rows, row_bytes), layout, seg_samples, byteorder)
        seg = seg.reshape(rows, layout.segment_width, seg_samples)[:h - y, :w - x]
        if layout.planar:
            out[y:y + seg.shape[0], x:x + seg.shape[1], plane] = seg[:, :, 0]
        else:
            out[y:y + seg.shape[0], x:x + seg.shape[1]] = seg
    return out


def _inflate(data: bytes, size: int, what: str, findings: Findings) -> bytes:
    try:
        # Inflating stops at the pixels' size: a segment cannot grow past it.
        raw = zlib.decompressobj().decompress(data, size)
    except zlib.error as e:
        findings.fail(f"{what} cannot be inflated ({e})")
    if len(raw) < size:
        findings.fail(f"{what} inflates to {len(raw)} bytes, its pixels need {size}")
    return raw


def _running_sum(diffs: npt.NDArray[Any], dist: int) -> npt.NDArray[Any]:
    """Undoes differences between elements ``dist`` apart along each row, in
    the array's own unsigned type, so the sums wrap as the differences did."""
    rows, n = diffs.shape
    padded = np.zeros((rows, -(-n // dist) * dist), diffs.dtype)
    padded[:, :n] = diffs
    summed = np.cumsum(padded.reshape(rows, -1, dist), axis=1, dtype=diffs.dtype)
    return summed.reshape(rows, -1)[:, :n]


def _unpredict(raw: npt.NDArray[np.uint8], layout: ImageLayout, samples: int, byteorder: str) -> np.ndarray:
    dist = _PIXEL_DISTANCE[layout.predictor] * samples
    rows = raw.shape[0]
    if not layout.is_float:
        dtype = np.dtype(byteorder + ("u1" if layout.bits == 8 else "u2"))
        values = raw.view(dtype).astype(dtype.newbyteorder("="))
        return _running_sum(values, dist)
    # Float predictor: the bytes of a row were split into planes, most
    # significant first, and differenced a pixel (2, 4 pixels) apart.
    width = raw.shape[1] // 3
    planes = _running_sum(raw, dist).reshape(rows, 3, width).transpose(0, 2, 1)
    words = (planes[..., 0].astype(np.uint32) << 16) | (planes[..., 1].astype(np.uint32) << 8) | planes[..., 2]
    return _float24_to_float32(words)


def _float24_to_float32(words: npt.NDArray[np.uint32]) -> npt.NDArray[np.float32]:
    """24-bit floats (sign, 7 exponent bits of bias 63, 16 mantissa bits) as float32."""
    import imagecodecs

    big = np.stack([(words >> 16) & 0xFF, (words >> 8) & 0xFF, words & 0xFF], axis=-1).astype(np.uint8)
    decoded = imagecodecs.float24_decode(big.tobytes(), byteorder=">")
    return np.asarray(decoded, np.float32).reshape(words.shape)
