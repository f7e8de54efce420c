"""The colour plan of one rendering: every number the profile's nodes take
(clip and camera -> ProPhoto matrix, engine-ready HueSatMap and LookTable,
exposure ramp, tone table, output matrix and curve), made from a camera
profile, the file's white data and the user's choices."""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Optional

import numpy as np
import numpy.typing as npt

from ..dng.records import CameraProfile
from ._types import Doubles, Floats, Matrix3, Vector3
from .camera import camera_to_xyz_d50, profile_matrices
from .spaces import PROPHOTO, OutputSpace, output_curve_table, output_space, xyz_d50_to_prophoto
from .tables import EngineMap, blend_tables, engine_map
from .tone import AUTO_BLACK, TONE_ENTRIES, check_curve_points, exposure_table, tone_table
from .white import White, WhiteSetting, resolve_white

__all__ = ["ColorPlan", "plan_color"]


@dataclass(frozen=True)
class ColorPlan:
    """What the profile's part of the development graph takes, in order:

    1. clip_and_transform_color(clip_max, camera_to_prophoto): un-balanced
       camera RGB clipped at the camera neutral (so clipped highlights stay
       neutral), then linear ProPhoto where the neutral clip point is white
       (1, 1, 1);
    2. hue_sat_map (when the profile has one): its ``op`` with its ``attrs()``;
    3. the exposure ramp: transform_color with ``exposure_table()`` as
       "input_lut" (per channel), or, with no black point, a gain of
       ``exposure_gain`` clipped at 1 (matrix_3x3 of diag(gain); mul_scalar
       alone leaves values above 1 for a LookTable to misread);
    4. look_table (when the profile has one);
    5. transform_color with hue_preserving, "input_lut" ``tone_table``,
       "matrix" ``prophoto_to_output`` and "output_lut" ``output_table(dtype)``.
    """

    white: White
    clip_max: Vector3
    camera_to_xyz_d50: Matrix3
    camera_to_prophoto: Matrix3
    hue_sat_map: Optional[EngineMap]
    look_table: Optional[EngineMap]
    exposure: float  # stops: BaselineExposure + BaselineExposureOffset + the user's
    black_point: float  # in the units after the exposure gain; 0 with DefaultBlackRender 1
    tone_curve: Optional[Doubles]  # the profile's points; None for the default look's base curve
    tone_table: Floats
    output: OutputSpace
    prophoto_to_output: Matrix3
    warnings: tuple[str, ...] = ()

    @property
    def exposure_gain(self) -> float:
        """2 ** exposure."""
        return float(2.0 ** self.exposure)

    def exposure_table(self, entries: int | None = None) -> Floats:
        """The exposure ramp (gain, black point and clip at white) as a
        per-channel table over [0, 1] (as many entries as it needs unless
        ``entries`` says)."""
        return exposure_table(self.exposure_gain, self.black_point, entries)

    def output_table(self, dtype: npt.DTypeLike) -> Floats:
        """The output space's encoding curve for an output of ``dtype``."""
        return output_curve_table(self.output, dtype)


def _exposure(baseline_exposure: float, offset: float, user: float) -> float:
    for what, value in (("BaselineExposure", baseline_exposure), ("BaselineExposureOffset", offset),
                        ("exposure", user)):
        if not math.isfinite(value):
            raise ValueError(f"{what} must be a finite number of stops, got {value!r}")
    total = baseline_exposure + offset + user
    if abs(total) > 16.0:
        raise ValueError(f"exposure of {total:+g} stops (BaselineExposure {baseline_exposure:+g}, "
                         f"offset {offset:+g}, user {user:+g}) is beyond +-16 stops")
    return total


def _maps(profile: CameraProfile, weight: float) -> tuple[Optional[EngineMap], Optional[EngineMap], list[str]]:
    warnings: list[str] = []
    hue_sat = None
    first = profile.hue_sat_map1 if profile.hue_sat_map1 is not None else profile.hue_sat_map2
    if first is not None:
        second = profile.hue_sat_map2 if profile.hue_sat_map1 is not None else None
        hue_sat, warning = engine_map(blend_tables(first, second, weight), "HueSatMap")
        warnings += [warning] if warning else []
    look = None
    if profile.look_table is not None:
        look, warning = engine_map(profile.look_table, "LookTable")
        warnings += [warning] if warning else []
    return hue_sat, look, warnings


def plan_color(profile: CameraProfile, white: Optional[WhiteSetting] = None, *,
               as_shot_neutral: Optional[npt.ArrayLike] = None,
               as_shot_white_xy: Optional[tuple[float, float]] = None,
               analog_balance: Optional[npt.ArrayLike] = None,
               baseline_exposure: float = 0.0, exposure: float = 0.0,
               output: str | OutputSpace = "srgb", tone_entries: int = TONE_ENTRIES) -> ColorPlan:
    """The colour plan of a rendering through ``profile``.

    ``white`` is the user's white (None: the file's AsShotNeutral, else its
    AsShotWhiteXY, else D65); ``analog_balance`` and ``baseline_exposure``
    come from the file; ``exposure`` is the user's, in stops; ``output`` an
    output space or its name ("srgb", "display-p3", "oprgb", "prophoto",
    "rec2020", each also "-linear")."""
    space = output if isinstance(output, OutputSpace) else output_space(output)
    resolved = resolve_white(profile, white, as_shot_neutral=as_shot_neutral,
                             as_shot_white_xy=as_shot_white_xy, analog_balance=analog_balance)
    matrices = profile_matrices(profile, resolved.weight, analog_balance)
    to_xyz = camera_to_xyz_d50(matrices, resolved.camera_neutral, resolved.xy)
    hue_sat, look, warnings = _maps(profile, resolved.weight)
    if not resolved.converged:
        warnings.append(f"white search from {resolved.source} did not settle in {resolved.iterations} rounds; "
                        f"took ({resolved.xy[0]:.5f}, {resolved.xy[1]:.5f})")
    points = None if profile.tone_curve is None else check_curve_points(profile.tone_curve, "ProfileToneCurve")
    black = 0.0 if profile.default_black_render == 1 else AUTO_BLACK
    prophoto_to_output: Matrix3 = space.xyz_d50_to_rgb @ PROPHOTO.rgb_to_xyz
    return ColorPlan(
        white=resolved,
        clip_max=resolved.camera_neutral.copy(),
        camera_to_xyz_d50=to_xyz,
        camera_to_prophoto=xyz_d50_to_prophoto() @ to_xyz,
        hue_sat_map=hue_sat,
        look_table=look,
        exposure=_exposure(float(baseline_exposure), float(profile.baseline_exposure_offset), float(exposure)),
        black_point=black,
        tone_curve=points,
        tone_table=tone_table(points, tone_entries),
        output=space,
        prophoto_to_output=prophoto_to_output,
        warnings=tuple(warnings),
    )
