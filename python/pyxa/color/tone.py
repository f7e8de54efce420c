"""Tone: the profile's tone curve sampled through a cubic spline, the base
curve of the default look for profiles without one, and the exposure ramp
(exposure gain, shadow black point, clip at white) as a per-channel table."""

from __future__ import annotations

import math

import numpy as np
import numpy.typing as npt

from ._types import Doubles, Floats

__all__ = ["TONE_ENTRIES", "EXPOSURE_ENTRIES", "EXPOSURE_ENTRIES_UNCLIPPED", "AUTO_BLACK", "BASE_CURVE_CONTRAST",
           "BASE_CURVE_KNEE", "check_curve_points", "spline_curve", "base_curve", "tone_table", "exposure_ramp",
           "exposure_entries", "exposure_table"]

# The hue-preserving input table: 4096 entries keep its linear interpolation
# within 1e-6 of the spline for the curves seen (curvature below ~30).
TONE_ENTRIES = 4096
# A brightening exposure table holds a kink at the clip point (x = 1 / gain)
# that falls between entries: 65536 entries keep that cell's error below
# gain * 4e-6. With a gain of at most 1 the clip is at most the last entry,
# and where the toe's curvature allows (see exposure_entries) 4096 entries
# keep the interpolation within 1e-6: a 16 KB table instead of 256 KB,
# which the engine looks up about a quarter faster.
EXPOSURE_ENTRIES = 65536
EXPOSURE_ENTRIES_UNCLIPPED = 4096

# DefaultBlackRender 0 (auto): a shadow black point of 0.5 % of white, in the
# units after the exposure gain, reached with a quadratic toe. It takes the
# veil of flare and read noise off the deepest shadows so blacks look black;
# profiles that ask for no black rendering (1) get none.
AUTO_BLACK = 0.005

# The default look's base curve (see base_curve): contrast exponent and knee.
BASE_CURVE_CONTRAST = 1.3
BASE_CURVE_KNEE = 0.53


def check_curve_points(points: npt.ArrayLike, what: str = "tone curve") -> Doubles:
    """The (n, 2) float64 points of a curve, checked: n >= 2, finite, x
    strictly increasing within [0, 1]."""
    p = np.asarray(points, dtype=np.float64)
    if p.ndim != 2 or p.shape[1] != 2 or p.shape[0] < 2:
        raise ValueError(f"{what} needs at least two (x, y) points as an (n, 2) array, got shape {p.shape}")
    if not np.all(np.isfinite(p)):
        raise ValueError(f"{what} holds a value that is not finite")
    x = p[:, 0]
    if x[0] < 0.0 or x[-1] > 1.0 or np.any(np.diff(x) <= 0.0):
        raise ValueError(f"{what}: x must rise strictly within [0, 1]")
    return p


def _second_derivatives(x: Doubles, y: Doubles) -> Doubles:
    """Second derivatives at the points of the natural cubic spline (zero at
    both ends), from its tridiagonal system solved by forward elimination and
    back substitution."""
    n = x.size
    m = np.zeros(n)
    if n < 3:
        return m
    h = np.diff(x)
    slope = np.diff(y) / h
    diag = 2.0 * (h[:-1] + h[1:])
    rhs = 6.0 * np.diff(slope)
    for i in range(1, n - 2):
        w = h[i] / diag[i - 1]
        diag[i] -= w * h[i]
        rhs[i] -= w * rhs[i - 1]
    inner = np.zeros(n - 2)
    inner[-1] = rhs[-1] / diag[-1]
    for i in range(n - 4, -1, -1):
        inner[i] = (rhs[i] - h[i + 1] * inner[i + 1]) / diag[i]
    m[1:-1] = inner
    return m


def spline_curve(points: npt.ArrayLike, x: npt.ArrayLike) -> Doubles:
    """The natural cubic spline through ``points`` at ``x``, held at the end
    values outside the points and clipped to [0, 1]: a spline through
    monotone points can swing past them, never past black or white here."""
    p = check_curve_points(points)
    px, py = p[:, 0], p[:, 1]
    m = _second_derivatives(px, py)
    xs = np.clip(np.asarray(x, dtype=np.float64), px[0], px[-1])
    i = np.clip(np.searchsorted(px, xs, side="right") - 1, 0, px.size - 2)
    h = px[i + 1] - px[i]
    a = px[i + 1] - xs
    b = xs - px[i]
    y = (m[i] * a ** 3 + m[i + 1] * b ** 3) / (6.0 * h) \
        + (py[i] / h - m[i] * h / 6.0) * a + (py[i + 1] / h - m[i + 1] * h / 6.0) * b
    result: Doubles = np.clip(y, 0.0, 1.0)
    return result


