"""The ProfileGainTableMap tag's bytes into a ProfileGainTableMap record, every
count and size checked against the bytes before the gains are read."""

from __future__ import annotations

import math
import struct

import numpy as np

from ..raw import RawFileError
from .records import ProfileGainTableMap

__all__ = ["parse_gain_table_map", "GAIN_TABLE_MAP_HEADER_BYTES"]

TAG = "ProfileGainTableMap"
# MapPointsV, MapPointsH (u32); MapSpacingV, MapSpacingH, MapOriginV, MapOriginH
# (f64); NumTablePoints (u32); MapInputWeights (5 x f32).
_HEADER = ">2I4dI5f"
GAIN_TABLE_MAP_HEADER_BYTES = struct.calcsize(_HEADER)  # 64


def parse_gain_table_map(data: bytes, file: str) -> ProfileGainTableMap:
    """The record of a ProfileGainTableMap blob.

    The blob is big-endian whatever the file's byte order, as the opcode lists
    are: the tag is UNDEFINED bytes with a layout of its own, and the one real
    file at hand (a big-endian iPhone DNG) cannot tell the two rules apart. A
    blob 4 bytes longer than its table ends with a f32 gamma for the brightness
    measure, as a later revision of the tag adds; without it the gamma is 1."""

    def fail(problem: str) -> RawFileError:
        return RawFileError(file, f"{TAG}: {problem}")

    if len(data) < GAIN_TABLE_MAP_HEADER_BYTES:
        raise fail(f"{len(data)} bytes, fewer than its {GAIN_TABLE_MAP_HEADER_BYTES}-byte header")
    (points_v, points_h, spacing_v, spacing_h, origin_v, origin_h, n_table,
     *weights) = struct.unpack_from(_HEADER, data)
    if points_v == 0 or points_h == 0 or n_table == 0:
        raise fail(f"map of {points_v} x {points_h} points with {n_table} table points is empty")
    table_bytes = 4 * points_v * points_h * n_table
    size = GAIN_TABLE_MAP_HEADER_BYTES + table_bytes
    if len(data) not in (size, size + 4):
        raise fail(f"{points_v} x {points_h} points of {n_table} gains need {size} bytes "
                   f"({size + 4} with a gamma), the tag has {len(data)} (read big-endian)")
    for label, values in (("MapSpacingV", [spacing_v]), ("MapSpacingH", [spacing_h]), ("MapOriginV", [origin_v]),
                          ("MapOriginH", [origin_h]), ("MapInputWeights", weights)):
        if not all(math.isfinite(v) for v in values):
            raise fail(f"{label} is not finite")
    # A single point along an axis needs no spacing; several need a step forward.
    if (points_v > 1 and spacing_v <= 0) or (points_h > 1 and spacing_h <= 0):
        raise fail(f"map spacing ({spacing_v!r}, {spacing_h!r}) is not positive")
    gains = np.frombuffer(data, ">f4", points_v * points_h * n_table, GAIN_TABLE_MAP_HEADER_BYTES)
    if not np.all(np.isfinite(gains)):
        raise fail("the gains hold NaN or infinite values")
    gamma = 1.0
    if len(data) == size + 4:
        gamma = float(struct.unpack_from(">f", data, size)[0])
        if not (np.isfinite(gamma) and gamma > 0):
            raise fail(f"the gamma {gamma!r} is not a positive number")
    return ProfileGainTableMap(
        points_v=points_v, points_h=points_h, spacing_v=spacing_v, spacing_h=spacing_h, origin_v=origin_v,
        origin_h=origin_h, num_table_points=n_table, weights=tuple(float(w) for w in weights),  # type: ignore[arg-type]
        gains=gains.astype(np.float32).reshape(points_v, points_h, n_table), gamma=gamma)
