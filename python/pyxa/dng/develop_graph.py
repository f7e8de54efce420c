"""The development graph of a DNG record, as a pure step (record and choices
in, Graph out; no file is touched):

    stored image -> OpcodeList1 -> ActiveArea (view) -> normalize_raw
    -> OpcodeList2 -> demosaic (CFA images) -> OpcodeList3
    -> colour: the profile look (clip_and_transform_color to linear ProPhoto,
       ProfileGainTableMap, HueSatMap, exposure, LookTable, hue-preserving
       tone curve with the output matrix and curve) or the linear look
       (white balance and camera -> sRGB matrix, output curve)
    -> DefaultCrop (view) -> orientation

Frames: OpcodeList1 counts from the stored image's top-left pixel; the
CFA pattern, the black-level pattern and its deltas, OpcodeList2 and 3 and
DefaultCrop from the ActiveArea's (see opcode_nodes); a TrimBounds in any
list moves none of these frames (see trim_frames). The ProfileGainTableMap
runs on linear ProPhoto right after the camera matrix, over the ActiveArea
image like OpcodeList3, with the brightness scaled by 2^BaselineExposure.
Whole-image opcodes are the only places where the graph makes an
intermediate image; everything between them streams rows in one chain."""

from __future__ import annotations

import dataclasses
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Any, Optional

import numpy as np
import numpy.typing as npt

from ..color.plan import ColorPlan
from ..graph import Graph, Tensor
from ..raw import CFA_ORDERS, RawFileError
from .choices import DEMOSAIC_OPS, LOOKS, DevelopChoices, check_choices
from .color_nodes import linear_look, profile_look, rendering_profile
from .records import CameraProfile, DngRecord

# The opcodes' modules (and their records) are imported where a file's opcode
# lists are used: a command's start-up pays for every record type defined.
if TYPE_CHECKING:
    from .opcode_nodes import MappedOpcode
    from .trim_frames import Shift

__all__ = ["DevelopChoices", "DngGraph", "dng_graph", "LOOKS", "DEMOSAIC_OPS", "rendering_profile"]

PLANE_LETTERS = "RGB"


@dataclass
class DngGraph:
    """The graph (its one input bound to the record's stored image) and what went into it."""

    graph: Graph
    opcodes: dict[int, tuple[MappedOpcode, ...]] = field(default_factory=dict)
    plan: Optional[ColorPlan] = None
    profile: Optional[CameraProfile] = None
    notes: list[str] = field(default_factory=list)
    # Where the colour stage's top-left pixel lies in the ActiveArea (moved
    # by the TrimBounds of any list; see trim_frames).
    offset: tuple[int, int] = (0, 0)
    # The camera channels' clip of the colour stage: the white balance's gains are 1 / clip.
    clip_max: Optional[npt.NDArray[np.float64]] = None


