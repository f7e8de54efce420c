"""The opcodes of a DNG's opcode lists, as plain typed records: the reader
fills them from the lists' bytes, the development graph maps each to an engine
op. Apart from the other records (``records``) because only a file with
opcode lists needs them, and a command's start-up pays for every record type
it defines.

Names follow the DNG opcodes, so a reader of the format's own documentation
finds each field under the name it has there. Coordinates are (row, column)
unless the opcode stores them the other way, as noted."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Union

import numpy as np
import numpy.typing as npt

from .records import DoubleArray, FloatArray

__all__ = [
    "Area", "WarpRectilinear", "WarpFisheye", "FixVignetteRadial", "FixBadPixelsConstant",
    "FixBadPixelsList", "TrimBounds", "MapTable", "MapPolynomial", "GainMap", "DeltaPerRow",
    "DeltaPerColumn", "ScalePerRow", "ScalePerColumn", "UnknownOpcode", "OpcodeParams", "Opcode",
    "OPCODE_NAMES", "FLAG_OPTIONAL", "FLAG_PREVIEW_SKIP",
]

# Opcode flags: bit 0, a reader that does not know the opcode may skip it;
# bit 1, the opcode may be skipped when rendering a preview.
FLAG_OPTIONAL = 1
FLAG_PREVIEW_SKIP = 2

OPCODE_NAMES = {
    1: "WarpRectilinear", 2: "WarpFisheye", 3: "FixVignetteRadial", 4: "FixBadPixelsConstant",
    5: "FixBadPixelsList", 6: "TrimBounds", 7: "MapTable", 8: "MapPolynomial", 9: "GainMap",
    10: "DeltaPerRow", 11: "DeltaPerColumn", 12: "ScalePerRow", 13: "ScalePerColumn",
}


@dataclass(frozen=True)
class Area:
    """The AREA block that starts several opcodes: rows top, top + row_pitch, ...
    below bottom; columns left, left + col_pitch, ... below right; planes
    plane to plane + planes - 1."""

    top: int
    left: int
    bottom: int
    right: int
    plane: int
    planes: int
    row_pitch: int
    col_pitch: int


@dataclass(frozen=True)
class WarpRectilinear:
    """Per plane (N = 1 or the plane count) the coefficients kr0..kr3, kt0, kt1;
    the optical centre relative to the image (0..1)."""

    coefficients: DoubleArray  # (N, 6)
    center_x: float
    center_y: float


@dataclass(frozen=True)
class WarpFisheye:
    coefficients: DoubleArray  # (N, 4): kr0..kr3
    center_x: float
    center_y: float


@dataclass(frozen=True)
class FixVignetteRadial:
    k: tuple[float, float, float, float, float]
    center_x: float
    center_y: float


@dataclass(frozen=True)
class FixBadPixelsConstant:
    constant: int
    bayer_phase: int


@dataclass(frozen=True)
class FixBadPixelsList:
    bayer_phase: int
    points: npt.NDArray[np.uint32]  # (n, 2): row, column
    rects: npt.NDArray[np.uint32]  # (m, 4): top, left, bottom, right


@dataclass(frozen=True)
class TrimBounds:
    top: int
    left: int
    bottom: int
    right: int


@dataclass(frozen=True)
class MapTable:
    area: Area
    table: npt.NDArray[np.uint16]


@dataclass(frozen=True)
class MapPolynomial:
    area: Area
    coefficients: DoubleArray  # degree + 1 values


@dataclass(frozen=True)
class GainMap:
    """Gains at points_v x points_h grid points, map_planes per point; spacing
    and origin are relative to the image (0..1)."""

    area: Area
    points_v: int
    points_h: int
    spacing_v: float
    spacing_h: float
    origin_v: float
    origin_h: float
    map_planes: int
    gains: FloatArray  # (points_v, points_h, map_planes)


@dataclass(frozen=True)
class DeltaPerRow:
    area: Area
    deltas: FloatArray  # added to the samples of each selected row, in order


@dataclass(frozen=True)
class DeltaPerColumn:
    area: Area
    deltas: FloatArray


@dataclass(frozen=True)
class ScalePerRow:
    area: Area
    scales: FloatArray  # multiplies the samples of each selected row, in order


@dataclass(frozen=True)
class ScalePerColumn:
    area: Area
    scales: FloatArray


@dataclass(frozen=True)
class UnknownOpcode:
    """An opcode id this reader does not know; its bytes are kept as they are."""

    data: bytes


OpcodeParams = Union[WarpRectilinear, WarpFisheye, FixVignetteRadial, FixBadPixelsConstant, FixBadPixelsList,
                     TrimBounds, MapTable, MapPolynomial, GainMap, DeltaPerRow, DeltaPerColumn, ScalePerRow,
                     ScalePerColumn, UnknownOpcode]


@dataclass(frozen=True)
class Opcode:
    """One opcode of OpcodeList1, 2 or 3 (``stage``), as the list stores it."""

    id: int
    dng_version: int  # e.g. 0x01030000 for 1.3.0.0
    flags: int
    stage: int  # 1, 2 or 3: the list it came from
    params: OpcodeParams

    @property
    def name(self) -> str:
        return OPCODE_NAMES.get(self.id, f"Unknown({self.id})")

    @property
    def optional(self) -> bool:
        return bool(self.flags & FLAG_OPTIONAL)

    @property
    def preview_skip(self) -> bool:
        return bool(self.flags & FLAG_PREVIEW_SKIP)
