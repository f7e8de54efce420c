"""DNG opcodes as engine nodes: each opcode of OpcodeList1, 2 or 3 becomes the
engine op that carries out its rule on the image of its stage, after every
field has been checked against what that op accepts.

Frames: an opcode's coordinates (its area, a gain map's origin, a warp's
optical centre, BayerPhase) count from the top-left pixel of the image its
list runs on. OpcodeList1 runs on the whole stored image, OpcodeList2 on the
linearised mosaic cropped to the ActiveArea, OpcodeList3 on the demosaiced
(or linear) image of the ActiveArea; relative positions (0..1) span that
image. Areas are clipped to it; one that misses it, or a plane range beyond
its planes, does nothing and makes no node. After a TrimBounds, the opcodes
that follow in its list run on the trimmed image and count from its corner;
the later stages' frames do not move (trim_frames moves their records into
the trimmed image's frame).

Values: OpcodeList1 sees the stored samples. The opcodes the engine runs on
integers (the constant bad-pixel fix) take them as they are; the others see
them as fractions of 65535 (float32), and the list's result is rounded back
to 16 bits before linearisation. OpcodeList2 and 3 see [0, 1] values; the
constant bad-pixel fix there compares 16-bit values (v * 65535, rounded).

Flags: an opcode this build cannot run (unknown to the format, or without an
engine op) is skipped with a DngOpcodeWarning when its flags mark it
optional, or when the caller allows it; otherwise the file is refused.
Opcodes marked for skipping in previews run: the renderings are full size."""

from __future__ import annotations

import warnings
from collections.abc import Callable, Sequence
from dataclasses import dataclass
from typing import Any, NoReturn, Optional

import numpy as np

from .._opdefs import OPS_BY_NAME
from ..graph import Graph, Tensor
from ..raw import RawFileError
from .opcode_records import (Area, DeltaPerColumn, DeltaPerRow, FixBadPixelsConstant, FixBadPixelsList,
                             FixVignetteRadial, GainMap, MapPolynomial, MapTable, Opcode, ScalePerColumn,
                             ScalePerRow, TrimBounds, WarpFisheye, WarpRectilinear)
from .records import STAGE_TAGS
from .tags import FLOAT32_MAX, DngOpcodeWarning

__all__ = ["DngOpcodeWarning", "StageImage", "MappedOpcode", "ListResult", "add_opcode_list",
           "MAX_OPCODES_PER_LIST", "ENGINE_OPS", "ROUNDING_LUT"]

# Real files carry a handful per list (four gain maps, a warp, a vignette);
# each opcode is a pass over the whole image, so a list of thousands is a
# file built to stall the renderer.
MAX_OPCODES_PER_LIST = 256
# float32 [0, 1] -> uint16 rounded to the nearest level: the table adds half
# a level and the engine truncates toward zero when it stores the integer.
ROUNDING_LUT = np.array([0.5 / 65535.0, 1.0 + 0.5 / 65535.0], np.float32)

# DNG opcode name -> the engine op it becomes (what docs/dng.md tabulates).
ENGINE_OPS = {
    "WarpRectilinear": "warp_rectilinear", "WarpFisheye": "warp_fisheye", "FixVignetteRadial": "fix_vignette",
    "FixBadPixelsConstant": "fix_bad_pixels_constant", "FixBadPixelsList": "fix_bad_pixels_list",
    "TrimBounds": "trim_bounds", "MapTable": "map_table", "MapPolynomial": "map_polynomial",
    "GainMap": "apply_gain_map_cfa (mosaic) / apply_gain_map (RGB)", "DeltaPerRow": "delta_per_row",
    "DeltaPerColumn": "delta_per_column", "ScalePerRow": "scale_per_row", "ScalePerColumn": "scale_per_column",
}


@dataclass(frozen=True)
class StageImage:
    """The image an opcode list runs on: file name (for messages), list number and size."""

    file: str
    stage: int
    height: int
    width: int
    channels: int


@dataclass(frozen=True)
class MappedOpcode:
    """What became of one opcode: the engine ops it runs as (empty when skipped) and why not."""

    index: int
    name: str
    ops: tuple[str, ...]
    note: str = ""


