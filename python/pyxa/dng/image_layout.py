"""The main image's layout from its tags: size, samples, bits, sample format,
compression and predictor, tiles or strips and where each lies, refusing
what the reader cannot decode."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any, Optional

import numpy as np

from .tags import Findings, Ifd, TagProblem

__all__ = ["ImageLayout", "image_layout", "CFA", "LINEAR_RAW", "COMPRESSIONS", "DEFLATE", "FLOAT_PREDICTORS"]

CFA, LINEAR_RAW = 32803, 34892
COMPRESSIONS = {1: "uncompressed", 7: "lossless JPEG", 8: "deflate", 32946: "deflate", 34892: "lossy JPEG"}
DEFLATE = (8, 32946)
INTEGER_PREDICTORS = (2, 34892, 34893)  # horizontal differences over 1, 2 or 4 pixels
FLOAT_PREDICTORS = (3, 34894, 34895)  # the floating-point byte-plane predictor, likewise
MAX_LINEAR_SAMPLES = 4


@dataclass(frozen=True)
class ImageLayout:
    """How the main image is stored, as its tags say once checked."""

    height: int
    width: int
    samples: int
    bits: int
    is_float: bool
    compression: int
    predictor: int
    planar: bool
    tiled: bool
    segment_height: int  # rows per strip or tile
    segment_width: int  # the image width for strips
    offsets: tuple[int, ...]
    byte_counts: tuple[int, ...]
    linear: bool  # a LinearRaw image: (H, W, samples) even for one sample
    where: str  # the IFD holding it, for messages

    @property
    def dtype(self) -> np.dtype[Any]:
        """What the record holds: uint16 for integer samples, float32 for floating point."""
        return np.dtype(np.float32 if self.is_float else np.uint16)

    @property
    def shape(self) -> tuple[int, ...]:
        """The decoded array's shape: (H, W) for a CFA image, (H, W, samples) for a linear one."""
        return (self.height, self.width, self.samples) if self.linear else (self.height, self.width)


def _one(ifd: Ifd, name: str, findings: Findings, default: Optional[int] = None) -> int:
    try:
        values = ifd.integers(name)
    except TagProblem as e:
        findings.refuse(f"{ifd.label} {name}", str(e))
    if values is None:
        if default is None:
            findings.refuse(f"{ifd.label} {name}", "is missing")
        return int(default)
    if len(values) != 1:
        findings.refuse(f"{ifd.label} {name}", f"has {len(values)} values, 1 expected")
    return values[0]


def _per_sample(ifd: Ifd, name: str, samples: int, findings: Findings, default: int) -> int:
    """A tag with one value per sample that this reader needs equal for all."""
    try:
        values = ifd.integers(name)
    except TagProblem as e:
        findings.refuse(f"{ifd.label} {name}", str(e))
    if values is None:
        return default
    if len(values) not in (1, samples) or len(set(values)) != 1:
        findings.refuse(f"{ifd.label} {name}", f"is {', '.join(map(str, values))}: one value for all "
                                               f"{samples} samples expected")
    return values[0]