def dng_graph(record: DngRecord, choices: DevelopChoices = DevelopChoices()) -> DngGraph:
    """The development graph of ``record`` under ``choices``; run it with
    ``result.graph.run()``. Refusals are RawFileError naming the file, the
    tag and the problem; a choice that makes no sense is a ValueError."""
    check_choices(choices)
    _check_image(record)
    g = Graph()
    out = DngGraph(g)
    x = g.input(record.stored)
    x, trim = _opcodes(out, record, x, 1, choices)
    record, shift = _after_list1(record, trim, x)
    x = _active_area(g, record, x)
    x = _normalize(g, record, x)
    x, trim = _opcodes(out, record, x, 2, choices)
    record = _after_list2(record, trim)
    shift = (shift[0] + trim[0], shift[1] + trim[1])
    if record.is_cfa:
        op, fast = DEMOSAIC_OPS[choices.demosaic]
        attrs: dict[str, Any] = {"cfa_pattern": cfa_order(record)}
        if fast:
            attrs["fast"] = True
        x = g.add(op, x, **attrs)
        if op == "half_demosaic":
            record = _half_size(record, out)
            shift = (shift[0] // 2, shift[1] // 2)
    x, trim = _opcodes(out, record, x, 3, choices)
    out.offset = (shift[0] + trim[0], shift[1] + trim[1])
    out.profile = rendering_profile(record, choices.profile)
    look = profile_look if choices.look == "profile" else linear_look
    colour = look(g, record, x, out.profile, choices)
    out.plan, out.notes, out.clip_max = colour.plan, out.notes + colour.notes, colour.clip_max
    x = _default_crop(g, record, colour.x, out.offset)
    orientation = record.orientation if choices.orientation is None else choices.orientation
    if orientation != 1:
        x = g.orientation(x, orientation=orientation)
    return out


def _after_list1(record: DngRecord, trim: Shift, x: Tensor) -> tuple[DngRecord, Shift]:
    """after_list1_trim; without opcode lists nothing was trimmed."""
    if not record.opcode_lists:
        return record, (0, 0)
    from .trim_frames import after_list1_trim

    return after_list1_trim(record, trim, x.height, x.width)


def _after_list2(record: DngRecord, trim: Shift) -> DngRecord:
    """after_list2_trim; without opcode lists nothing was trimmed."""
    if not record.opcode_lists:
        return record
    from .trim_frames import after_list2_trim

    return after_list2_trim(record, trim)


def _half_size(record: DngRecord, out: DngGraph) -> DngRecord:
    """The record as the stages after a half-size demosaic see it."""
    from .half_size import halve_crop, halve_list3

    lists = dict(record.opcode_lists)
    lists[3], notes = halve_list3(lists.get(3, ()))
    out.notes += notes
    origin, size = halve_crop(record.default_crop_origin, record.default_crop_size)
    return dataclasses.replace(record, opcode_lists=lists, default_crop_origin=origin, default_crop_size=size)


def _check_image(record: DngRecord) -> None:
    """Refuses images the graph has no ops for: non-Bayer CFAs, LinearRaw of other than 3 samples."""
    file = record.name
    if record.stored.size == 0:
        raise RawFileError(file, "was read without its pixels (read_dng(..., pixels=False)); nothing to develop")
    if record.is_cfa:
        if record.cfa_plane_color != (0, 1, 2):
            raise RawFileError(file, f"CFAPlaneColor: is {record.cfa_plane_color}; only red, green and blue "
                                     "planes (0, 1, 2) are developed")
        if record.cfa_repeat != (2, 2) or cfa_order(record) not in CFA_ORDERS:
            raise RawFileError(file, f"CFAPattern: {record.cfa_repeat[0]} x {record.cfa_repeat[1]} pattern "
                                     f"{record.cfa_pattern} is not a 2 x 2 Bayer pattern (RGGB, GRBG, GBRG "
                                     "or BGGR); only those are developed")
    elif record.samples_per_pixel != 3:
        raise RawFileError(file, f"SamplesPerPixel: a LinearRaw image of {record.samples_per_pixel} samples; "
                                 "only 3 (red, green, blue) are developed")


def cfa_order(record: DngRecord) -> str:
    """The 2 x 2 CFA order of a record ("RGGB", ...), from the active area's corner."""
    return "".join(PLANE_LETTERS[record.cfa_plane_color[i]] if i < len(record.cfa_plane_color) else "?"
                   for i in record.cfa_pattern)


def _opcodes(out: DngGraph, record: DngRecord, x: Tensor, stage: int,
             choices: DevelopChoices) -> tuple[Tensor, Shift]:
    """The list's nodes after ``x``: its last tensor, and where that tensor's
    top-left pixel lies in the list's image (moved by its TrimBounds)."""
    opcodes = record.opcode_lists.get(stage, ())
    if not opcodes:
        return x, (0, 0)
    from .opcode_nodes import StageImage, add_opcode_list

    image = StageImage(record.name, stage, x.height, x.width, x.channels)
    result = add_opcode_list(out.graph, x, opcodes, image, ignore_unknown=choices.ignore_unknown_opcodes)
    out.opcodes[stage] = result.mapped
    return result.x, result.offset


def _active_area(g: Graph, record: DngRecord, x: Tensor) -> Tensor:
    top, left, bottom, right = record.active_area
    if (top, left, bottom, right) == (0, 0, x.height, x.width):
        return x
    # The masked pixels around the active area are no image: a demosaic
    # mirrors at the area's edges rather than read them.
    return g.view(x, top=top, left=left, height=bottom - top, width=right - left, oob_valid=False)


def _normalize(g: Graph, record: DngRecord, x: Tensor) -> Tensor:
    rows, cols = record.black_level_repeat
    return g.normalize_raw(
        x, black_repeat_rows=rows, black_repeat_cols=cols, samples_per_pixel=x.channels,
        black_level=record.black_level.ravel(), white_level=list(record.white_level),
        black_delta_h=record.black_level_delta_h, black_delta_v=record.black_level_delta_v,
        linearization_table=record.linearization_table)


def _default_crop(g: Graph, record: DngRecord, x: Tensor, offset: tuple[int, int]) -> Tensor:
    """DefaultCropOrigin and Size (relative to the ActiveArea, rounded to whole
    pixels) as a view, limited to what a trim left of the image."""
    if record.default_crop_size is None and record.default_crop_origin == (0.0, 0.0) and offset == (0, 0):
        return x
    left, top = (int(round(v)) for v in record.default_crop_origin)
    width, height = ((x.width + offset[1], x.height + offset[0]) if record.default_crop_size is None
                     else (int(round(v)) for v in record.default_crop_size))
    bottom, right = min(top + height - offset[0], x.height), min(left + width - offset[1], x.width)
    top, left = max(0, top - offset[0]), max(0, left - offset[1])
    if top >= bottom or left >= right:
        raise RawFileError(record.name, "DefaultCropOrigin: the default crop lies outside what OpcodeList3's "
                                        "TrimBounds left of the image")
    if (top, left, bottom, right) == (0, 0, x.height, x.width):
        return x
    return g.view(x, top=top, left=left, height=bottom - top, width=right - left)
