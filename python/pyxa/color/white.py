"""The white a rendering balances to: from the file (AsShotNeutral,
AsShotWhiteXY) or the user (temperature and tint, a chromaticity, a light
source, channel gains), resolved through the profile into a chromaticity,
a temperature and tint, and a camera neutral."""

from __future__ import annotations

import math
import re
from dataclasses import dataclass
from typing import Optional, Union

import numpy as np
import numpy.typing as npt

from ..dng.records import CameraProfile
from ._types import Vector3
from .camera import check_neutral, illuminant_weight, neutral_to_xy, xy_to_neutral
from .colorimetry import (D65_XY, LIGHT_SOURCES, temperature_tint_to_xy, xy_to_temperature_tint)

__all__ = ["Temperature", "Chromaticity", "Gains", "WhiteSetting", "White", "parse_white_setting",
           "resolve_white"]


@dataclass(frozen=True)
class Temperature:
    """A colour temperature in kelvin and a tint (positive magenta, see
    colorimetry.TINT_SCALE)."""

    kelvin: float
    tint: float = 0.0


@dataclass(frozen=True)
class Chromaticity:
    """A white given by its CIE xy."""

    x: float
    y: float


@dataclass(frozen=True)
class Gains:
    """Channel multipliers (R, G, B) that make the white grey: 1 / neutral."""

    red: float
    green: float
    blue: float


WhiteSetting = Union[Temperature, Chromaticity, Gains]


@dataclass(frozen=True)
class White:
    """The resolved white: its chromaticity, temperature and tint, the raw
    camera's neutral (largest channel 1), the weight of the profile's first
    calibration, where it came from, and how the white search went."""

    xy: tuple[float, float]
    temperature: float
    tint: float
    camera_neutral: Vector3
    weight: float
    source: str
    iterations: int = 0
    converged: bool = True


# Words photographers use for the EXIF light sources.
_ALIASES = {"sunny": 9, "cloudy": 10, "incandescent": 3}

_KELVIN = re.compile(r"^\s*([0-9]+(?:\.[0-9]*)?)\s*k\s*(?:,\s*([+-]?[0-9]+(?:\.[0-9]*)?))?\s*$", re.IGNORECASE)
_NUMBER = r"\s*([+-]?(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+)(?:e[+-]?[0-9]+)?)\s*"


def parse_white_setting(text: str) -> Optional[WhiteSetting]:
    """A white as a user types it: "5200K" or "5200K,+8" (temperature and
    tint), "x,y" (a chromaticity), "r,g,b" (gains), a light-source name such
    as "daylight", "tungsten", "D50" or "shade"; "as-shot" (or "camera")
    gives None, the file's own white."""
    key = text.strip().lower()
    if key in ("as-shot", "as shot", "camera", ""):
        return None
    m = _KELVIN.match(key)
    if m:
        return Temperature(float(m.group(1)), float(m.group(2) or 0.0))
    if key in _ALIASES:
        return Chromaticity(*LIGHT_SOURCES[_ALIASES[key]].xy)
    for source in LIGHT_SOURCES.values():
        if key == source.name.lower().replace(" ", "-") or key == source.name.lower():
            return Chromaticity(*source.xy)
    numbers = re.fullmatch(_NUMBER + r"(?:," + _NUMBER + r")*", key, re.IGNORECASE)
    if numbers:
        values = [float(v) for v in key.split(",")]
        if len(values) == 2:
            return Chromaticity(values[0], values[1])
        if len(values) == 3:
            return Gains(values[0], values[1], values[2])
    names = ", ".join(sorted({s.name.lower().replace(" ", "-") for s in LIGHT_SOURCES.values()} | set(_ALIASES)))
    raise ValueError(f"white balance {text!r} not understood: give a temperature (5200K or 5200K,+8), "
                     f"x,y, r,g,b gains, as-shot, or a light source ({names})")


def _from_xy(profile: CameraProfile, xy: tuple[float, float], ab: Optional[npt.ArrayLike], source: str) -> White:
    if not (0.0 < xy[0] < 1.0 and 0.0 < xy[1] < 1.0 and xy[0] + xy[1] < 1.0):
        raise ValueError(f"{source}: chromaticity ({xy[0]}, {xy[1]}) is not a colour (needs 0 < x, y and x + y < 1)")
    temperature, tint = xy_to_temperature_tint(xy)
    neutral = xy_to_neutral(profile, xy, ab)
    return White(xy, temperature, tint, neutral, illuminant_weight(profile, temperature), source)


def _from_neutral(profile: CameraProfile, neutral: npt.ArrayLike, ab: Optional[npt.ArrayLike],
                  source: str) -> White:
    n = check_neutral(neutral, source)
    found = neutral_to_xy(profile, n, ab)
    temperature, tint = xy_to_temperature_tint(found.xy)
    return White(found.xy, temperature, tint, n, illuminant_weight(profile, temperature), source,
                 found.iterations, found.converged)


def resolve_white(profile: CameraProfile, setting: Optional[WhiteSetting] = None, *,
                  as_shot_neutral: Optional[npt.ArrayLike] = None,
                  as_shot_white_xy: Optional[tuple[float, float]] = None,
                  analog_balance: Optional[npt.ArrayLike] = None) -> White:
    """The white to balance to: the user's ``setting`` when given, else the
    file's AsShotNeutral, else its AsShotWhiteXY, else D65 daylight."""
    if isinstance(setting, Temperature):
        if not math.isfinite(setting.kelvin):
            raise ValueError(f"colour temperature must be a finite number, got {setting.kelvin!r}")
        xy = temperature_tint_to_xy(setting.kelvin, setting.tint)
        return _from_xy(profile, xy, analog_balance, f"temperature {setting.kelvin:g} K, tint {setting.tint:+g}")
    if isinstance(setting, Chromaticity):
        return _from_xy(profile, (float(setting.x), float(setting.y)), analog_balance, "chromaticity")
    if isinstance(setting, Gains):
        gains = np.array([setting.red, setting.green, setting.blue], dtype=np.float64)
        if not (np.all(np.isfinite(gains)) and np.all(gains > 0.0)):
            raise ValueError(f"white-balance gains must be three positive numbers, got {gains.tolist()}")
        return _from_neutral(profile, 1.0 / gains, analog_balance, "gains")
    if as_shot_neutral is not None:
        return _from_neutral(profile, as_shot_neutral, analog_balance, "AsShotNeutral")
    if as_shot_white_xy is not None:
        return _from_xy(profile, (float(as_shot_white_xy[0]), float(as_shot_white_xy[1])), analog_balance,
                        "AsShotWhiteXY")
    return _from_xy(profile, D65_XY, analog_balance, "D65 (the file states no white)")
