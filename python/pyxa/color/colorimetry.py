"""Colorimetry the camera profiles need: xy and XYZ, colour temperature and tint
on the Planckian locus, Bradford adaptation, and the EXIF light-source codes."""

from __future__ import annotations

import math
from dataclasses import dataclass

import numpy as np

from ._types import Matrix3, Vector3

__all__ = [
    "D50_XYZ", "D50_XY", "D65_XY", "TINT_SCALE", "TEMPERATURE_RANGE",
    "xy_to_xyz", "xyz_to_xy", "xy_to_uv", "uv_to_xy", "planckian_uv",
    "temperature_tint_to_xy", "xy_to_temperature_tint", "bradford",
    "LightSource", "LIGHT_SOURCES", "light_source", "illuminant_xy",
]

# The white of the profile connection space: XYZ D50 as colour profiles store
# it (X 0.9642, Z 0.8249), so forward matrices, linear ProPhoto and the ICC
# profiles written later share one white to the last digit.
D50_XYZ: Vector3 = np.array([0.9642, 1.0, 0.8249])
D50_XY: tuple[float, float] = (0.9642 / 2.7891, 1.0 / 2.7891)
D65_XY: tuple[float, float] = (0.3127, 0.3290)

# Tint unit: 1/3000 of a CIE 1960 uv unit along the isotherm, positive towards
# magenta (below the locus). A tint of +10 is a Duv of -0.0033, about what
# moving the tint slider of a photo editor by ten steps does.
TINT_SCALE = 3000.0

# Temperatures the locus model is held to. Krystek's rational fit stays within
# 1.1e-4 in uv of the true Planckian locus from 1000 to 15000 K and drifts
# beyond (5e-4 at 20000 K); temperatures are clamped to this range.
TEMPERATURE_RANGE: tuple[float, float] = (1000.0, 25000.0)

_BRADFORD = np.array([[0.8951, 0.2664, -0.1614],
                      [-0.7502, 1.7135, 0.0367],
                      [0.0389, -0.0685, 1.0296]])


def xy_to_xyz(xy: tuple[float, float] | np.ndarray, luminance: float = 1.0) -> Vector3:
    """XYZ of chromaticity ``xy`` with Y = ``luminance``."""
    x, y = float(xy[0]), float(xy[1])
    if not (y > 0.0 and math.isfinite(x) and math.isfinite(y)):
        raise ValueError(f"chromaticity needs a finite x and a positive y, got ({x}, {y})")
    return np.array([x / y, 1.0, (1.0 - x - y) / y]) * luminance


def xyz_to_xy(xyz: np.ndarray) -> tuple[float, float]:
    """Chromaticity of XYZ; raises ValueError when X + Y + Z is not positive."""
    total = float(np.sum(xyz))
    if not total > 0.0:
        raise ValueError(f"XYZ {np.asarray(xyz).tolist()} has no chromaticity (X + Y + Z must be positive)")
    return float(xyz[0]) / total, float(xyz[1]) / total


def xy_to_uv(xy: tuple[float, float]) -> tuple[float, float]:
    """CIE 1960 uv of chromaticity xy."""
    x, y = xy
    d = -2.0 * x + 12.0 * y + 3.0
    return 4.0 * x / d, 6.0 * y / d


def uv_to_xy(uv: tuple[float, float]) -> tuple[float, float]:
    """Chromaticity xy of CIE 1960 uv."""
    u, v = uv
    d = 2.0 * u - 8.0 * v + 4.0
    return 3.0 * u / d, 2.0 * v / d


def _ratio(p: tuple[float, float, float], q: tuple[float, float, float], t: float) -> tuple[float, float]:
    """(p0 + p1 t + p2 t^2) / (q0 + q1 t + q2 t^2) and its derivative in t."""
    num = p[0] + p[1] * t + p[2] * t * t
    den = q[0] + q[1] * t + q[2] * t * t
    dnum = p[1] + 2.0 * p[2] * t
    dden = q[1] + 2.0 * q[2] * t
    return num / den, (dnum * den - num * dden) / (den * den)


# Krystek (1985), "An algorithm to calculate correlated colour temperature",
# Color Research and Application 10(1): the Planckian locus in CIE 1960 uv as
# two rational functions of the temperature.
_U_NUM = (0.860117757, 1.54118254e-4, 1.28641212e-7)
_U_DEN = (1.0, 8.42420235e-4, 7.08145163e-7)
_V_NUM = (0.317398726, 4.22806245e-5, 4.20481691e-8)
_V_DEN = (1.0, -2.89741816e-5, 1.61456053e-7)


def planckian_uv(temperature: float) -> tuple[float, float, float, float]:
    """The locus point (u, v) at ``temperature`` kelvin and its derivative (du/dT, dv/dT)."""
    u, du = _ratio(_U_NUM, _U_DEN, temperature)
    v, dv = _ratio(_V_NUM, _V_DEN, temperature)
    return u, v, du, dv


def _magenta_normal(du: float, dv: float) -> tuple[float, float]:
    """Unit normal of the locus towards magenta. u falls as the temperature
    rises, so (-dv, du) always points to smaller v, away from green."""
    n = math.hypot(du, dv)
    return -dv / n, du / n


def _check_temperature(temperature: float) -> float:
    lo, hi = TEMPERATURE_RANGE
    if not (lo <= temperature <= hi):
        raise ValueError(f"colour temperature must be between {lo:.0f} K and {hi:.0f} K, got {temperature!r}")
    return float(temperature)


