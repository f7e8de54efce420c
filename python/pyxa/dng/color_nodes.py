"""The colour nodes of a DNG rendering: the profile look (camera RGB clipped
at the camera neutral -> linear ProPhoto, ProfileGainTableMap, HueSatMap,
exposure, LookTable, hue-preserving tone curve with the output matrix and
curve) and the linear look (white balance, one camera -> sRGB matrix, output
curve), and the profile a rendering uses.

The ProfileGainTableMap runs on linear ProPhoto right after the camera
matrix, before the HueSatMap, over the image of OpcodeList3 (the active
area), with its brightness scaled by 2^BaselineExposure (the file's, not the
user's exposure): the table sees the brightness the rendering will have."""

from __future__ import annotations

import dataclasses
from dataclasses import dataclass, field
from typing import Optional

import numpy as np
import numpy.typing as npt

from .._curves import curve_table
from ..color.colorimetry import light_source
from ..color.plan import ColorPlan, plan_color
from ..color.white import resolve_white
from ..graph import Graph, Tensor
from ..raw import XYZ_FROM_SRGB, RawFileError, camera_to_srgb
from .choices import DevelopChoices
from .records import CameraProfile, DngRecord, ProfileGainTableMap
from .tags import FLOAT32_MAX

__all__ = ["ColorNodes", "rendering_profile", "profile_look", "linear_look", "MAX_MAP_HUE_SAT_POINTS", "MAX_MAP_VALUE_DIVISIONS",
           "MAX_TONE_CURVE_POINTS"]

# Profile maps beyond these sizes are refused: an sRGB-encoded value axis is
# resampled onto up to 512 float64 slabs of hue x saturation points on the
# way to the engine (real profiles hold 90 x 30), and a tone curve is a
# spline solved point by point (real ones hold up to 1025 points).
MAX_MAP_HUE_SAT_POINTS = 8192
MAX_MAP_VALUE_DIVISIONS = 256
MAX_TONE_CURVE_POINTS = 4096


@dataclass
class ColorNodes:
    """The last tensor of the colour nodes, the plan they were made from (the
    profile look), the camera channels' clip (the white balance: each gain is
    1 / clip) and what the user should hear about."""

    x: Tensor
    plan: Optional[ColorPlan] = None
    notes: list[str] = field(default_factory=list)
    clip_max: Optional[npt.NDArray[np.float64]] = None


def rendering_profile(record: DngRecord, override: Optional[CameraProfile] = None) -> CameraProfile:
    """The profile a rendering uses: ``override`` (a DCP), else the file's.
    A profile without a stated illuminant is taken as calibrated under D65;
    a file without ColorMatrix1 is rendered as if its camera saw sRGB
    primaries, with a warning in the profile's source."""
    profile = override if override is not None else record.profile
    if profile is None or profile.color_matrix1 is None:
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


def _plan(record: DngRecord, profile: CameraProfile, choices: DevelopChoices) -> ColorPlan:
    _check_profile_sizes(record, profile)
    try:
        plan = plan_color(profile, choices.white, **_white_data(record),  # type: ignore[arg-type]
                          baseline_exposure=record.baseline_exposure, exposure=choices.exposure,
                          output=choices.space)
    except ValueError as e:
        where = "the DCP profile" if choices.profile is not None else "the camera profile"
        raise RawFileError(record.name, f"{where} cannot render this file: {e}") from e
    return plan


def profile_look(g: Graph, record: DngRecord, x: Tensor, profile: CameraProfile,
                 choices: DevelopChoices) -> ColorNodes:
    """The profile look's nodes after ``x`` (linear camera RGB of the active area)."""
    plan = _plan(record, profile, choices)
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
    x = g.transform_color(x, dest_dtype=choices.dtype, hue_preserving=True, input_lut=plan.tone_table,
                          matrix=plan.prophoto_to_output, output_lut=plan.output_table(choices.dtype))
    return ColorNodes(x, plan, list(plan.warnings), np.asarray(plan.clip_max, np.float64))


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


def linear_look(g: Graph, record: DngRecord, x: Tensor, profile: CameraProfile,
                choices: DevelopChoices) -> ColorNodes:
    """The linear look's nodes after ``x``: the file's (or the user's) white,
    the colour matrix nearest D65 as camera -> sRGB, the output curve."""
    notes = []
    try:
        white = resolve_white(profile, choices.white, **_white_data(record))  # type: ignore[arg-type]
        camera = camera_to_srgb(_daylight_matrix(profile))
    except (ValueError, np.linalg.LinAlgError) as e:
        raise RawFileError(record.name, f"the colour matrix cannot render this file: {e}") from e
    if record.profile_gain_table_map is not None:
        notes.append("ProfileGainTableMap: not applied (the linear look renders without the profile)")
    gains = white.camera_neutral.max() / white.camera_neutral
    gains = gains / gains.min()
    x = g.clip_and_transform_color(x, clip_max=1.0 / gains, matrix=(2.0 ** choices.exposure) * (camera @ np.diag(gains)))
    x = g.transform_color(x, dest_dtype=choices.dtype, output_lut=curve_table(choices.curve, choices.dtype))
    return ColorNodes(x, None, notes, 1.0 / gains)


def _daylight_matrix(profile: CameraProfile) -> npt.NDArray[np.float64]:
    """The colour matrix calibrated nearest to D65 (the linear look's one matrix)."""
    assert profile.color_matrix1 is not None
    if profile.color_matrix2 is None:
        return profile.color_matrix1
    d65 = light_source(21).temperature
    t1, t2 = light_source(profile.illuminant1).temperature, light_source(profile.illuminant2).temperature
    return profile.color_matrix1 if abs(1 / t1 - 1 / d65) <= abs(1 / t2 - 1 / d65) else profile.color_matrix2
