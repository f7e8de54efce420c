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
DefaultCrop from the ActiveArea's (see opcode_nodes). The ProfileGainTableMap
runs on linear ProPhoto right after the camera matrix, over the ActiveArea
image like OpcodeList3, with the brightness scaled by 2^BaselineExposure.
Whole-image opcodes are the only places where the graph makes an
intermediate image; everything between them streams rows in one chain."""

from __future__ import annotations

import dataclasses
import math
from dataclasses import dataclass, field
from typing import Any, Optional

import numpy as np
import numpy.typing as npt

from .._curves import Curve, curve_table
from ..graph import Graph, Tensor
from ..raw import CFA_ORDERS, RawFileError, camera_to_srgb
from ..color.colorimetry import light_source
from ..color.plan import ColorPlan, plan_color
from ..color.spaces import output_space
from ..color.white import WhiteSetting, resolve_white
from .opcode_nodes import FLOAT32_MAX, MappedOpcode, StageImage, add_opcode_list
from .records import CameraProfile, DngRecord, ProfileGainTableMap

__all__ = ["DevelopChoices", "DngGraph", "dng_graph", "LOOKS", "DEMOSAIC_OPS", "rendering_profile"]

LOOKS = ("profile", "linear")
# demosaic= name -> (op, its "fast" flag)
DEMOSAIC_OPS = {"ea": ("ea_demosaic", True), "ea_full": ("ea_demosaic", None), "bilinear": ("bilinear_demosaic", None)}
PLANE_LETTERS = "RGB"
# Profile maps beyond these sizes are refused: an sRGB-encoded value axis is
# resampled onto up to 512 float64 slabs of hue x saturation points on the
# way to the engine (real profiles hold 90 x 30), and a tone curve is a
# spline solved point by point (real ones hold up to 1025 points).
MAX_MAP_HUE_SAT_POINTS = 8192
MAX_MAP_VALUE_DIVISIONS = 256
MAX_TONE_CURVE_POINTS = 4096


@dataclass(frozen=True)
class DevelopChoices:
    """The user's side of a rendering.

    look : "profile" (the camera profile's rendering) or "linear" (white
        balance, a camera -> sRGB matrix and ``curve``, no tone shaping).
    white : None for the file's as-shot white, else a WhiteSetting.
    exposure : stops added to the file's BaselineExposure (profile look) or
        applied alone (linear look). space : output colour space (profile look).
    profile : a camera profile replacing the file's (a DCP).
    exact_maps : the engine's direct hue/sat map routines (True) or its
        precomputed colour tables (faster, within about 1e-2)."""

    look: str = "profile"
    demosaic: str = "ea"
    dtype: str = "uint8"
    space: str = "srgb"
    white: Optional[WhiteSetting] = None
    exposure: float = 0.0
    curve: Curve = "srgb"
    orientation: Optional[int] = None
    profile: Optional[CameraProfile] = None
    ignore_unknown_opcodes: bool = False
    exact_maps: bool = True


@dataclass
class DngGraph:
    """The graph (its one input bound to the record's stored image) and what went into it."""

    graph: Graph
    opcodes: dict[int, tuple[MappedOpcode, ...]] = field(default_factory=dict)
    plan: Optional[ColorPlan] = None
    profile: Optional[CameraProfile] = None
    notes: list[str] = field(default_factory=list)
    # Where the colour stage's top-left pixel lies in the ActiveArea (an
    # OpcodeList3 TrimBounds moves it; the earlier lists cannot).
    offset: tuple[int, int] = (0, 0)


def dng_graph(record: DngRecord, choices: DevelopChoices = DevelopChoices()) -> DngGraph:
    """The development graph of ``record`` under ``choices``; run it with
    ``result.graph.run()``. Refusals are RawFileError naming the file, the
    tag and the problem; a choice that makes no sense is a ValueError."""
    _check_choices(choices)
    _check_image(record)
    g = Graph()
    out = DngGraph(g)
    x = g.input(record.stored)
    x = _opcodes(out, record, x, 1, choices)
    x = _active_area(g, record, x)
    x = _normalize(g, record, x)
    x = _opcodes(out, record, x, 2, choices)
    if record.is_cfa:
        op, fast = DEMOSAIC_OPS[choices.demosaic]
        attrs: dict[str, Any] = {"cfa_pattern": _cfa_order(record)}
        if fast:
            attrs["fast"] = True
        x = g.add(op, x, **attrs)
    x = _opcodes(out, record, x, 3, choices)
    out.profile = rendering_profile(record, choices.profile)
    if choices.look == "profile":
        x = _profile_color(out, record, x, choices)
    else:
        x = _linear_color(out, record, x, choices)
    x = _default_crop(g, record, x, out.offset)
    orientation = record.orientation if choices.orientation is None else choices.orientation
    if orientation != 1:
        x = g.orientation(x, orientation=orientation)
    return out


def _check_choices(c: DevelopChoices) -> None:
    if c.look not in LOOKS:
        raise ValueError(f"look must be one of {', '.join(LOOKS)}, got {c.look!r}")
    if c.demosaic not in DEMOSAIC_OPS:
        raise ValueError(f"demosaic must be one of {', '.join(DEMOSAIC_OPS)}, got {c.demosaic!r}")
    if c.orientation is not None and (isinstance(c.orientation, bool) or c.orientation not in range(1, 9)):
        raise ValueError(f"orientation must be an integer from 1 to 8, got {c.orientation!r}")
    if not math.isfinite(c.exposure):
        raise ValueError(f"exposure must be a finite number of stops, got {c.exposure!r}")
    if c.look == "linear" and c.space != "srgb":
        raise ValueError(f"the linear look renders sRGB; space={c.space!r} needs look=\"profile\"")
    output_space(c.space)  # an unknown name is the caller's mistake, refused before any file data is used
    if c.dtype not in ("uint8", "uint16", "float32"):
        raise ValueError(f"dtype must be uint8, uint16 or float32, got {c.dtype}")


def _check_image(record: DngRecord) -> None:
    file = record.name
    if record.stored.size == 0:
        raise RawFileError(file, "was read without its pixels (read_dng(..., pixels=False)); nothing to develop")
    if record.is_cfa:
        if record.cfa_plane_color != (0, 1, 2):
            raise RawFileError(file, f"CFAPlaneColor: is {record.cfa_plane_color}; only red, green and blue "
                                     "planes (0, 1, 2) are developed")
        if record.cfa_repeat != (2, 2) or _cfa_order(record) not in CFA_ORDERS:
            raise RawFileError(file, f"CFAPattern: {record.cfa_repeat[0]} x {record.cfa_repeat[1]} pattern "
                                     f"{record.cfa_pattern} is not a 2 x 2 Bayer pattern (RGGB, GRBG, GBRG "
                                     "or BGGR); only those are developed")
    elif record.samples_per_pixel != 3:
        raise RawFileError(file, f"SamplesPerPixel: a LinearRaw image of {record.samples_per_pixel} samples; "
                                 "only 3 (red, green, blue) are developed")


def _cfa_order(record: DngRecord) -> str:
    return "".join(PLANE_LETTERS[record.cfa_plane_color[i]] if i < len(record.cfa_plane_color) else "?"
                   for i in record.cfa_pattern)


def _opcodes(out: DngGraph, record: DngRecord, x: Tensor, stage: int, choices: DevelopChoices) -> Tensor:
    opcodes = record.opcode_lists.get(stage, ())
    if not opcodes:
        return x
    image = StageImage(record.name, stage, x.height, x.width, x.channels)
    result = add_opcode_list(out.graph, x, opcodes, image, ignore_unknown=choices.ignore_unknown_opcodes)
    out.opcodes[stage] = result.mapped
    out.offset = result.offset
    return result.x


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


def rendering_profile(record: DngRecord, override: Optional[CameraProfile] = None) -> CameraProfile:
    """The profile a rendering uses: ``override`` (a DCP), else the file's.
    A profile without a stated illuminant is taken as calibrated under D65;
    a file without ColorMatrix1 is rendered as if its camera saw sRGB
    primaries, with a warning in the profile's source."""
    profile = override if override is not None else record.profile
    if profile is None or profile.color_matrix1 is None:
        from ..raw import XYZ_FROM_SRGB
        return CameraProfile(name="sRGB primaries", illuminant1=21, color_matrix1=np.linalg.inv(XYZ_FROM_SRGB),
                             source="no colour matrix in the file: colours are left in the camera's RGB")
    if profile.color_matrix1.shape != (3, 3):
        what = "the DCP" if override is not None else "ColorMatrix1"
        raise RawFileError(profile.source if override is not None else record.name,
                           f"{what}: a camera of {profile.color_matrix1.shape[0]} colour planes; only three-colour "
                           "cameras are developed")
    if profile.illuminant1 == 0:
        profile = dataclasses.replace(profile, illuminant1=21)
    return profile


def _white_data(record: DngRecord) -> dict[str, object]:
    """The file's white tags, as plan_color and resolve_white take them."""
    return dict(as_shot_neutral=record.as_shot_neutral, as_shot_white_xy=record.as_shot_white_xy,
                analog_balance=record.analog_balance)


def _check_profile_sizes(record: DngRecord, profile: CameraProfile) -> None:
    file = record.name if profile.source == "embedded" else profile.source
    for label, table in (("ProfileHueSatMapDims", profile.hue_sat_map1 or profile.hue_sat_map2),
                         ("ProfileLookTableDims", profile.look_table)):
        if table is None:
            continue
        if table.hue_divs * table.sat_divs > MAX_MAP_HUE_SAT_POINTS or table.val_divs > MAX_MAP_VALUE_DIVISIONS:
            raise RawFileError(file, f"{label}: {table.hue_divs} x {table.sat_divs} x {table.val_divs} is beyond "
                                     f"the {MAX_MAP_HUE_SAT_POINTS} hue x saturation points and "
                                     f"{MAX_MAP_VALUE_DIVISIONS} value divisions this renderer takes")
    if profile.tone_curve is not None and len(profile.tone_curve) > MAX_TONE_CURVE_POINTS:
        raise RawFileError(file, f"ProfileToneCurve: {len(profile.tone_curve)} points, more than the "
                                 f"{MAX_TONE_CURVE_POINTS} this renderer takes")


def _plan(out: DngGraph, record: DngRecord, choices: DevelopChoices) -> ColorPlan:
    profile = out.profile
    assert profile is not None
    _check_profile_sizes(record, profile)
    try:
        plan = plan_color(profile, choices.white, **_white_data(record),  # type: ignore[arg-type]
                          baseline_exposure=record.baseline_exposure, exposure=choices.exposure,
                          output=choices.space)
    except ValueError as e:
        where = "the DCP profile" if choices.profile is not None else "the camera profile"
        raise RawFileError(record.name, f"{where} cannot render this file: {e}") from e
    out.notes += list(plan.warnings)
    return plan


def _profile_color(out: DngGraph, record: DngRecord, x: Tensor, choices: DevelopChoices) -> Tensor:
    g = out.graph
    plan = out.plan = _plan(out, record, choices)
    x = g.clip_and_transform_color(x, clip_max=plan.clip_max, matrix=plan.camera_to_prophoto)
    if record.profile_gain_table_map is not None:
        x = _gain_table_map(g, record, record.profile_gain_table_map, x)
    direct = True if choices.exact_maps else None
    if plan.hue_sat_map is not None:
        x = g.add(plan.hue_sat_map.op, x, **plan.hue_sat_map.attrs(direct=direct))
    if plan.black_point > 0.0:
        x = g.transform_color(x, dest_dtype="float32", input_lut=plan.exposure_table())
    elif plan.exposure != 0.0:
        x = g.matrix_3x3(x, matrix=np.eye(3) * plan.exposure_gain)
    if plan.look_table is not None:
        x = g.add(plan.look_table.op, x, **plan.look_table.attrs(direct=direct))
    return g.transform_color(x, dest_dtype=choices.dtype, hue_preserving=True, input_lut=plan.tone_table,
                             matrix=plan.prophoto_to_output, output_lut=plan.output_table(choices.dtype))


def _gain_table_map(g: Graph, record: DngRecord, m: ProfileGainTableMap, x: Tensor) -> Tensor:
    for label, value in (("MapSpacingV", m.spacing_v), ("MapSpacingH", m.spacing_h), ("MapOriginV", m.origin_v),
                         ("MapOriginH", m.origin_h)):
        if abs(value) > FLOAT32_MAX:
            raise RawFileError(record.name, f"ProfileGainTableMap: {label} {value:g} is beyond the range of the "
                                            "engine's 32-bit map coordinates")
    if abs(record.baseline_exposure) > 64:
        raise RawFileError(record.name, f"BaselineExposure: {record.baseline_exposure:g} stops cannot scale the "
                                         "ProfileGainTableMap's brightness")
    return g.apply_profile_gain_table_map(
        x, gains=m.gains, points_v=m.points_v, points_h=m.points_h, spacing_v=m.spacing_v, spacing_h=m.spacing_h,
        origin_v=m.origin_v, origin_h=m.origin_h, num_table_points=m.num_table_points, weights=list(m.weights),
        gamma=m.gamma, exposure_weight_gain=2.0 ** record.baseline_exposure)


def _linear_color(out: DngGraph, record: DngRecord, x: Tensor, choices: DevelopChoices) -> Tensor:
    profile = out.profile
    assert profile is not None
    try:
        white = resolve_white(profile, choices.white, **_white_data(record))  # type: ignore[arg-type]
        camera = camera_to_srgb(_daylight_matrix(profile))
    except (ValueError, np.linalg.LinAlgError) as e:
        raise RawFileError(record.name, f"the colour matrix cannot render this file: {e}") from e
    if record.profile_gain_table_map is not None:
        out.notes.append("ProfileGainTableMap: not applied (the linear look renders without the profile)")
    gains = white.camera_neutral.max() / white.camera_neutral
    gains = gains / gains.min()
    x = out.graph.clip_and_transform_color(x, clip_max=1.0 / gains,
                                           matrix=(2.0 ** choices.exposure) * (camera @ np.diag(gains)))
    return out.graph.transform_color(x, dest_dtype=choices.dtype, output_lut=curve_table(choices.curve, choices.dtype))


def _daylight_matrix(profile: CameraProfile) -> npt.NDArray[np.float64]:
    """The colour matrix calibrated nearest to D65 (the linear look's one matrix)."""
    assert profile.color_matrix1 is not None
    if profile.color_matrix2 is None:
        return profile.color_matrix1
    d65 = light_source(21).temperature
    t1, t2 = light_source(profile.illuminant1).temperature, light_source(profile.illuminant2).temperature
    return profile.color_matrix1 if abs(1 / t1 - 1 / d65) <= abs(1 / t2 - 1 / d65) else profile.color_matrix2


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
