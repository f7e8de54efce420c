"""Independent float64 NumPy rendering of a camera profile, from linear camera
RGB (after demosaic) to output RGB, for tests to hold the engine's graphs
against. Written from the profile rules directly and from the conventions
pyxa documents (locus model, tint unit, matrix normalisation, black point,
base curve), with its own arithmetic: it imports nothing from pyxa.color.

Rules followed, in order:
  white      user temperature/tint, xy or gains, else AsShotNeutral (xy found by
             repeating: matrices at the guess's temperature, neutral -> xy),
             else AsShotWhiteXY, else D65
  matrices   ColorMatrix1/2, CameraCalibration1/2, ForwardMatrix1/2 mixed
             linearly in 1/temperature between the illuminants, clamped
  camera     clip each channel at the camera neutral (largest channel 1), then
             camera -> XYZ D50 -> linear ProPhoto, clamped to [0, 1]
  HueSatMap  in HSV (hue in sixths, s = (max - min) / max, v = max): trilinear
             lookup, value coordinate sRGB-encoded when the map's encoding is 1;
             hue += shift / 60, s = min(s * scale, 1), v = clamp(v * scale)
  exposure   per channel: u = 2^stops x, quadratic toe to a black point, clip at 1
  LookTable  as the HueSatMap
  tone       hue-preserving: the curve on the largest and smallest channel, the
             middle one kept at its place between them
  output     ProPhoto -> XYZ D50 -> Bradford to the space's white -> RGB,
             clamped, encoded
"""

from __future__ import annotations

from dataclasses import dataclass, field
import numpy as np

# ---- conventions shared with pyxa (numbers, not code) ----
PCS_D50 = np.array([0.9642, 1.0, 0.8249])
D65 = (0.3127, 0.3290)
TINT_UNIT = 1.0 / 3000.0  # uv per tint step, positive magenta
AUTO_BLACK = 0.005
BASE_CONTRAST, BASE_KNEE = 1.3, 0.53

_STANDARD = {17: (0.44757, 0.40745), 18: (0.34842, 0.35161), 19: (0.31006, 0.31616),
             20: (0.33242, 0.34743), 21: D65, 22: (0.29902, 0.31485)}
_SAME_AS = {1: 20, 3: 17, 4: 20, 9: 20, 10: 21, 11: 22}
_PLANCKIAN = {2: 4200.0, 12: 6400.0, 13: 5000.0, 14: 4200.0, 15: 3450.0, 16: 2925.0, 24: 3200.0}

SPACES = {  # primaries, white, (gamma, offset, slope, cut)
    "srgb": (((0.64, 0.33), (0.30, 0.60), (0.15, 0.06)), D65, (2.4, 0.055, 12.92, 0.0031308)),
    "display-p3": (((0.680, 0.320), (0.265, 0.690), (0.150, 0.060)), D65, (2.4, 0.055, 12.92, 0.0031308)),
    "oprgb": (((0.64, 0.33), (0.21, 0.71), (0.15, 0.06)), D65, (563 / 256, 0.0, 0.0, 0.0)),
    "prophoto": (((0.7347, 0.2653), (0.1596, 0.8404), (0.0366, 0.0001)), None, (1.8, 0.0, 16.0, 1 / 512)),
    "rec2020": (((0.708, 0.292), (0.170, 0.797), (0.131, 0.046)), D65,
                (1 / 0.45, 0.09929682680944, 4.5, 0.018053968510807)),
}


def d50_xy():
    return (PCS_D50[0] / PCS_D50.sum(), PCS_D50[1] / PCS_D50.sum())


# ---- colorimetry ----
def xyz_of(xy):
    x, y = xy
    return np.array([x, y, 1 - x - y]) / y


def xy_of(xyz):
    return (xyz[0] / xyz.sum(), xyz[1] / xyz.sum())


