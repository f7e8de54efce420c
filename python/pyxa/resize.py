"""Resizing developed images for web exports and previews: an area filter for
reductions, Lanczos for enlargements, through OpenCV (the `cli` extra)."""

from __future__ import annotations

import math
from typing import Any

import numpy as np

__all__ = ["resize", "resized_shape"]

# The sample types the writers take; OpenCV resizes each of them natively, so
# 16-bit images keep their 16 bits and float images their range.
DTYPES = ("uint8", "uint16", "float32")
# The largest result, in pixels: 40 times a 24 Mpx photograph, so a mistyped
# scale is refused at once rather than allocating tens of gigabytes.
MAX_PIXELS = 1 << 30


def _positive_size(max_size: Any) -> int:
    if isinstance(max_size, bool) or not isinstance(max_size, (int, np.integer)):
        raise TypeError(f"max_size must be a whole number of pixels, got {max_size!r}")
    if max_size < 1:
        raise ValueError(f"max_size must be at least 1 pixel, got {max_size}")
    return int(max_size)


def _positive_scale(scale: Any) -> float:
    if isinstance(scale, bool) or not isinstance(scale, (int, float, np.integer, np.floating)):
        raise TypeError(f"scale must be a number, got {scale!r}")
    value = float(scale)
    if not (math.isfinite(value) and value > 0):
        raise ValueError(f"scale must be a finite number above 0, got {scale!r}")
    return value


def resized_shape(height: int, width: int, *, max_size: int | None = None,
                  scale: float | None = None) -> tuple[int, int]:
    """The (height, width) ``resize`` makes from an image of this size.

    With ``max_size`` the long edge becomes max_size (an image already within
    it keeps its size) and the short edge keeps the aspect ratio, rounded to
    the nearest pixel; with ``scale`` both edges are multiplied and rounded.
    No edge becomes smaller than one pixel, and no result larger than
    ``MAX_PIXELS``. Exactly one of the two is given."""
    if (max_size is None) == (scale is None):
        raise ValueError("give either max_size (the long edge in pixels) or scale (a factor), not "
                         + ("both" if max_size is not None else "neither"))
    if max_size is not None:
        limit = _positive_size(max_size)
        long_edge = max(height, width)
        if long_edge <= limit:
            return height, width
        factor = limit / long_edge
        # The long edge is set exactly: rounding the product could miss it by one.
        if height >= width:
            return limit, max(1, round(width * factor))
        return max(1, round(height * factor)), limit
    factor = _positive_scale(scale)
    size = max(1, round(height * factor)), max(1, round(width * factor))
    if size[0] * size[1] > MAX_PIXELS:
        raise ValueError(f"scale {scale!r} makes {height} x {width} into {size[0]} x {size[1]}; resize makes "
                         f"at most {MAX_PIXELS >> 20} Mpx")
    return size


def _check_image(image: Any) -> np.ndarray:
    if not isinstance(image, np.ndarray) or image.ndim != 3 or image.shape[2] != 3 or 0 in image.shape:
        raise ValueError(f"resize takes a non-empty (height, width, 3) array, got "
                         f"{getattr(image, 'shape', type(image).__name__)}")
    if image.dtype.name not in DTYPES:
        raise ValueError(f"resize takes uint8, uint16 or float32 samples, got {image.dtype}; "
                         f"convert first, e.g. image.astype(np.float32)")
    return image


def resize(image: np.ndarray, *, max_size: int | None = None, scale: float | None = None) -> np.ndarray:
    """The (H, W, 3) image resized, in its own sample type.

    Give ``max_size`` (the long edge in pixels, for web exports) or ``scale``
    (a factor), not both; see ``resized_shape`` for the size. An image whose
    size does not change is returned as it is, without a copy.

    Reductions average the source area under each output pixel (OpenCV's
    INTER_AREA: an exact factor such as 1/2 is the mean of each 2x2 block), so
    fine detail does not alias; enlargements use the Lanczos filter over 8x8
    neighbours (INTER_LANCZOS4), which rings a little at hard edges: integer
    samples saturate at their type's range, float32 samples may overshoot
    [0, 1] slightly. OpenCV releases the GIL while it works, so a resize can
    run beside a development in another thread.

    >>> small = pyxa.resize(rgb, max_size=2048)   # doctest: +SKIP
    """
    shape = resized_shape(*_check_image(image).shape[:2], max_size=max_size, scale=scale)
    if shape == image.shape[:2]:
        return image
    try:
        import cv2
    except ImportError:
        raise ImportError("resizing needs OpenCV: pip install opencv-python-headless "
                          "(or pyxa[cli])") from None
    height, width = shape
    shrinking = height <= image.shape[0] and width <= image.shape[1]
    interpolation = cv2.INTER_AREA if shrinking else cv2.INTER_LANCZOS4
    result = cv2.resize(np.ascontiguousarray(image), (width, height), interpolation=interpolation)
    return np.asarray(result, dtype=image.dtype)
