"""OpcodeList1/2/3 bytes into Opcode records: the list header, each opcode's
header, and the parameters of the thirteen opcodes the format defines. Every
count and size is checked against the bytes that hold it before anything is
read or allocated; a fault raises RawFileError naming the file, the tag, the
opcode and the problem."""

from __future__ import annotations

import struct
from collections.abc import Callable
from typing import NoReturn

import numpy as np
import numpy.typing as npt

from ..raw import RawFileError
from .opcode_records import (OPCODE_NAMES, Area, DeltaPerColumn, DeltaPerRow, FixBadPixelsConstant, FixBadPixelsList,
                             FixVignetteRadial, GainMap, MapPolynomial, MapTable, Opcode, OpcodeParams,
                             ScalePerColumn, ScalePerRow, TrimBounds, UnknownOpcode, WarpFisheye, WarpRectilinear)
from .records import STAGE_TAGS

__all__ = ["parse_opcode_list"]

OPCODE_HEADER_BYTES = 16
# Warp coefficient sets: one for all planes or one per plane, and no image has
# more than four colour planes.
MAX_WARP_PLANES = 4
MAX_POLYNOMIAL_DEGREE = 8
MAX_TABLE_SIZE = 65536  # a table indexed by 16-bit samples never needs more
# Areas are handed on as signed 32-bit coordinates; no image reaches 2^31 rows.
MAX_COORDINATE = 2**31 - 1


class _Params:
    """A cursor over one opcode's parameter bytes, big-endian like the whole
    list; a read past the end is a refusal, never a short value."""

    def __init__(self, data: bytes, fail: Callable[[str], NoReturn]):
        self.data, self.pos, self.fail = data, 0, fail

    @property
    def left(self) -> int:
        return len(self.data) - self.pos

    def need(self, nbytes: int, what: str) -> None:
        if nbytes > self.left:
            self.fail(f"{what} need {nbytes} bytes, {self.left} remain of its {len(self.data)}")

    def take(self, fmt: str, what: str) -> tuple[float | int, ...]:
        size = struct.calcsize(">" + fmt)
        self.need(size, what)
        values = struct.unpack_from(">" + fmt, self.data, self.pos)
        self.pos += size
        return values

    def u32(self, what: str) -> int:
        return int(self.take("I", what)[0])

    def f64(self, what: str) -> float:
        return float(self.take("d", what)[0])

    def array(self, dtype: str, count: int, what: str) -> npt.NDArray[np.generic]:
        itemsize = np.dtype(dtype).itemsize
        self.need(count * itemsize, what)
        values = np.frombuffer(self.data, np.dtype(">" + dtype), count, self.pos)
        self.pos += count * itemsize
        return values.astype(dtype)

    def finish(self) -> None:
        if self.left:
            self.fail(f"{self.left} bytes left over after its parameters")


def parse_opcode_list(data: bytes, stage: int, file: str) -> tuple[Opcode, ...]:
    """The opcodes of OpcodeList``stage`` (1, 2 or 3) from the tag's bytes."""
    tag = STAGE_TAGS[stage]

    def fail(problem: str) -> NoReturn:
        raise RawFileError(file, f"{tag}: {problem}")

    if len(data) < 4:
        fail(f"{len(data)} bytes, too few to hold the opcode count")
    count = struct.unpack_from(">I", data)[0]
    most = (len(data) - 4) // OPCODE_HEADER_BYTES
    if count > most:
        fail(f"says {count} opcodes, but its {len(data)} bytes hold at most {most}")
    pos = 4
    opcodes = []
    for index in range(count):
        if len(data) - pos < OPCODE_HEADER_BYTES:
            fail(f"opcode {index}: the list ends inside its {OPCODE_HEADER_BYTES}-byte header")
        opcode_id, version, flags, nbytes = struct.unpack_from(">4I", data, pos)
        pos += OPCODE_HEADER_BYTES
        name = OPCODE_NAMES.get(opcode_id, f"unknown id {opcode_id}")
        if nbytes > len(data) - pos:
            fail(f"opcode {index} ({name}): byte count {nbytes} runs past the end of the list "
                 f"({len(data) - pos} bytes left)")

        def opcode_fail(problem: str, index: int = index, name: str = name) -> NoReturn:
            fail(f"opcode {index} ({name}): {problem}")

        cursor = _Params(data[pos:pos + nbytes], opcode_fail)
        parse = _PARSERS.get(opcode_id)
        params: OpcodeParams = UnknownOpcode(bytes(cursor.data)) if parse is None else parse(cursor)
        if parse is not None:
            cursor.finish()
        opcodes.append(Opcode(id=opcode_id, dng_version=version, flags=flags, stage=stage, params=params))
        pos += nbytes
    if pos != len(data):
        fail(f"{len(data) - pos} bytes after the last of its {count} opcodes")
    return tuple(opcodes)