def base_curve(x: npt.ArrayLike, contrast: float = BASE_CURVE_CONTRAST, knee: float = BASE_CURVE_KNEE) -> Doubles:
    """The default look's tone curve on [0, 1]:

        f(x) = x^c (1 + k^c) / (x^c + k^c),   c = contrast, k = knee.

    In log-log terms this is the S-shaped characteristic curve of film: its
    slope (the print contrast) is c in the shadows, a toe that keeps blacks
    deep, and falls through the mid-tones to c k^c / (1 + k^c) at white, a
    soft shoulder that rolls highlights off instead of clipping them. The
    factor (1 + k^c) pins white to white.

    How it was chosen: k puts middle grey where a camera's own JPEG does. A
    meter places grey about 12 % of white in the raw data (three stops under
    clipping); f(0.12) = 0.182 linear is sRGB 118. c was then picked by the
    neutral patches of a colour chart exposed that way (reflectances 90 % to
    3 %): c = 1.3 renders them at sRGB 228, 201, 165, 122, 80, 40, a little
    more shadow contrast than the chart's colorimetric values (243 ... 52) and
    a shoulder that keeps white off the clip, with a mid-tone slope of 1.14
    and 0.40 at white. c = 1.0 is flat (mid-tone slope 0.92, black patch
    45); c = 1.5 crushes the deep shadows (black patch 26).
    The unshaped linear data, by comparison, renders grey at sRGB 97.
    """
    xs = np.clip(np.asarray(x, dtype=np.float64), 0.0, 1.0)
    kc = knee ** contrast
    xc = np.power(xs, contrast)
    result: Doubles = xc * (1.0 + kc) / (xc + kc)
    return result


def tone_table(points: npt.ArrayLike | None, entries: int = TONE_ENTRIES) -> Floats:
    """The tone curve as transform_color's hue-preserving "input_lut": the
    spline through ``points``, or the base curve when there are none."""
    if entries < 4096:
        raise ValueError(f"tone table needs at least 4096 entries, got {entries}")
    x = np.linspace(0.0, 1.0, entries)
    y = base_curve(x) if points is None else spline_curve(points, x)
    result: Floats = y.astype(np.float32)
    return result


def exposure_ramp(x: npt.ArrayLike, gain: float, black: float) -> Doubles:
    """Exposure with a shadow black point, per channel: u = gain * x, then 0
    up to u = 0, a quadratic toe s u^2 / (4 black) up to 2 black, and the
    line s (u - black) beyond (s = 1 / (1 - black)); value and slope meet at
    2 black, and white (u = 1) stays white. Clipped at 1 like a sensor."""
    if not (gain > 0.0 and math.isfinite(gain)):
        raise ValueError(f"exposure gain must be a positive finite number, got {gain!r}")
    if not 0.0 <= black < 0.5:
        raise ValueError(f"black point must lie in [0, 0.5), got {black!r}")
    u = gain * np.asarray(x, dtype=np.float64)
    if black == 0.0:
        ramp = u
    else:
        s = 1.0 / (1.0 - black)
        toe = s * np.square(np.maximum(u, 0.0)) / (4.0 * black)
        ramp = np.where(u < 2.0 * black, toe, s * (u - black))
    result: Doubles = np.clip(ramp, 0.0, 1.0)
    return result


def exposure_entries(gain: float, black: float) -> int:
    """How many entries the exposure table needs: EXPOSURE_ENTRIES when the
    clip point lies inside it, else EXPOSURE_ENTRIES_UNCLIPPED where the
    toe's interpolation error, h^2 / 8 times its curvature s gain^2 / (2
    black), stays within 1e-6 (a straight ramp has none)."""
    if gain > 1.0:
        return EXPOSURE_ENTRIES
    if black == 0.0:
        return EXPOSURE_ENTRIES_UNCLIPPED
    h = 1.0 / (EXPOSURE_ENTRIES_UNCLIPPED - 1)
    toe_error = h * h * gain * gain / (16.0 * black * (1.0 - black))
    return EXPOSURE_ENTRIES_UNCLIPPED if toe_error <= 1e-6 else EXPOSURE_ENTRIES


def exposure_table(gain: float, black: float, entries: int | None = None) -> Floats:
    """The exposure ramp as a per-channel table over [0, 1] (transform_color's
    "input_lut" without hue preservation), of ``entries`` entries or as many
    as ``exposure_entries`` finds it needs."""
    if entries is None:
        entries = exposure_entries(gain, black)
    result: Floats = exposure_ramp(np.linspace(0.0, 1.0, entries), gain, black).astype(np.float32)
    return result
