"""The main job's sample DNG: a photograph run backwards through the rendering
the file asks for, so that developing it as the file says brings the
photograph back. Backwards, from the photograph: sRGB curve and matrix, the
profile's tone curve (hue-preserving), exposure (BaselineExposure and the
shadow black point), HueSatMap (inverted by iteration through the engine),
the camera matrix of the two-illuminant profile at the as-shot white; then,
in the sensor's orientation, the lens distortion the OpcodeList3
WarpRectilinear corrects, the lens shading (per CFA site) the OpcodeList2
GainMaps correct, the mosaic, shot noise and 12-bit levels inside a masked
border. Development and test tooling, not part of the installed package."""

from __future__ import annotations

import os
from typing import Any

import numpy as np
import numpy.typing as npt

from dng_writer import profile_tags, write_dng
from pyxa import Graph
from pyxa._types import PathLike
from pyxa.color import plan_color, temperature_tint_to_xy, xy_to_neutral
from pyxa.color.colorimetry import D50_XY, D50_XYZ, bradford, illuminant_xy, xy_to_xyz
from pyxa.color.plan import ColorPlan
from pyxa.dng.opcode_records import Area, GainMap, Opcode, WarpRectilinear
from pyxa.dng.records import CameraProfile, ProfileTable

__all__ = ["SAMPLE_PROFILE", "SAMPLE_WARP", "site_gain_maps", "write_capture_dng", "BASELINE_EXPOSURE"]

Image = npt.NDArray[np.float64]
V13 = 0x01030000
BLACK, WHITE = 256, 4095
BORDER = (8, 12, 4, 6)  # masked rows and columns around the active area: top, left, bottom, right
BASELINE_EXPOSURE = 0.5  # the capture sits half a stop under, to keep highlights off the clip
AS_SHOT = (5200.0, 4.0)  # the light the photograph was "taken" under: kelvin, tint
# The lens: barrel distortion the warp takes out (the source of an output
# pixel at radius r lies at r (1 - 0.09 r^2)), and a fall-off to the corners
# that is stronger for red than for blue.
SAMPLE_WARP = WarpRectilinear(np.array([[1.0, -0.09, 0.0, 0.0, 0.0, 0.0]]), 0.5, 0.5)
SHADING = {(0, 0): 1.6, (0, 1): 1.3, (1, 0): 1.3, (1, 1): 1.0}  # RGGB site -> gain at the corners minus 1
MAP_POINTS = (9, 13)


def _r4(m: Any) -> npt.NDArray[np.float64]:
    """Four decimals: exact as the file's rationals."""
    result: npt.NDArray[np.float64] = np.asarray(np.round(np.asarray(m, dtype=np.float64), 4), dtype=np.float64)
    return result


def _forward_matrix(cm: npt.NDArray[np.float64], illuminant: int) -> npt.NDArray[np.float64]:
    """The forward matrix that agrees with a colour matrix: white-balanced
    camera RGB -> XYZ D50, the camera white landing on D50."""
    white = illuminant_xy(illuminant)
    neutral = cm @ xy_to_xyz(white)
    fm = bradford(white, D50_XY) @ np.linalg.inv(cm) @ np.diag(neutral)
    return _r4(fm * (D50_XYZ / fm.sum(axis=1))[:, None])


def _hue_sat_map() -> ProfileTable:
    """A gentle map: hues turned by up to 4 degrees, saturation raised by up to 8 %."""
    hue, sat = 36, 6
    h, s = np.meshgrid(np.arange(hue), np.arange(sat), indexing="ij")
    data = np.stack([4.0 * np.sin(2 * np.pi * h / hue) * s / (sat - 1), 1 + 0.08 * s / (sat - 1),
                     np.ones((hue, sat))], axis=-1)
    return ProfileTable(hue, sat, 1, data[None].astype(np.float32))


_CM_A = _r4([[0.8713, -0.2306, -0.0913], [-0.3781, 1.1648, 0.2362], [-0.0517, 0.1644, 0.7089]])
_CM_D65 = _r4([[0.6461, -0.0907, -0.0882], [-0.4300, 1.2184, 0.2378], [-0.0819, 0.1944, 0.5931]])
SAMPLE_PROFILE = CameraProfile(
    name="pyxa sample profile", illuminant1=17, illuminant2=21, color_matrix1=_CM_A, color_matrix2=_CM_D65,
    forward_matrix1=_forward_matrix(_CM_A, 17), forward_matrix2=_forward_matrix(_CM_D65, 21),
    hue_sat_map1=_hue_sat_map(),
    tone_curve=np.array([[0.0, 0.0], [0.05, 0.03], [0.15, 0.13], [0.3, 0.33], [0.5, 0.56], [0.7, 0.76],
                         [0.85, 0.89], [1.0, 1.0]], np.float32).astype(np.float64))