def locus_uv(t):
    """Krystek's rational fit of the Planckian locus in CIE 1960 uv."""
    u = (0.860117757 + 1.54118254e-4 * t + 1.28641212e-7 * t * t) / (1 + 8.42420235e-4 * t + 7.08145163e-7 * t * t)
    v = (0.317398726 + 4.22806245e-5 * t + 4.20481691e-8 * t * t) / (1 - 2.89741816e-5 * t + 1.61456053e-7 * t * t)
    return np.array([u, v])


def to_uv(xy):
    x, y = xy
    return np.array([4 * x, 6 * y]) / (-2 * x + 12 * y + 3)


def from_uv(uv):
    u, v = uv
    return (3 * u / (2 * u - 8 * v + 4), 2 * v / (2 * u - 8 * v + 4))


def magenta_normal(t):
    """Unit normal of the locus at t, pointing to smaller v (numerical tangent)."""
    step = t * 1e-6
    tangent = (locus_uv(t + step) - locus_uv(t - step)) / (2 * step)
    n = np.array([tangent[1], -tangent[0]])
    n /= np.hypot(*n)
    return n if n[1] < 0 else -n


def temperature_of(xy):
    """Temperature and tint: the locus point nearest in uv, by a scan in mireds
    and a golden-section search around the best sample."""
    p = to_uv(xy)
    mireds = np.linspace(40.0, 1000.0, 4801)
    dist = np.sum((locus_uv(1e6 / mireds).T - p) ** 2, axis=1)
    k = int(np.argmin(dist))
    lo, hi = mireds[max(k - 1, 0)], mireds[min(k + 1, mireds.size - 1)]
    g = (np.sqrt(5) - 1) / 2
    for _ in range(200):
        a, b = hi - g * (hi - lo), lo + g * (hi - lo)
        if np.sum((locus_uv(1e6 / a) - p) ** 2) < np.sum((locus_uv(1e6 / b) - p) ** 2):
            hi = b
        else:
            lo = a
    t = 1e6 / (0.5 * (lo + hi))
    return t, float((p - locus_uv(t)) @ magenta_normal(t)) / TINT_UNIT


def xy_of_temperature(t, tint=0.0):
    return from_uv(locus_uv(t) + tint * TINT_UNIT * magenta_normal(t))


def illuminant_xy(code):
    code = _SAME_AS.get(code, code)
    if code == 23:
        return d50_xy()
    if code in _STANDARD:
        return _STANDARD[code]
    if code in _PLANCKIAN:
        return xy_of_temperature(_PLANCKIAN[code])
    return D65


def bradford(src_xy, dst_xy):
    m = np.array([[0.8951, 0.2664, -0.1614], [-0.7502, 1.7135, 0.0367], [0.0389, -0.0685, 1.0296]])
    gain = (m @ xyz_of(dst_xy)) / (m @ xyz_of(src_xy))
    return np.linalg.solve(m, gain[:, None] * m)


def rgb_to_xyz(primaries, white):
    cols = np.array([xyz_of(p) for p in primaries]).T
    return cols * np.linalg.solve(cols, xyz_of(white))


# ---- profile matrices ----
def _m(a):
    return None if a is None else np.asarray(a, float).reshape(3, 3)


def weight_of(profile, t):
    if profile.color_matrix2 is None:
        return 1.0
    t1 = temperature_of(illuminant_xy(profile.illuminant1))[0]
    t2 = temperature_of(illuminant_xy(profile.illuminant2))[0]
    if abs(t1 - t2) < 1e-3:
        return 1.0
    return float(np.clip((1 / t - 1 / t2) / (1 / t1 - 1 / t2), 0, 1))