def _finite(p: _Params, values: npt.NDArray[np.generic] | list[float], what: str) -> None:
    array = np.asarray(values, dtype=np.float64)
    if not np.all(np.isfinite(array)):
        bad = array[~np.isfinite(array)].ravel()[0]
        p.fail(f"{'NaN' if np.isnan(bad) else 'an infinite value'} in {what}")


def _area(p: _Params) -> Area:
    top, left, bottom, right, plane, planes, row_pitch, col_pitch = (int(v) for v in p.take("8I", "the area's 8 values"))
    for label, value in (("Top", top), ("Left", left), ("Bottom", bottom), ("Right", right), ("Plane", plane),
                         ("Planes", planes), ("RowPitch", row_pitch), ("ColPitch", col_pitch)):
        if value > MAX_COORDINATE:
            p.fail(f"area {label} {value} is beyond any image (above 2^31 - 1)")
    if top >= bottom or left >= right:
        p.fail(f"area (top {top}, left {left}, bottom {bottom}, right {right}) is empty or inverted")
    if planes == 0:
        p.fail("area Planes is 0")
    if row_pitch == 0 or col_pitch == 0:
        p.fail(f"area pitch is 0 (RowPitch {row_pitch}, ColPitch {col_pitch})")
    return Area(top, left, bottom, right, plane, planes, row_pitch, col_pitch)


def _warp_planes(p: _Params) -> int:
    n = p.u32("the plane count")
    if not 1 <= n <= MAX_WARP_PLANES:
        p.fail(f"plane count {n} is not 1 to {MAX_WARP_PLANES}")
    return n


def _warp_rectilinear(p: _Params) -> WarpRectilinear:
    n = _warp_planes(p)
    coefficients = p.array("f8", n * 6, f"{n} planes of 6 coefficients").reshape(n, 6)
    cx, cy = p.f64("the optical centre"), p.f64("the optical centre")
    _finite(p, coefficients, "the coefficients")
    _finite(p, [cx, cy], "the optical centre")
    return WarpRectilinear(coefficients=coefficients.astype(np.float64), center_x=cx, center_y=cy)


def _warp_fisheye(p: _Params) -> WarpFisheye:
    n = _warp_planes(p)
    coefficients = p.array("f8", n * 4, f"{n} planes of 4 coefficients").reshape(n, 4)
    cx, cy = p.f64("the optical centre"), p.f64("the optical centre")
    _finite(p, coefficients, "the coefficients")
    _finite(p, [cx, cy], "the optical centre")
    return WarpFisheye(coefficients=coefficients.astype(np.float64), center_x=cx, center_y=cy)


def _vignette(p: _Params) -> FixVignetteRadial:
    k0, k1, k2, k3, k4, cx, cy = (float(v) for v in p.take("7d", "k0..k4 and the optical centre"))
    _finite(p, [k0, k1, k2, k3, k4], "the coefficients")
    _finite(p, [cx, cy], "the optical centre")
    return FixVignetteRadial(k=(k0, k1, k2, k3, k4), center_x=cx, center_y=cy)


def _bayer_phase(p: _Params) -> int:
    phase = p.u32("BayerPhase")
    if phase > 3:
        p.fail(f"BayerPhase {phase} is not 0 to 3")
    return phase


def _bad_pixels_constant(p: _Params) -> FixBadPixelsConstant:
    constant = p.u32("Constant")
    return FixBadPixelsConstant(constant=constant, bayer_phase=_bayer_phase(p))


def _bad_pixels_list(p: _Params) -> FixBadPixelsList:
    phase = _bayer_phase(p)
    points, rects = p.u32("PointCount"), p.u32("RectCount")
    p.need(8 * points + 16 * rects, f"PointCount {points} and RectCount {rects}")
    point_rows = p.array("u4", 2 * points, "the points").reshape(points, 2)
    rect_rows = p.array("u4", 4 * rects, "the rectangles").reshape(rects, 4)
    for i, (top, left, bottom, right) in enumerate(rect_rows.tolist()):
        if top >= bottom or left >= right:
            p.fail(f"bad rectangle {i} (top {top}, left {left}, bottom {bottom}, right {right}) "
                   "is empty or inverted")
    return FixBadPixelsList(bayer_phase=phase, points=point_rows.astype(np.uint32),
                            rects=rect_rows.astype(np.uint32))