def _invert_monotone(table: npt.NDArray[np.floating[Any]], values: Image) -> Image:
    """x in [0, 1] with table(x) = values, for a rising table over [0, 1]."""
    xs = np.linspace(0.0, 1.0, table.size)
    ys = np.maximum.accumulate(table.astype(np.float64))
    keep = np.concatenate([[True], np.diff(ys) > 0])
    result: Image = np.interp(values, ys[keep], xs[keep])
    return result


def _untone(rgb: Image, table: npt.NDArray[np.float32]) -> Image:
    """The inverse of the hue-preserving tone curve: the curve's inverse on the
    largest and smallest channel, the middle one kept at its place between them."""
    hi, lo = rgb.max(axis=-1, keepdims=True), rgb.min(axis=-1, keepdims=True)
    hi0, lo0 = _invert_monotone(table, hi), _invert_monotone(table, lo)
    span = np.where(hi > lo, hi - lo, 1.0)
    result: Image = lo0 + (hi0 - lo0) * (rgb - lo) / span
    return result


def _unmap(target: Image, plan: ColorPlan, rounds: int = 12) -> Image:
    """ProPhoto values the HueSatMap takes to ``target``, found by iteration
    through the engine's own map."""
    assert plan.hue_sat_map is not None
    source = target.copy()
    for _ in range(rounds):
        g = Graph()
        g.add(plan.hue_sat_map.op, g.input(source.astype(np.float32)), **plan.hue_sat_map.attrs(direct=True))
        source = np.clip(source + (target - g.run()), 0.0, 1.0)
    return source


def camera_image(photo: npt.NDArray[np.uint8], plan: ColorPlan) -> Image:
    """Linear camera RGB (clip point at the camera neutral) that renders to ``photo``."""
    srgb = photo[..., :3].astype(np.float64) / 255.0
    linear = np.where(srgb <= 0.04045, srgb / 12.92, ((srgb + 0.055) / 1.055) ** 2.4)
    toned = linear @ np.linalg.inv(plan.prophoto_to_output).T
    exposed = _untone(np.clip(toned, 0.0, 1.0), plan.tone_table)
    mapped = _invert_monotone(plan.exposure_table(), exposed)
    prophoto = _unmap(mapped, plan)
    camera = prophoto @ np.linalg.inv(plan.camera_to_prophoto).T
    result: Image = np.clip(camera, 0.0, plan.clip_max)
    return result


def _lens_geometry(h: int, w: int) -> tuple[Image, Image, float, float, float]:
    cx, cy = w * SAMPLE_WARP.center_x, h * SAMPLE_WARP.center_y
    radius = max(np.hypot(cx, cy), np.hypot(w - cx, cy), np.hypot(cx, h - cy), np.hypot(w - cx, h - cy))
    y, x = np.mgrid[0:h, 0:w].astype(np.float64)
    return x, y, cx, cy, float(radius)


def _mirror(s: Image, n: int) -> Image:
    result: Image = np.clip(np.where(s < 0, -s, np.where(s > n - 1, 2 * (n - 1) - s, s)), 0, n - 1)
    return result


def distort(image: Image) -> Image:
    """What the lens makes of ``image``: each capture pixel at radius rho shows
    the scene at the radius r the warp reads it from (r (1 + k r^2) = rho,
    solved by Newton's method), sampled bilinearly. The scene beyond the
    photograph's edges (the capture's corners; the development never reads
    them) is the photograph mirrored."""
    h, w = image.shape[:2]
    x, y, cx, cy, radius = _lens_geometry(h, w)
    rho = np.hypot(x - cx, y - cy) / radius
    k0, k1 = SAMPLE_WARP.coefficients[0, :2]
    r = rho.copy()
    for _ in range(20):
        r -= (r * (k0 + k1 * r * r) - rho) / (k0 + 3 * k1 * r * r)
    scale = np.where(rho > 0, r / np.where(rho > 0, rho, 1.0), 1.0 / k0)
    sx, sy = _mirror(cx + (x - cx) * scale, w), _mirror(cy + (y - cy) * scale, h)
    x0, y0 = np.minimum(np.floor(sx).astype(int), w - 2), np.minimum(np.floor(sy).astype(int), h - 2)
    fx, fy = (sx - x0)[..., None], (sy - y0)[..., None]
    top = image[y0, x0] * (1 - fx) + image[y0, x0 + 1] * fx
    bottom = image[y0 + 1, x0] * (1 - fx) + image[y0 + 1, x0 + 1] * fx
    result: Image = top * (1 - fy) + bottom * fy
    return result