class _ListBuilder:
    """Adds the nodes of one list to a graph, tracking the current tensor and
    converting stored integers to float32 and back where an op needs it."""

    def __init__(self, g: Graph, x: Tensor, image: StageImage, ignore_unknown: bool):
        self.g, self.x, self.image, self.ignore_unknown = g, x, image, ignore_unknown
        self.integer_input = x.dtype == np.uint16
        self.done: list[MappedOpcode] = []
        # Where the current image's top-left pixel lies in the list's first
        # image: a TrimBounds moves it, and the default crop follows.
        self.offset = (0, 0)
        self.current: Optional[Opcode] = None  # the opcode being mapped, for its flags

    @property
    def height(self) -> int:
        return self.x.height

    @property
    def width(self) -> int:
        return self.x.width

    @property
    def channels(self) -> int:
        return self.x.channels

    def fail(self, index: int, name: str, problem: str) -> NoReturn:
        raise RawFileError(self.image.file, f"{STAGE_TAGS[self.image.stage]}: opcode {index} ({name}): {problem}")

    def note(self, index: int, name: str, text: str) -> None:
        warnings.warn(f"{self.image.file}: {STAGE_TAGS[self.image.stage]}: opcode {index} ({name}): {text}",
                      DngOpcodeWarning, stacklevel=4)
        self.done.append(MappedOpcode(index, name, (), text))

    def float32(self) -> Tensor:
        if self.x.dtype == np.uint16:
            self.x = self.g.convert_dtype(self.x, dest_dtype="float32")
        return self.x

    def uint16(self) -> Tensor:
        if self.x.dtype == np.float32:
            self.x = self.g.mono_lut(self.x, dest_dtype="uint16", lut=ROUNDING_LUT)
        return self.x

    def add(self, index: int, name: str, op: str, x: Tensor, **attrs: Any) -> None:
        self.x = self.g.add(op, x, **{k: v for k, v in attrs.items() if v is not None})
        self.done.append(MappedOpcode(index, name, (op,)))

    def rect(self, area: Area) -> Optional[tuple[int, int, int, int]]:
        """The area's rectangle clipped to the image; None when it misses it."""
        bottom, right = min(area.bottom, self.height), min(area.right, self.width)
        if area.top >= bottom or area.left >= right:
            return None
        return area.top, area.left, bottom, right

    def planes(self, area: Area) -> Optional[tuple[int, int]]:
        """The area's first plane and plane count within the image; None when beyond it."""
        if area.plane >= self.channels:
            return None
        return area.plane, min(area.planes, self.channels - area.plane)


@dataclass(frozen=True)
class ListResult:
    """The list's last tensor (of its input's dtype), what became of each
    opcode, and where that tensor's top-left pixel lies in the input (moved
    by a TrimBounds)."""

    x: Tensor
    mapped: tuple[MappedOpcode, ...]
    offset: tuple[int, int] = (0, 0)


def add_opcode_list(g: Graph, x: Tensor, opcodes: Sequence[Opcode], image: StageImage, *,
                    ignore_unknown: bool = False) -> ListResult:
    """Adds the nodes of one opcode list after ``x``."""
    if len(opcodes) > MAX_OPCODES_PER_LIST:
        raise RawFileError(image.file, f"{STAGE_TAGS[image.stage]}: holds {len(opcodes)} opcodes; at most "
                                       f"{MAX_OPCODES_PER_LIST} are developed")
    b = _ListBuilder(g, x, image, ignore_unknown)
    for index, opcode in enumerate(opcodes):
        _add_opcode(b, index, opcode)
    if b.integer_input:
        b.uint16()
    return ListResult(b.x, tuple(b.done), b.offset)


def _add_opcode(b: _ListBuilder, index: int, opcode: Opcode) -> None:
    entry = _MAPPERS.get(type(opcode.params))
    if entry is None:
        _unavailable(b, index, opcode, "not known to this renderer")
        return
    op, mapper = entry
    if not engine_has(op):
        _unavailable(b, index, opcode, f"no engine op in this build (it needs {op})")
        return
    b.current = opcode
    mapper(b, index, opcode.name, opcode.params)


def _unavailable(b: _ListBuilder, index: int, opcode: Opcode, why: str) -> None:
    if opcode.optional:
        b.note(index, opcode.name, f"{why}; skipped, as its flags mark it optional")
    elif b.ignore_unknown:
        b.note(index, opcode.name, f"{why}; skipped (ignore_unknown_opcodes), though its flags do not mark "
                                   "it optional: the rendering is not the one the file asks for")
    else:
        b.fail(index, opcode.name, f"{why}, and its flags (0x{opcode.flags:x}) do not mark it optional; "
                                   "pass ignore_unknown_opcodes=True (--ignore-unknown-opcodes) to develop "
                                   "without it")