def temperature_tint_to_xy(temperature: float, tint: float = 0.0) -> tuple[float, float]:
    """Chromaticity of a colour temperature (kelvin) and tint (TINT_SCALE units,
    positive magenta): the locus point moved along its isotherm."""
    t = _check_temperature(temperature)
    if not math.isfinite(tint):
        raise ValueError(f"tint must be a finite number, got {tint!r}")
    u, v, du, dv = planckian_uv(t)
    nu, nv = _magenta_normal(du, dv)
    d = tint / TINT_SCALE
    return uv_to_xy((u + d * nu, v + d * nv))


def _along_locus(temperature: float, u: float, v: float) -> float:
    """Component of (u, v) - locus(T) along the locus tangent: zero on the
    isotherm through (u, v)."""
    lu, lv, du, dv = planckian_uv(temperature)
    return (u - lu) * du + (v - lv) * dv


def xy_to_temperature_tint(xy: tuple[float, float]) -> tuple[float, float]:
    """Colour temperature (kelvin) and tint of a chromaticity: the isotherm
    (normal of the locus) through it, found by bisection in reciprocal
    temperature. Chromaticities beyond the ends of TEMPERATURE_RANGE get the
    end's temperature and their distance from that end's locus point as tint."""
    u, v = xy_to_uv(xy)
    lo, hi = TEMPERATURE_RANGE
    # The tangent component falls from positive (the point lies towards higher
    # temperatures) to negative as the temperature rises through the isotherm;
    # bisecting in mireds keeps the steps even along the locus.
    m_hot, m_cold = 1e6 / hi, 1e6 / lo
    if _along_locus(hi, u, v) > 0.0:
        t = hi
    elif _along_locus(lo, u, v) < 0.0:
        t = lo
    else:
        for _ in range(80):
            mid = 0.5 * (m_hot + m_cold)
            if _along_locus(1e6 / mid, u, v) > 0.0:
                m_cold = mid
            else:
                m_hot = mid
        t = 1e6 / (0.5 * (m_hot + m_cold))
    lu, lv, du, dv = planckian_uv(t)
    nu, nv = _magenta_normal(du, dv)
    return t, ((u - lu) * nu + (v - lv) * nv) * TINT_SCALE


def bradford(source_xy: tuple[float, float], target_xy: tuple[float, float]) -> Matrix3:
    """XYZ -> XYZ matrix adapting colours seen under white ``source_xy`` to
    white ``target_xy`` (Bradford cone responses, von Kries scaling)."""
    src = _BRADFORD @ xy_to_xyz(source_xy)
    dst = _BRADFORD @ xy_to_xyz(target_xy)
    result: Matrix3 = np.linalg.inv(_BRADFORD) @ np.diag(dst / src) @ _BRADFORD
    return result


@dataclass(frozen=True)
class LightSource:
    """An EXIF light source (the CalibrationIlluminant values): its chromaticity."""

    code: int
    name: str
    xy: tuple[float, float]

    @property
    def temperature(self) -> float:
        """Correlated colour temperature of the source's chromaticity, kelvin."""
        return xy_to_temperature_tint(self.xy)[0]


def _planckian_xy(temperature: float) -> tuple[float, float]:
    return temperature_tint_to_xy(temperature, 0.0)


# The CIE standard illuminants by their published chromaticities; daylight,
# weather and flash codes by the daylight illuminant of the nearest
# temperature (flash and sunlight ~5500 K, overcast ~6500 K, shade ~7500 K);
# tungsten is illuminant A; the fluorescent classes sit on the Planckian
# locus at the middle of their JIS colour-temperature bands (D 5700-7100 K,
# N 4600-5400 K, W 3900-4500 K, WW 3200-3700 K, L 2600-3250 K), and plain
# "fluorescent" is taken as the common cool white.
_A = (0.44757, 0.40745)
_D55 = (0.33242, 0.34743)
_D75 = (0.29902, 0.31485)
LIGHT_SOURCES: dict[int, LightSource] = {s.code: s for s in (
    LightSource(1, "daylight", _D55),
    LightSource(2, "fluorescent", _planckian_xy(4200.0)),
    LightSource(3, "tungsten", _A),
    LightSource(4, "flash", _D55),
    LightSource(9, "fine weather", _D55),
    LightSource(10, "cloudy weather", D65_XY),
    LightSource(11, "shade", _D75),
    LightSource(12, "daylight fluorescent", _planckian_xy(6400.0)),
    LightSource(13, "day white fluorescent", _planckian_xy(5000.0)),
    LightSource(14, "cool white fluorescent", _planckian_xy(4200.0)),
    LightSource(15, "white fluorescent", _planckian_xy(3450.0)),
    LightSource(16, "warm white fluorescent", _planckian_xy(2925.0)),
    LightSource(17, "standard light A", _A),
    LightSource(18, "standard light B", (0.34842, 0.35161)),
    LightSource(19, "standard light C", (0.31006, 0.31616)),
    LightSource(20, "D55", _D55),
    LightSource(21, "D65", D65_XY),
    LightSource(22, "D75", _D75),
    LightSource(23, "D50", D50_XY),
    LightSource(24, "ISO studio tungsten", _planckian_xy(3200.0)),
)}

# Unknown (0), "other" (255) and codes EXIF does not define: a profile that
# does not say under which light it was made is taken as made for daylight.
_UNSTATED = LightSource(0, "unknown (taken as D65)", D65_XY)


def light_source(code: int) -> LightSource:
    """The light source of an EXIF light-source code; 0, 255 and unknown codes give D65."""
    return LIGHT_SOURCES.get(int(code), _UNSTATED)


def illuminant_xy(code: int) -> tuple[float, float]:
    """Chromaticity of an EXIF light-source code."""
    return light_source(code).xy