def image_layout(ifd: Ifd, photometric: int, findings: Findings) -> ImageLayout:
    """The main image's layout, refusing what this reader cannot decode."""
    where = ifd.label
    width, height = _one(ifd, "ImageWidth", findings), _one(ifd, "ImageLength", findings)
    if width < 1 or height < 1:
        findings.refuse(where, f"the image is {width} x {height} pixels")
    samples = _one(ifd, "SamplesPerPixel", findings, 1)
    if photometric == CFA and samples != 1:
        findings.refuse(f"{where} SamplesPerPixel", f"is {samples}; a CFA image has 1 sample per pixel")
    if not 1 <= samples <= MAX_LINEAR_SAMPLES:
        findings.refuse(f"{where} SamplesPerPixel", f"is {samples}, not 1 to {MAX_LINEAR_SAMPLES}")
    bits = _per_sample(ifd, "BitsPerSample", samples, findings, 1)
    sample_format = _per_sample(ifd, "SampleFormat", samples, findings, 1)
    if sample_format not in (1, 3):
        findings.refuse(f"{where} SampleFormat", f"is {sample_format}; unsigned integer (1) or floating "
                                                  "point (3) samples expected")
    is_float = sample_format == 3
    if is_float and bits not in (16, 24, 32):
        findings.refuse(f"{where} BitsPerSample", f"is {bits}; floating-point samples have 16, 24 or 32 bits")
    if not is_float and not 8 <= bits <= 16:
        findings.refuse(f"{where} BitsPerSample", f"is {bits}; integer samples of 8 to 16 bits are read")
    compression = _one(ifd, "Compression", findings, 1)
    if compression not in COMPRESSIONS:
        findings.refuse(f"{where} Compression", f"is {compression}, not one this reader decodes "
                                                 "(1 none, 7 lossless JPEG, 8 deflate, 34892 lossy JPEG)")
    if compression == 7 and is_float:
        findings.refuse(f"{where} Compression", "is 7 (lossless JPEG), which holds no floating-point samples")
    if compression == 34892 and (is_float or bits != 8):
        findings.refuse(f"{where} Compression", f"is 34892 (lossy JPEG) with {bits}-bit samples; it holds 8-bit "
                                                 "integers")
    predictor = _predictor(ifd, compression, bits, is_float, findings)
    planar = _one(ifd, "PlanarConfiguration", findings, 1)
    if planar not in (1, 2):
        findings.refuse(f"{where} PlanarConfiguration", f"is {planar}, not 1 (chunky) or 2 (planar)")
    tiled = ifd.has("TileWidth") or ifd.has("TileLength") or ifd.has("TileOffsets")
    if tiled:
        seg_w, seg_h = _one(ifd, "TileWidth", findings), _one(ifd, "TileLength", findings)
        offsets_tag, counts_tag = "TileOffsets", "TileByteCounts"
    else:
        seg_w, seg_h = width, min(_one(ifd, "RowsPerStrip", findings, height), height)
        offsets_tag, counts_tag = "StripOffsets", "StripByteCounts"
    if seg_w < 1 or seg_h < 1:
        findings.refuse(where, f"{'tiles' if tiled else 'strips'} of {seg_w} x {seg_h} pixels")
    offsets, counts = _segment_list(ifd, offsets_tag, findings), _segment_list(ifd, counts_tag, findings)
    planes = samples if planar == 2 and samples > 1 else 1
    expected = -(-height // seg_h) * -(-width // seg_w) * planes
    if len(offsets) != expected or len(counts) != expected:
        findings.refuse(f"{where} {offsets_tag}", f"has {len(offsets)} values and {counts_tag} {len(counts)}; "
                                                   f"the image has {expected} {'tiles' if tiled else 'strips'}")
    return ImageLayout(height=height, width=width, samples=samples, bits=bits, is_float=is_float,
                       compression=compression, predictor=predictor, planar=planes > 1, tiled=tiled,
                       segment_height=seg_h, segment_width=seg_w, offsets=offsets, byte_counts=counts,
                       linear=photometric == LINEAR_RAW, where=where)


def _predictor(ifd: Ifd, compression: int, bits: int, is_float: bool, findings: Findings) -> int:
    predictor = _one(ifd, "Predictor", findings, 1)
    # A JPEG carries its own prediction: the tag means nothing there.
    if predictor == 1 or compression in (7, 34892):
        return 1
    where = f"{ifd.label} Predictor"
    if compression not in DEFLATE:
        findings.refuse(where, f"is {predictor} on uncompressed data; predictors go with deflate (8)")
    if predictor in INTEGER_PREDICTORS:
        if is_float or bits not in (8, 16):
            findings.refuse(where, f"is {predictor}, a predictor for 8- or 16-bit integers, with "
                                   f"{bits}-bit {'floating-point' if is_float else 'integer'} samples")
    elif predictor in FLOAT_PREDICTORS:
        if not is_float:
            findings.refuse(where, f"is {predictor}, a floating-point predictor, with integer samples")
    else:
        findings.refuse(where, f"is {predictor}, not one this reader knows (1, 2, 3, 34892 to 34895)")
    return predictor


def _segment_list(ifd: Ifd, name: str, findings: Findings) -> tuple[int, ...]:
    try:
        values = ifd.integers(name)
    except TagProblem as e:
        findings.refuse(f"{ifd.label} {name}", str(e))
    if values is None:
        findings.refuse(f"{ifd.label} {name}", "is missing")
    return values