def site_gain_maps(h: int, w: int) -> list[GainMap]:
    """The OpcodeList2 GainMaps: one per CFA site (the area's offsets and a
    pitch of 2 pick it), gains rising with the square of the radius."""
    pv, ph = MAP_POINTS
    v, u = np.meshgrid(np.linspace(0, 1, pv), np.linspace(0, 1, ph), indexing="ij")
    r2 = ((u - 0.5) ** 2 * w * w + (v - 0.5) ** 2 * h * h) / (0.25 * (w * w + h * h))
    return [GainMap(Area(dy, dx, h, w, 0, 1, 2, 2), pv, ph, 1 / (pv - 1), 1 / (ph - 1), 0.0, 0.0, 1,
                    (1 + corner * r2)[..., None].astype(np.float32)) for (dy, dx), corner in SHADING.items()]


def _gain_at_pixels(m: GainMap, h: int, w: int) -> Image:
    """The map's gain at every pixel centre, bilinear between its points."""
    v = np.clip(((np.arange(h) + 0.5) / h - m.origin_v) / m.spacing_v, 0, m.points_v - 1)
    u = np.clip(((np.arange(w) + 0.5) / w - m.origin_h) / m.spacing_h, 0, m.points_h - 1)
    v0, u0 = np.minimum(v.astype(int), m.points_v - 2), np.minimum(u.astype(int), m.points_h - 2)
    fv, fu = (v - v0)[:, None], (u - u0)[None, :]
    g = m.gains[..., 0].astype(np.float64)
    result: Image = (g[v0][:, u0] * (1 - fu) + g[v0][:, u0 + 1] * fu) * (1 - fv) + \
        (g[v0 + 1][:, u0] * (1 - fu) + g[v0 + 1][:, u0 + 1] * fu) * fv
    return result


def shaded_mosaic(camera: Image, maps: list[GainMap]) -> Image:
    """The RGGB mosaic of ``camera``, each site dimmed by its map's gain."""
    h, w = camera.shape[:2]
    mosaic = np.empty((h, w))
    for m in maps:
        dy, dx = m.area.top, m.area.left
        channel = "RGGB"[2 * dy + dx]
        gain = _gain_at_pixels(m, h, w)
        mosaic[dy::2, dx::2] = camera[dy::2, dx::2, "RGB".index(channel)] / gain[dy::2, dx::2]
    return mosaic


def _levels(mosaic: Image, seed: int) -> npt.NDArray[np.uint16]:
    """12-bit levels of a [0, 1] mosaic with shot noise (a full well of 20k
    electrons), inside a border of masked pixels holding black and read noise."""
    rng = np.random.default_rng(seed)
    noisy = rng.poisson(np.clip(mosaic, 0, 1) * 20000.0) / 20000.0
    top, left, bottom, right = BORDER
    h, w = mosaic.shape
    stored = BLACK + rng.normal(0.0, 2.0, (h + top + bottom, w + left + right))
    stored[top:top + h, left:left + w] += np.clip(noisy, 0, 1) * (WHITE - BLACK)
    return np.clip(np.round(stored), 0, WHITE).astype(np.uint16)


def write_capture_dng(path: PathLike, *, orientation: int = 6, photo: npt.NDArray[np.uint8] | None = None,
                      seed: int = 0) -> str:
    """Writes the sample DNG (scikit-image's "coffee" unless ``photo``) held in
    ``orientation``; returns the path."""
    from sample_dng import _unturn

    if photo is None:
        from skimage import data

        photo = data.coffee()
    xy = temperature_tint_to_xy(*AS_SHOT)
    neutral = np.round(xy_to_neutral(SAMPLE_PROFILE, xy), 6)
    plan = plan_color(SAMPLE_PROFILE, as_shot_neutral=neutral, baseline_exposure=BASELINE_EXPOSURE)
    sensor = _unturn(camera_image(photo, plan), orientation)  # the camera's own frame
    h, w = sensor.shape[:2] // np.array(2) * 2
    sensor = distort(sensor[:h, :w])
    maps = site_gain_maps(h, w)
    stored = _levels(shaded_mosaic(sensor, maps), seed)
    top, left = BORDER[:2]
    write_dng(path, stored, bits=12, BlackLevel=BLACK, WhiteLevel=WHITE, ActiveArea=(top, left, top + h, left + w),
              CFAPattern=b"\x00\x01\x01\x02", AsShotNeutral=neutral, BaselineExposure=BASELINE_EXPOSURE,
              Orientation=orientation, Model="pyxa sample (coffee)", UniqueCameraModel="pyxa sample camera",
              OpcodeList2=[Opcode(9, V13, 0, 2, m) for m in maps], OpcodeList3=[Opcode(1, V13, 0, 3, SAMPLE_WARP)],
              **profile_tags(SAMPLE_PROFILE))
    return os.fspath(path)