def _trim_bounds(p: _Params) -> TrimBounds:
    top, left, bottom, right = (int(v) for v in p.take("4I", "top, left, bottom and right"))
    if top >= bottom or left >= right:
        p.fail(f"bounds (top {top}, left {left}, bottom {bottom}, right {right}) are empty or inverted")
    return TrimBounds(top, left, bottom, right)


def _map_table(p: _Params) -> MapTable:
    area = _area(p)
    size = p.u32("TableSize")
    if not 1 <= size <= MAX_TABLE_SIZE:
        p.fail(f"TableSize {size} is not 1 to {MAX_TABLE_SIZE}")
    table = p.array("u2", size, f"TableSize {size} entries")
    return MapTable(area=area, table=table.astype(np.uint16))


def _map_polynomial(p: _Params) -> MapPolynomial:
    area = _area(p)
    degree = p.u32("Degree")
    if degree > MAX_POLYNOMIAL_DEGREE:
        p.fail(f"Degree {degree} is above {MAX_POLYNOMIAL_DEGREE}")
    coefficients = p.array("f8", degree + 1, f"Degree {degree} coefficients")
    _finite(p, coefficients, "the coefficients")
    return MapPolynomial(area=area, coefficients=coefficients.astype(np.float64))


def _gain_map(p: _Params) -> GainMap:
    area = _area(p)
    points_v, points_h = p.u32("MapPointsV"), p.u32("MapPointsH")
    spacing_v, spacing_h = p.f64("MapSpacingV"), p.f64("MapSpacingH")
    origin_v, origin_h = p.f64("MapOriginV"), p.f64("MapOriginH")
    planes = p.u32("MapPlanes")
    if points_v == 0 or points_h == 0 or planes == 0:
        p.fail(f"map of {points_v} x {points_h} points and {planes} planes is empty")
    _finite(p, [spacing_v, spacing_h], "the map spacing")
    _finite(p, [origin_v, origin_h], "the map origin")
    # One point along an axis needs no spacing; more than one need a step forward.
    if (points_v > 1 and spacing_v <= 0) or (points_h > 1 and spacing_h <= 0):
        p.fail(f"map spacing ({spacing_v!r}, {spacing_h!r}) is not positive")
    gains = p.array("f4", points_v * points_h * planes,
                    f"{points_v} x {points_h} x {planes} gains").reshape(points_v, points_h, planes)
    _finite(p, gains, "the gains")
    return GainMap(area=area, points_v=points_v, points_h=points_h, spacing_v=spacing_v, spacing_h=spacing_h,
                   origin_v=origin_v, origin_h=origin_h, map_planes=planes, gains=gains.astype(np.float32))


def _per_line(p: _Params, rows: bool) -> tuple[Area, npt.NDArray[np.float32]]:
    area = _area(p)
    count = p.u32("Count")
    span, pitch = (area.bottom - area.top, area.row_pitch) if rows else (area.right - area.left, area.col_pitch)
    # The area selects one value per row (or column) on its pitch, no more, no fewer.
    expected = -(-span // pitch)
    if count != expected:
        p.fail(f"Count {count} does not match the {expected} {'rows' if rows else 'columns'} its area selects")
    values = p.array("f4", count, f"Count {count} values")
    _finite(p, values, "the values")
    return area, values.astype(np.float32)


def _delta_per_row(p: _Params) -> DeltaPerRow:
    area, values = _per_line(p, rows=True)
    return DeltaPerRow(area=area, deltas=values)


def _delta_per_column(p: _Params) -> DeltaPerColumn:
    area, values = _per_line(p, rows=False)
    return DeltaPerColumn(area=area, deltas=values)


def _scale_per_row(p: _Params) -> ScalePerRow:
    area, values = _per_line(p, rows=True)
    return ScalePerRow(area=area, scales=values)


def _scale_per_column(p: _Params) -> ScalePerColumn:
    area, values = _per_line(p, rows=False)
    return ScalePerColumn(area=area, scales=values)


_PARSERS: dict[int, Callable[[_Params], OpcodeParams]] = {
    1: _warp_rectilinear, 2: _warp_fisheye, 3: _vignette, 4: _bad_pixels_constant, 5: _bad_pixels_list,
    6: _trim_bounds, 7: _map_table, 8: _map_polynomial, 9: _gain_map, 10: _delta_per_row,
    11: _delta_per_column, 12: _scale_per_row, 13: _scale_per_column,
}
