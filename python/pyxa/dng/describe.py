"""What ``pyxa info`` prints about a DNG record: the image and its levels, the
white and exposure tags, the camera profile (name, illuminants, matrices,
table sizes and encodings, tone-curve points), the ProfileGainTableMap and
each opcode of the three lists (id, name, stage, flags, area, engine op)."""

from __future__ import annotations

from typing import Optional

import numpy as np

from ..color.colorimetry import light_source
from .opcode_nodes import ENGINE_OPS
from .opcode_records import Opcode
from .records import STAGE_TAGS, CameraProfile, DngRecord, ProfileGainTableMap, ProfileTable

__all__ = ["describe_record", "describe_profile", "describe_opcode"]

PLANE_LETTERS = "RGBCMYW"
TONE_POINTS_SHOWN = 5


def _numbers(values: object, fmt: str = "g") -> str:
    return ", ".join(format(float(v), fmt) for v in np.ravel(np.asarray(values, dtype=np.float64)))


def _illuminant(code: int) -> str:
    return f"{code} ({light_source(code).name})" if code else "0 (unstated: taken as D65)"


def _table(label: str, table: Optional[ProfileTable]) -> list[str]:
    if table is None:
        return []
    axis = "sRGB-encoded value axis" if table.encoding == 1 else "linear value axis"
    return [f"  {label:<12} {table.hue_divs} hue x {table.sat_divs} saturation x {table.val_divs} value, {axis}"]


def _tone_curve(curve: Optional[np.ndarray]) -> list[str]:
    if curve is None:
        return ["  tone curve   none (the default look's base curve)"]
    picks = np.unique(np.linspace(0, len(curve) - 1, TONE_POINTS_SHOWN).round().astype(int))
    points = " ".join(f"({curve[i, 0]:.4g}, {curve[i, 1]:.4g})" for i in picks)
    return [f"  tone curve   {len(curve)} points: {points}"]


def describe_profile(profile: CameraProfile) -> list[str]:
    """The profile's lines: name and source, illuminants, matrices, maps, tone curve."""
    matrices = [name for name, m in (("ColorMatrix1", profile.color_matrix1), ("ColorMatrix2", profile.color_matrix2),
                                     ("CameraCalibration1", profile.camera_calibration1),
                                     ("CameraCalibration2", profile.camera_calibration2),
                                     ("ForwardMatrix1", profile.forward_matrix1),
                                     ("ForwardMatrix2", profile.forward_matrix2)) if m is not None]
    lines = [f"profile      {profile.name or '(unnamed)'} ({profile.source or 'embedded'})",
             f"  illuminants {_illuminant(profile.illuminant1)}"
             + (f", {_illuminant(profile.illuminant2)}" if profile.color_matrix2 is not None else ""),
             f"  matrices     {', '.join(matrices) or 'none'}"]
    lines += _table("HueSatMap1", profile.hue_sat_map1) + _table("HueSatMap2", profile.hue_sat_map2)
    lines += _table("LookTable", profile.look_table) + _tone_curve(profile.tone_curve)
    if profile.baseline_exposure_offset:
        lines.append(f"  exposure offset {profile.baseline_exposure_offset:+g} stops")
    if profile.default_black_render is not None:
        lines.append(f"  black render {profile.default_black_render} ({'none' if profile.default_black_render else 'auto'})")
    return lines


def _gain_table_map(m: ProfileGainTableMap) -> str:
    return (f"gain table   ProfileGainTableMap {m.points_v} x {m.points_h} points x {m.num_table_points} entries, "
            f"weights {_numbers(m.weights, '.4g')}, gamma {m.gamma:g}")


def _engine_op(opcode: Opcode, mosaic: bool) -> str:
    """The engine op an opcode becomes on this image (a GainMap's depends on
    whether its stage holds a mosaic or RGB)."""
    if opcode.name == "GainMap":
        return "apply_gain_map_cfa" if mosaic and opcode.stage < 3 else "apply_gain_map"
    return ENGINE_OPS.get(opcode.name, "none (skipped when optional)")


def describe_opcode(index: int, opcode: Opcode, mosaic: bool) -> str:
    """One opcode: index, id, name, stage, flags, area when it has one, engine op."""
    flags = [f for f, on in (("optional", opcode.optional), ("preview-skip", opcode.preview_skip)) if on]
    text = f"  {index} {opcode.name} (id {opcode.id}), stage {opcode.stage}, flags 0x{opcode.flags:x}" + \
        (f" ({', '.join(flags)})" if flags else "")
    area = getattr(opcode.params, "area", None)
    if area is not None:
        text += (f", area rows {area.top}-{area.bottom} cols {area.left}-{area.right} planes {area.plane}+"
                 f"{area.planes} pitch {area.row_pitch}x{area.col_pitch}")
    return text + f" -> {_engine_op(opcode, mosaic)}"


def describe_record(record: DngRecord) -> str:
    """A few lines for people about what the DNG says."""
    h, w = record.stored_shape[:2]
    top, left, bottom, right = record.active_area
    kind = (f"CFA {''.join(PLANE_LETTERS[record.cfa_plane_color[i]] for i in record.cfa_pattern)}"
            if record.is_cfa else f"LinearRaw, {record.stored_shape[2]} samples")
    dtype = "float32" if record.stored.dtype == np.float32 else "uint16"
    lines = [f"file         {record.name}",
             f"camera       {' '.join(s for s in (record.make, record.model) if s) or '(unnamed)'}",
             f"stored       {w} x {h}, {record.bits_per_sample}-bit {kind}",
             f"active area  top {top}, left {left}, bottom {bottom}, right {right}",
             f"{'mosaic' if record.is_cfa else 'image':<12} {right - left} x {bottom - top} {dtype}, {kind}"]
    if record.default_crop_size is not None:
        lines.append(f"default crop {record.default_crop_size[0]:g} x {record.default_crop_size[1]:g} at "
                     f"({record.default_crop_origin[0]:g}, {record.default_crop_origin[1]:g})")
    lines += [f"black        {_numbers(record.black_level)} (repeat {record.black_level_repeat[0]} x "
              f"{record.black_level_repeat[1]})",
              f"white        {_numbers(record.white_level)}"]
    if record.linearization_table is not None:
        lines.append(f"linearization {record.linearization_table.size} entries")
    if record.as_shot_neutral is not None:
        lines.append(f"as shot      neutral {_numbers(record.as_shot_neutral, '.4f')}")
    elif record.as_shot_white_xy is not None:
        lines.append(f"as shot      white xy {_numbers(record.as_shot_white_xy, '.4f')}")
    lines += [f"exposure     BaselineExposure {record.baseline_exposure:+g}",
              f"orientation  {record.orientation}"]
    lines += describe_profile(record.profile) if record.profile is not None else ["profile      none"]
    if record.profile_gain_table_map is not None:
        lines.append(_gain_table_map(record.profile_gain_table_map))
    for stage, tag in STAGE_TAGS.items():
        opcodes = record.opcode_lists.get(stage, ())
        lines.append(f"{tag:<12} {len(opcodes)} opcode{'s' * (len(opcodes) != 1)}")
        lines += [describe_opcode(i, op, record.is_cfa) for i, op in enumerate(opcodes)]
    lines += [f"warning      {w}" for w in record.warnings]
    return "\n".join(lines)
