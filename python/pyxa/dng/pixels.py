"""The main image's pixels: every strip or tile checked against the file and
against what its compression can hold, then decoded by tifffile and
imagecodecs (or, for the predictors they lack, by predicted_segments) into
uint16 (integer samples) or float32 (floating point)."""

from __future__ import annotations

from typing import IO, Any

import numpy as np

from .image_layout import COMPRESSIONS, DEFLATE, ImageLayout
from .predicted_segments import decode_predicted, needs_own_decoder
from .tags import Findings
from .tiff_files import library_errors

__all__ = ["check_segments", "decode_image", "empty_image"]

# How far each compression can shrink data, the bound that stops a small file
# from claiming a huge image: deflate expands a byte into at most 1032; a
# lossless JPEG spends at least one bit on a sample; a lossy JPEG at least two
# bits on an 8 x 8 block of a component, under 600 samples a byte even with
# subsampled chroma.
DEFLATE_MAX_RATIO = 1032
LOSSLESS_JPEG_SAMPLES_PER_BYTE = 8
LOSSY_JPEG_SAMPLES_PER_BYTE = 1024


def check_segments(layout: ImageLayout, file_size: int, findings: Findings) -> None:
    """Every strip or tile lies inside the file and holds enough bytes for
    its pixels, before anything is allocated or decoded."""
    kind = f"{layout.where} {'tile' if layout.tiled else 'strip'}"
    n = len(layout.offsets)
    samples_per_row = layout.segment_width * (1 if layout.planar else layout.samples)
    row_bytes = -(-samples_per_row * layout.bits // 8)
    strips_per_plane = -(-layout.height // layout.segment_height)
    for i, (offset, count) in enumerate(zip(layout.offsets, layout.byte_counts)):
        if offset + count > file_size:
            findings.fail(f"the pixel data is cut off: {kind} {i} of {n} ends at byte "
                                          f"{offset + count}, the file has {file_size} bytes")
        if count == 0:
            findings.fail(f"{kind} {i} of {n} has no bytes")
        # A tile always holds whole tiles' rows (padded at the image edge); the
        # last strip of a plane holds only the rows that are left.
        rows = layout.segment_height if layout.tiled else \
            min(layout.segment_height, layout.height - (i % strips_per_plane) * layout.segment_height)
        if layout.compression == 1:
            if count < rows * row_bytes:
                findings.fail(f"{kind} {i} of {n} holds {count} bytes, its {rows} rows of "
                                              f"{row_bytes} bytes need {rows * row_bytes}")
        elif rows * samples_per_row > _most_samples(layout, count):
            findings.fail(f"{kind} {i} of {n} holds {count} bytes, too few for its "
                                          f"{rows * samples_per_row} samples ({COMPRESSIONS[layout.compression]} "
                                          "cannot compress that far)")


def _most_samples(layout: ImageLayout, count: int) -> int:
    """The most samples ``count`` compressed bytes can decode to."""
    if layout.compression in DEFLATE:
        return count * DEFLATE_MAX_RATIO * 8 // layout.bits
    if layout.compression == 7:
        return count * LOSSLESS_JPEG_SAMPLES_PER_BYTE
    return count * LOSSY_JPEG_SAMPLES_PER_BYTE


def empty_image(layout: ImageLayout) -> np.ndarray:
    """What a read without pixels holds: no pixels, the right dtype and sample count."""
    return np.empty((0, 0, layout.samples) if layout.linear else (0, 0), layout.dtype)


def decode_image(page: Any, layout: ImageLayout, file_size: int, findings: Findings, fh: IO[bytes],
                 byteorder: str) -> np.ndarray:
    """The main image, decoded: (H, W) for a CFA image, (H, W, samples) for a
    linear one; uint16 or float32."""
    check_segments(layout, file_size, findings)
    with library_errors(findings.file, f"the pixel data ({COMPRESSIONS[layout.compression]}) cannot be decoded"):
        if needs_own_decoder(layout):
            return decode_predicted(fh, layout, byteorder, findings).reshape(layout.shape)
        data = _one_segment(page, layout) if len(layout.offsets) == 1 else None
        if data is None:
            data = np.asarray(page.asarray())
    if layout.planar:
        data = np.moveaxis(data.reshape(layout.samples, layout.height, layout.width), 0, -1)
    data = data.reshape(layout.shape)
    return np.ascontiguousarray(data, dtype=layout.dtype)


def _one_segment(page: Any, layout: ImageLayout) -> np.ndarray | None:
    """The image of a page stored as one compressed or packed strip or tile:
    tifffile's decoded segment itself (cut to the image where a tile is
    larger), where ``asarray`` would copy it into an array of its own. None
    where ``asarray`` reads the samples straight from the file anyway."""
    if page.is_contiguous:
        return None
    ((segment, _, _),) = tuple(page.segments())
    if segment is None:
        return None
    image = np.asarray(segment)[0, :layout.height, :layout.width]
    if image.shape[:2] != (layout.height, layout.width):
        return None  # short of the image: asarray says what is wrong with it
    # A codec may hand back memory it holds read-only (deflate's output): the
    # record's array is the caller's to change, as asarray's is.
    return image if image.flags.writeable else image.copy()