def matrices_at(profile, w):
    """(XYZ -> camera without AnalogBalance, CameraCalibration, forward matrix or None)."""
    def cm(a):
        a = _m(a)
        return a / np.max(a @ PCS_D50)

    def fm(a):
        a = _m(a)
        return a * (PCS_D50 / a.sum(axis=1))[:, None]

    def mix(a, b):
        if a is None or b is None:
            return a if a is not None else b
        return w * a + (1 - w) * b

    colour = mix(cm(profile.color_matrix1), None if profile.color_matrix2 is None else cm(profile.color_matrix2))
    cc1, cc2 = _m(profile.camera_calibration1), _m(profile.camera_calibration2)
    if profile.color_matrix2 is not None:
        cc1 = np.eye(3) if cc1 is None else cc1
        cc2 = np.eye(3) if cc2 is None else cc2
    cal = mix(cc1, cc2)
    fwd = mix(None if profile.forward_matrix1 is None else fm(profile.forward_matrix1),
              None if profile.forward_matrix2 is None else fm(profile.forward_matrix2))
    return colour, np.eye(3) if cal is None else cal, fwd


@dataclass
class WhiteRef:
    xy: tuple
    neutral: np.ndarray
    weight: float


def find_white(profile, ab, *, neutral=None, xy=None, temperature=None, tint=0.0, gains=None, as_shot_xy=None):
    ab = np.diag(np.ones(3) if ab is None else np.asarray(ab, float))
    if gains is not None:
        neutral = 1.0 / np.asarray(gains, float)
    if temperature is not None:
        xy = xy_of_temperature(temperature, tint)
    elif neutral is None and xy is None:
        xy = as_shot_xy if as_shot_xy is not None else D65
    if temperature is not None or xy is not None and neutral is None:
        w = weight_of(profile, temperature_of(xy)[0])
        colour, cal, _ = matrices_at(profile, w)
        n = ab @ cal @ colour @ xyz_of(xy)
        return WhiteRef(tuple(xy), n / n.max(), w)
    n = np.asarray(neutral, float) / np.max(neutral)
    guess = d50_xy()
    for _ in range(100):
        w = weight_of(profile, temperature_of(guess)[0])
        colour, cal, _ = matrices_at(profile, w)
        new = xy_of(np.linalg.solve(ab @ cal @ colour, n))
        if np.allclose(new, guess, rtol=0, atol=1e-9):
            break
        guess = new
    return WhiteRef(guess, n, weight_of(profile, temperature_of(guess)[0]))


def camera_to_prophoto(profile, white, ab):
    ab = np.diag(np.ones(3) if ab is None else np.asarray(ab, float))
    colour, cal, fwd = matrices_at(profile, white.weight)
    if fwd is not None:
        ref = np.linalg.solve(ab @ cal, white.neutral)
        to_xyz = fwd @ np.diag(1 / ref) @ np.linalg.inv(ab @ cal)
    else:
        to_xyz = bradford(white.xy, d50_xy()) @ np.linalg.inv(ab @ cal @ colour)
    to_xyz /= (to_xyz @ white.neutral)[1]
    prophoto = rgb_to_xyz(SPACES["prophoto"][0], d50_xy())
    return np.linalg.solve(prophoto, to_xyz)


# ---- HSV maps ----
def to_hsv(rgb):
    r, g, b = rgb[..., 0], rgb[..., 1], rgb[..., 2]
    v = rgb.max(axis=-1)
    span = v - rgb.min(axis=-1)
    safe = np.where(span > 0, span, 1.0)
    h = np.select([r == v, g == v], [(g - b) / safe, (b - r) / safe + 2], (r - g) / safe + 4)
    h = np.where(h < 0, h + 6, h)
    s = np.where(span > 0, span / np.where(v > 0, v, 1), 0.0)
    return np.where(span > 0, h, 0.0), s, v


def from_hsv(h, s, v):
    out = []
    for shift in (5.0, 3.0, 1.0):
        k = np.mod(h + shift, 6.0)
        w = np.clip(np.minimum(k, 4.0 - k), 0.0, 1.0)
        out.append(v * (1.0 - s * w))
    return np.stack(out, axis=-1)


def srgb_encode(x):
    x = np.clip(x, 0, 1)
    return np.where(x <= 0.0031308, 12.92 * x, 1.055 * x ** (1 / 2.4) - 0.055)


