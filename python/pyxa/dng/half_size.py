"""A half-size development's OpcodeList3 and default crop: the demosaic
makes one pixel of each 2 x 2 CFA cell, so what comes after it counts half
the pixels. Relative positions (gain-map grids, optical centres) stay as they
are; areas, trims and crops in pixels are halved (starts rounded down, ends
up, so the half image covers at least what the full one did); a pitch of 1
stays 1 and an even pitch is halved. Per-row and per-column values take the
mean of the two full-size lines each half-size line stands for. An opcode
whose area cannot be halved (an odd pitch other than 1) is left out, named
in a note: a preview renders without it."""

from __future__ import annotations

import dataclasses
from typing import Optional, Union

import numpy as np

from .opcode_records import (Area, DeltaPerColumn, DeltaPerRow, GainMap, MapPolynomial, MapTable, Opcode,
                             ScalePerColumn, ScalePerRow, TrimBounds)

__all__ = ["halve_list3", "halve_crop"]

PerLine = Union[DeltaPerRow, DeltaPerColumn, ScalePerRow, ScalePerColumn]


def _pitch(p: int) -> Optional[int]:
    return 1 if p == 1 else p // 2 if p % 2 == 0 else None


def halve_area(a: Area) -> Optional[Area]:
    """The area in half-size pixels, or None when a pitch cannot be halved."""
    row_pitch, col_pitch = _pitch(a.row_pitch), _pitch(a.col_pitch)
    if row_pitch is None or col_pitch is None:
        return None
    return dataclasses.replace(a, top=a.top // 2, left=a.left // 2, bottom=(a.bottom + 1) // 2,
                               right=(a.right + 1) // 2, row_pitch=row_pitch, col_pitch=col_pitch)


def _paired_mean(values: np.ndarray) -> np.ndarray:
    """Each half-size line's value: the mean of the two full-size lines it covers."""
    padded = np.append(values, values[-1]) if values.size % 2 else values
    return np.asarray((padded[0::2].astype(np.float64) + padded[1::2]) / 2, np.float32)


def _halve(params: object) -> Optional[object]:
    if isinstance(params, TrimBounds):
        return TrimBounds(params.top // 2, params.left // 2, (params.bottom + 1) // 2, (params.right + 1) // 2)
    area = getattr(params, "area", None)
    if area is None:
        return params  # relative positions only (warps, vignettes)
    half = halve_area(area)
    if half is None:
        return None
    if isinstance(params, (DeltaPerRow, DeltaPerColumn)):
        along_rows = isinstance(params, DeltaPerRow)
        pitch = area.row_pitch if along_rows else area.col_pitch
        deltas = _paired_mean(params.deltas) if pitch == 1 else params.deltas
        return dataclasses.replace(params, area=half, deltas=deltas)
    if isinstance(params, (ScalePerRow, ScalePerColumn)):
        pitch = area.row_pitch if isinstance(params, ScalePerRow) else area.col_pitch
        scales = _paired_mean(params.scales) if pitch == 1 else params.scales
        return dataclasses.replace(params, area=half, scales=scales)
    if isinstance(params, (GainMap, MapTable, MapPolynomial)):
        return dataclasses.replace(params, area=half)
    return None


def halve_list3(opcodes: tuple[Opcode, ...]) -> tuple[tuple[Opcode, ...], list[str]]:
    """OpcodeList3 in half-size pixels, and a note per opcode left out."""
    kept, notes = [], []
    for i, op in enumerate(opcodes):
        params = _halve(op.params)
        if params is None:
            notes.append(f"OpcodeList3: opcode {i} ({op.name}) has an odd pitch and is left out of the "
                         "half-size preview")
            continue
        kept.append(dataclasses.replace(op, params=params))  # type: ignore[arg-type]
    return tuple(kept), notes


def halve_crop(origin: tuple[float, float], size: Optional[tuple[float, float]]
               ) -> tuple[tuple[float, float], Optional[tuple[float, float]]]:
    """DefaultCropOrigin and Size (horizontal first) in half-size pixels."""
    half_origin = (origin[0] / 2, origin[1] / 2)
    return half_origin, None if size is None else (size[0] / 2, size[1] / 2)