def _gain_map(b: _ListBuilder, index: int, name: str, p: GainMap) -> None:
    rect, planes = b.rect(p.area), b.planes(p.area)
    if rect is None or planes is None:
        b.note(index, name, "has no effect: its area misses the image")
        return
    top, left, bottom, right = rect
    place = dict(points_v=p.points_v, points_h=p.points_h, top=top, left=left, bottom=bottom, right=right,
                 row_pitch=p.area.row_pitch, col_pitch=p.area.col_pitch, spacing_v=p.spacing_v,
                 spacing_h=p.spacing_h, origin_v=p.origin_v, origin_h=p.origin_h)
    x = b.float32()
    if b.channels == 1:
        b.add(index, name, "apply_gain_map_cfa", x, gain_values=p.gains[:, :, 0], map_planes=1, **place)
        return
    # The format gives plane k of the area map plane min(k, MapPlanes - 1);
    # the engine gives image plane p gain plane min(p, map_planes - 1). Gain
    # planes placed in front of the map (never read) line the two up.
    start, count = planes
    gains = np.concatenate([np.ones((p.points_v, p.points_h, start), np.float32), p.gains], axis=2)
    b.add(index, name, "apply_gain_map", x, gain_values=gains, map_planes=start + p.map_planes,
          start_plane=start, num_planes=count, **place)


def _warp_rectilinear(b: _ListBuilder, index: int, name: str, p: WarpRectilinear) -> None:
    sets, planes = p.coefficients.shape[0], b.channels
    if sets not in (1, planes):
        b.fail(index, name, f"has {sets} coefficient sets; an image of {planes} plane{'s' * (planes > 1)} "
                            f"takes 1 or {planes}")
    coefficients = np.broadcast_to(p.coefficients, (planes, 6))
    tangential = coefficients[:, 4:6].ravel()
    # Bicubic sampling reads a 4 x 4 window: smaller images are sampled bilinearly.
    b.add(index, name, "warp_rectilinear", b.float32(), radial_params=coefficients[:, :4].ravel(),
          num_planes=planes, num_coeffs=4, tangential_params=tangential if np.any(tangential) else None,
          center_x=p.center_x, center_y=p.center_y, use_bicubic=min(b.height, b.width) >= 4)


def _fix_vignette(b: _ListBuilder, index: int, name: str, p: FixVignetteRadial) -> None:
    b.add(index, name, "fix_vignette", b.float32(), params=list(p.k), center_x=p.center_x, center_y=p.center_y)


def _fix_bad_pixels_constant(b: _ListBuilder, index: int, name: str, p: FixBadPixelsConstant) -> None:
    if b.channels != 1:
        b.fail(index, name, f"repairs a CFA mosaic; the image of this list has {b.channels} planes")
    if b.image.stage == 1 and not b.integer_input:
        b.fail(index, name, "compares integer samples; this image stores floating-point ones")
    if p.constant > 65535:
        b.note(index, name, f"has no effect: no 16-bit sample holds its Constant {p.constant}")
        return
    back_to_float = b.x.dtype == np.float32
    # The engine numbers a red or blue top-left site 1 or 2 and a green one 0
    # or 3; the format's BayerPhase numbers red 0, green-red 1, green-blue 2,
    # blue 3: one is the other XOR 1.
    b.add(index, name, "fix_bad_pixels_constant", b.uint16(), constant=p.constant, bayer_phase=p.bayer_phase ^ 1)
    if back_to_float:
        b.float32()


def _map_polynomial(b: _ListBuilder, index: int, name: str, p: MapPolynomial) -> None:
    rect, planes = b.rect(p.area), b.planes(p.area)
    if rect is None or planes is None:
        b.note(index, name, "has no effect: its area misses the image")
        return
    big = np.abs(p.coefficients) > FLOAT32_MAX
    if np.any(big):
        b.fail(index, name, f"coefficient {float(p.coefficients[big][0]):g} is beyond the range of the "
                            "engine's 32-bit coefficients")
    top, left, bottom, right = rect
    b.add(index, name, "map_polynomial", b.float32(), top=top, left=left, bottom=bottom, right=right,
          start_plane=planes[0], num_planes=planes[1], row_pitch=p.area.row_pitch, col_pitch=p.area.col_pitch,
          coefficients=p.coefficients.astype(np.float32), degree=p.coefficients.size - 1)


def _warp_fisheye(b: _ListBuilder, index: int, name: str, p: WarpFisheye) -> None:
    sets, planes = p.coefficients.shape[0], b.channels
    if sets not in (1, planes):
        b.fail(index, name, f"has {sets} coefficient sets; an image of {planes} plane{'s' * (planes > 1)} "
                            f"takes 1 or {planes}")
    b.add(index, name, "warp_fisheye", b.float32(), radial_params=np.broadcast_to(p.coefficients, (planes, 4)).ravel(),
          num_planes=planes, num_coeffs=4, center_x=p.center_x, center_y=p.center_y,
          use_bicubic=min(b.height, b.width) >= 4)