def fixed_point(data, unit):
    """Map points as a store of multiples of ``unit`` holds them: hue shifts in
    sixths of the circle, rounded half away from zero (None: unrounded)."""
    if unit is None:
        return data
    sixths = data * np.array([1 / 60, 1, 1])
    rounded = np.sign(sixths) * np.floor(np.abs(sixths) / unit + 0.5) * unit
    return rounded * np.array([60, 1, 1])


def apply_table(rgb, table, unit=None):
    """A HueSatMap or LookTable (pyxa.dng.records.ProfileTable) on ProPhoto RGB."""
    data = np.asarray(table.data, float).reshape(table.val_divs, table.hue_divs, table.sat_divs, 3)
    data = fixed_point(data, unit)
    h, s, v = to_hsv(rgb)
    hue = h * table.hue_divs / 6.0 if table.hue_divs > 1 else np.zeros_like(h)
    h0 = np.minimum(np.floor(hue), table.hue_divs - 1).astype(int)
    fh = hue - h0
    h1 = (h0 + 1) % table.hue_divs
    if table.sat_divs > 1:
        sat = s * (table.sat_divs - 1)
        s0 = np.minimum(np.floor(sat), table.sat_divs - 2).astype(int)
        fs, s1 = sat - s0, s0 + 1
    else:
        s0 = s1 = np.zeros(h.shape, int)
        fs = np.zeros_like(h)
    if table.val_divs > 1:
        val = (srgb_encode(v) if table.encoding == 1 else v) * (table.val_divs - 1)
        v0 = np.minimum(np.floor(val), table.val_divs - 2).astype(int)
        fv, v1 = val - v0, v0 + 1
    else:
        v0 = v1 = np.zeros(h.shape, int)
        fv = np.zeros_like(h)
    point = 0.0
    for vi, wv in ((v0, 1 - fv), (v1, fv)):
        for hi, wh in ((h0, 1 - fh), (h1, fh)):
            for si, ws in ((s0, 1 - fs), (s1, fs)):
                point = point + (wv * wh * ws)[..., None] * data[vi, hi, si]
    h2 = np.mod(h + point[..., 0] / 60.0, 6.0)
    s2 = np.minimum(s * point[..., 1], 1.0)
    v2 = np.clip(v * point[..., 2], 0.0, 1.0)
    return from_hsv(h2, s2, v2)


# ---- exposure and tone ----
def exposure_ramp(x, stops, black):
    u = 2.0 ** stops * x
    if black == 0:
        return np.clip(u, 0, 1)
    y = np.where(u <= 0, 0.0, np.where(u < 2 * black, u * u / (4 * black), u - black)) / (1 - black)
    return np.clip(y, 0, 1)


def natural_spline(points):
    """The natural cubic spline through the points, as a function (a dense
    solve of the whole system, held at the end values, clipped to [0, 1])."""
    x, y = np.asarray(points, float).T
    n = x.size
    a = np.zeros((n, n))
    rhs = np.zeros(n)
    a[0, 0] = a[-1, -1] = 1.0
    for i in range(1, n - 1):
        hl, hr = x[i] - x[i - 1], x[i + 1] - x[i]
        a[i, i - 1], a[i, i], a[i, i + 1] = hl / 6, (hl + hr) / 3, hr / 6
        rhs[i] = (y[i + 1] - y[i]) / hr - (y[i] - y[i - 1]) / hl
    m = np.linalg.solve(a, rhs)

    def curve(t):
        t = np.clip(t, x[0], x[-1])
        i = np.clip(np.searchsorted(x, t) - 1, 0, n - 2)
        h = x[i + 1] - x[i]
        p, q = (x[i + 1] - t) / h, (t - x[i]) / h
        val = p * y[i] + q * y[i + 1] + ((p ** 3 - p) * m[i] + (q ** 3 - q) * m[i + 1]) * h * h / 6
        return np.clip(val, 0, 1)
    return curve


def base_curve(t):
    t = np.clip(t, 0, 1)
    k = BASE_KNEE ** BASE_CONTRAST
    return t ** BASE_CONTRAST * (1 + k) / (t ** BASE_CONTRAST + k)


