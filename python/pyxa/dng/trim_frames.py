"""What a TrimBounds in OpcodeList1 or 2 means for the stages after it.

A trim removes pixels; it moves no frame that a later stage counts from. The
ActiveArea still names rows and columns of the stored image, and the CFA
pattern, the black-level pattern and its deltas, the later lists' areas,
BayerPhases and listed pixels, and the DefaultCrop still count from the
ActiveArea's top-left pixel. When a trim cuts into the top or the left of
the area, the image the later stages run on starts further in, so the
record they read is moved into that image's frame: a `Shift` is where its
top-left pixel lies in the ActiveArea. Lines an area's pitch selects stay
the same lines (its first line moves to the first one left in the image, and
per-line values drop the lines before it).

Relative positions (gain-map grids, optical centres) span the image each list
runs on, as they always do; within its own list, the opcodes after a trim
count from the trimmed image (see opcode_nodes)."""

from __future__ import annotations

import dataclasses
import numpy as np

from ..raw import RawFileError
from .opcode_records import (Area, DeltaPerColumn, DeltaPerRow, FixBadPixelsConstant, FixBadPixelsList, GainMap,
                             MapPolynomial, MapTable, Opcode, OpcodeParams, ScalePerColumn, ScalePerRow, TrimBounds)
from .records import DngRecord

__all__ = ["Shift", "after_list1_trim", "after_list2_trim"]

Shift = tuple[int, int]  # rows, columns


def after_list1_trim(record: DngRecord, trim: Shift, height: int, width: int) -> tuple[DngRecord, Shift]:
    """The record as the stages after OpcodeList1 see it once that list has
    trimmed the stored image to ``height`` x ``width`` pixels from ``trim``:
    the ActiveArea in the trimmed image, and where its top-left pixel now
    lies in the file's ActiveArea."""
    if trim == (0, 0) and (height, width) == record.stored.shape[:2]:
        return record, (0, 0)
    top, left, bottom, right = record.active_area
    now = (max(top - trim[0], 0), max(left - trim[1], 0), min(bottom - trim[0], height), min(right - trim[1], width))
    if now[0] >= now[2] or now[1] >= now[3]:
        raise RawFileError(record.name, f"ActiveArea: (top {top}, left {left}, bottom {bottom}, right {right}) "
                                        "lies outside what OpcodeList1's TrimBounds left of the stored image")
    shift = (now[0] - (top - trim[0]), now[1] - (left - trim[1]))
    record = dataclasses.replace(record, active_area=now)
    if shift == (0, 0):
        return record, shift
    dy, dx = shift
    return dataclasses.replace(
        _moved(record, shift, stages=(2, 3)),
        black_level=np.roll(record.black_level, (-dy, -dx), axis=(0, 1)),
        black_level_delta_v=None if record.black_level_delta_v is None else record.black_level_delta_v[dy:],
        black_level_delta_h=None if record.black_level_delta_h is None else record.black_level_delta_h[dx:]), shift


def after_list2_trim(record: DngRecord, trim: Shift) -> DngRecord:
    """The record as the demosaic and OpcodeList3 see it once OpcodeList2
    has trimmed its image from ``trim``."""
    return record if trim == (0, 0) else _moved(record, trim, stages=(3,))


def _moved(record: DngRecord, shift: Shift, stages: tuple[int, ...]) -> DngRecord:
    """The CFA pattern and the listed stages' opcodes counted from ``shift``."""
    lists = dict(record.opcode_lists)
    for stage in stages:
        if stage in lists:
            lists[stage] = tuple(_moved_opcode(op, shift) for op in lists[stage])
    pattern = record.cfa_pattern
    if pattern:
        rows, cols = record.cfa_repeat
        grid = np.roll(np.reshape(pattern, (rows, cols)), (-shift[0], -shift[1]), axis=(0, 1))
        pattern = tuple(int(v) for v in grid.ravel())
    return dataclasses.replace(record, opcode_lists=lists, cfa_pattern=pattern)


def _moved_opcode(op: Opcode, shift: Shift) -> Opcode:
    return dataclasses.replace(op, params=_moved_params(op.params, shift))


def _moved_params(p: OpcodeParams, shift: Shift) -> OpcodeParams:
    dy, dx = shift
    # BayerPhase is 2 x (red's row) + (red's column) in the 2 x 2 cell.
    phase_flip = 2 * (dy & 1) + (dx & 1)
    if isinstance(p, FixBadPixelsConstant):
        return dataclasses.replace(p, bayer_phase=p.bayer_phase ^ phase_flip)
    if isinstance(p, FixBadPixelsList):
        points = p.points.astype(np.int64).reshape(-1, 2) - (dy, dx)
        rects = np.maximum(p.rects.astype(np.int64).reshape(-1, 4) - (dy, dx, dy, dx), 0)
        return dataclasses.replace(
            p, bayer_phase=p.bayer_phase ^ phase_flip,
            points=points[np.all(points >= 0, axis=1)].astype(np.uint32),
            rects=rects[(rects[:, 0] < rects[:, 2]) & (rects[:, 1] < rects[:, 3])].astype(np.uint32))
    if isinstance(p, TrimBounds):
        return TrimBounds(max(p.top - dy, 0), max(p.left - dx, 0), max(p.bottom - dy, 0), max(p.right - dx, 0))
    if isinstance(p, (DeltaPerRow, ScalePerRow)):
        moved, rows_before, _ = _moved_area(p.area, shift)
        return _drop_lines(dataclasses.replace(p, area=moved), rows_before)
    if isinstance(p, (DeltaPerColumn, ScalePerColumn)):
        moved, _, cols_before = _moved_area(p.area, shift)
        return _drop_lines(dataclasses.replace(p, area=moved), cols_before)
    if isinstance(p, (GainMap, MapTable, MapPolynomial)):
        return dataclasses.replace(p, area=_moved_area(p.area, shift)[0])
    return p  # relative positions only (warps, vignettes) or unknown


def _drop_lines(p: DeltaPerRow | DeltaPerColumn | ScalePerRow | ScalePerColumn, count: int) -> OpcodeParams:
    if isinstance(p, (DeltaPerRow, DeltaPerColumn)):
        return dataclasses.replace(p, deltas=p.deltas[count:])
    return dataclasses.replace(p, scales=p.scales[count:])


def _moved_area(a: Area, shift: Shift) -> tuple[Area, int, int]:
    """The area counted from ``shift``, and how many of its rows and columns
    (on its pitch) lie before the image that starts there."""
    top, rows_before = _first_line(a.top - shift[0], a.row_pitch)
    left, cols_before = _first_line(a.left - shift[1], a.col_pitch)
    bottom, right = max(a.bottom - shift[0], top), max(a.right - shift[1], left)
    return dataclasses.replace(a, top=top, left=left, bottom=bottom, right=right), rows_before, cols_before


def _first_line(start: int, pitch: int) -> tuple[int, int]:
    """The first line at or after 0 that the pitch selects from ``start``, and how many it passes."""
    if start >= 0:
        return start, 0
    skipped = -(start // pitch)  # ceil(-start / pitch)
    return start + skipped * pitch, skipped