def _fix_bad_pixels_list(b: _ListBuilder, index: int, name: str, p: FixBadPixelsList) -> None:
    if b.channels != 1:
        b.fail(index, name, f"repairs a CFA mosaic; the image of this list has {b.channels} planes")
    # Listed pixels outside the image are not in it: they need no repair.
    points = p.points[(p.points[:, 0] < b.height) & (p.points[:, 1] < b.width)] if p.points.size else p.points
    rects = p.rects.astype(np.int64)
    if rects.size:
        rects = np.minimum(rects, [b.height, b.width, b.height, b.width])
        rects = rects[(rects[:, 0] < rects[:, 2]) & (rects[:, 1] < rects[:, 3])]
    if not points.size and not rects.size:
        b.note(index, name, "has no effect: none of its pixels lies in the image")
        return
    b.add(index, name, "fix_bad_pixels_list", b.x, bayer_phase=p.bayer_phase ^ 1,
          points=points.astype(np.int64).ravel() if points.size else None, rects=rects.ravel() if rects.size else None)


def _trim_bounds(b: _ListBuilder, index: int, name: str, p: TrimBounds) -> None:
    bottom, right = min(p.bottom, b.height), min(p.right, b.width)
    if p.top >= bottom or p.left >= right:
        b.fail(index, name, f"bounds (top {p.top}, left {p.left}, bottom {p.bottom}, right {p.right}) leave "
                            f"nothing of the {b.width} x {b.height} image")
    b.add(index, name, "trim_bounds", b.x, top=p.top, left=p.left, bottom=bottom, right=right)
    b.offset = (b.offset[0] + p.top, b.offset[1] + p.left)


def _map_table(b: _ListBuilder, index: int, name: str, p: MapTable) -> None:
    rect, planes = b.rect(p.area), b.planes(p.area)
    if rect is None or planes is None:
        b.note(index, name, "has no effect: its area misses the image")
        return
    if b.integer_input:
        x, table = b.uint16(), p.table
    else:
        # On [0, 1] values the format looks up the 16-bit value v * 65535 (the
        # last entry for anything beyond the table); the engine spreads a
        # float table over [0, 1], so it gets the table of all 65536 values.
        x, table = b.float32(), p.table[np.minimum(np.arange(65536), p.table.size - 1)]
    top, left, bottom, right = rect
    b.add(index, name, "map_table", x, top=top, left=left, bottom=bottom, right=right, start_plane=planes[0],
          num_planes=planes[1], row_pitch=p.area.row_pitch, col_pitch=p.area.col_pitch, table=table)


def _per_line(b: _ListBuilder, index: int, name: str, p: DeltaPerRow | DeltaPerColumn | ScalePerRow |
              ScalePerColumn) -> None:
    rect, planes = b.rect(p.area), b.planes(p.area)
    if rect is None or planes is None:
        b.note(index, name, "has no effect: its area misses the image")
        return
    op, values = _PER_LINE[type(p)]
    top, left, bottom, right = rect
    b.add(index, name, op, b.float32(), top=top, left=left, bottom=bottom, right=right, start_plane=planes[0],
          num_planes=planes[1], row_pitch=p.area.row_pitch, col_pitch=p.area.col_pitch,
          **{values: p.deltas if isinstance(p, (DeltaPerRow, DeltaPerColumn)) else p.scales})


_PER_LINE: dict[type, tuple[str, str]] = {
    DeltaPerRow: ("delta_per_row", "deltas"), DeltaPerColumn: ("delta_per_column", "deltas"),
    ScalePerRow: ("scale_per_row", "scales"), ScalePerColumn: ("scale_per_column", "scales"),
}


_Mapper = Callable[[_ListBuilder, int, str, Any], None]
# Each opcode record type: the engine op that must exist, and its mapping.
_MAPPERS: dict[type, tuple[str, _Mapper]] = {
    GainMap: ("apply_gain_map_cfa", _gain_map), WarpRectilinear: ("warp_rectilinear", _warp_rectilinear),
    FixVignetteRadial: ("fix_vignette", _fix_vignette),
    FixBadPixelsConstant: ("fix_bad_pixels_constant", _fix_bad_pixels_constant),
    MapPolynomial: ("map_polynomial", _map_polynomial), WarpFisheye: ("warp_fisheye", _warp_fisheye),
    FixBadPixelsList: ("fix_bad_pixels_list", _fix_bad_pixels_list), TrimBounds: ("trim_bounds", _trim_bounds),
    MapTable: ("map_table", _map_table), DeltaPerRow: ("delta_per_row", _per_line),
    DeltaPerColumn: ("delta_per_column", _per_line), ScalePerRow: ("scale_per_row", _per_line),
    ScalePerColumn: ("scale_per_column", _per_line),
}


def engine_has(op: str) -> bool:
    """Whether this build's op table holds ``op``."""
    return op in OPS_BY_NAME
