"""Colour math of camera-profile rendering: colorimetry, the profile's
matrices and white, its HueSatMap/LookTable in the engine's form, tone and
exposure tables, output spaces, and the ColorPlan that gathers them."""

from .camera import illuminant_weight, neutral_to_xy, profile_from_matrix, profile_matrices, xy_to_neutral
from .colorimetry import bradford, light_source, temperature_tint_to_xy, xy_to_temperature_tint
from .plan import ColorPlan, plan_color
from .spaces import SPACE_NAMES, OutputSpace, output_curve_table, output_space
from .tables import EngineMap, engine_map
from .tone import base_curve, spline_curve, tone_table
from .white import Chromaticity, Gains, Temperature, White, parse_white_setting, resolve_white

__all__ = [
    "ColorPlan", "plan_color", "White", "Temperature", "Chromaticity", "Gains", "parse_white_setting",
    "resolve_white", "OutputSpace", "output_space", "output_curve_table", "SPACE_NAMES", "EngineMap",
    "engine_map", "base_curve", "spline_curve", "tone_table", "illuminant_weight", "neutral_to_xy",
    "xy_to_neutral", "profile_matrices", "profile_from_matrix", "bradford", "light_source",
    "temperature_tint_to_xy", "xy_to_temperature_tint",
]