def tone_keep_hue(rgb, curve):
    hi, lo = rgb.max(axis=-1), rgb.min(axis=-1)
    hi2, lo2 = curve(hi), curve(lo)
    span = np.where(hi > lo, hi - lo, 1.0)
    out = lo2[..., None] + (hi2 - lo2)[..., None] * (rgb - lo[..., None]) / span[..., None]
    return np.where((hi > lo)[..., None], out, hi2[..., None] * np.ones(3))


# ---- the whole chain ----
@dataclass
class Rendering:
    """The stages of one rendering (float64)."""

    white: WhiteRef
    clip_max: np.ndarray
    camera_to_prophoto: np.ndarray
    prophoto: np.ndarray
    hue_sat: np.ndarray
    exposed: np.ndarray
    looked: np.ndarray
    toned: np.ndarray
    linear_output: np.ndarray
    output: np.ndarray
    stops: float
    black: float
    notes: dict = field(default_factory=dict)

    def quantized(self, dtype):
        top = np.iinfo(dtype).max
        return np.floor(self.output * top + 0.5).astype(dtype)


def render(camera_rgb, profile, *, neutral=None, xy=None, temperature=None, tint=0.0, gains=None,
           as_shot_xy=None, analog_balance=None, baseline_exposure=0.0, exposure=0.0,
           output="srgb", map_unit=None):
    """Renders linear camera RGB (..., 3) in [0, 1] through ``profile``.
    ``map_unit`` (e.g. 2**-13) rounds the maps' points to multiples of it
    first, as an engine storing them in fixed point does (and holds a mixed
    HueSatMap as float32 numbers on the way there), so that a comparison
    sees only the rest of the arithmetic."""
    camera = np.asarray(camera_rgb, float)
    white = find_white(profile, analog_balance, neutral=neutral, xy=xy, temperature=temperature, tint=tint,
                       gains=gains, as_shot_xy=as_shot_xy)
    m = camera_to_prophoto(profile, white, analog_balance)
    pro = np.clip(np.minimum(camera, white.neutral) @ m.T, 0, 1)
    hs = pro
    maps = [t for t in (profile.hue_sat_map1, profile.hue_sat_map2) if t is not None]
    if maps:
        table = maps[0]
        if len(maps) == 2 and white.weight < 1:
            first, second = (np.asarray(t.data, float) for t in maps)
            mixed = white.weight * first + (1 - white.weight) * second
            if map_unit is not None:  # the mixed map reaches a fixed-point store as float32 numbers
                mixed = mixed.astype(np.float32)
            table = type(table)(table.hue_divs, table.sat_divs, table.val_divs, mixed, table.encoding)
        hs = apply_table(pro, table, map_unit)
    stops = baseline_exposure + profile.baseline_exposure_offset + exposure
    black = 0.0 if profile.default_black_render == 1 else AUTO_BLACK
    exposed = exposure_ramp(hs, stops, black)
    looked = apply_table(exposed, profile.look_table, map_unit) if profile.look_table is not None else exposed
    curve = base_curve if profile.tone_curve is None else natural_spline(profile.tone_curve)
    toned = tone_keep_hue(np.clip(looked, 0, 1), curve)
    primaries, space_white, (gamma, offset, slope, cut) = SPACES[output.replace("-linear", "")]
    space_white = d50_xy() if space_white is None else space_white
    to_out = np.linalg.solve(rgb_to_xyz(primaries, space_white), bradford(d50_xy(), space_white)) \
        @ rgb_to_xyz(SPACES["prophoto"][0], d50_xy())
    lin = np.clip(toned @ to_out.T, 0, 1)
    if output.endswith("-linear"):
        enc = lin
    else:
        enc = np.where(lin < cut, slope * lin, (1 + offset) * lin ** (1 / gamma) - offset)
    return Rendering(white, white.neutral, m, pro, hs, exposed, looked, toned, lin, enc, stops, black)
