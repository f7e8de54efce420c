"""The colour-profile part of a DNG development as a benchmark row: linear
camera RGB -> clip and camera-to-ProPhoto matrix -> HueSatMap -> exposure
(a per-channel table) -> LookTable -> hue-preserving tone curve, output
matrix and curve -> uint8, in the order of pyxa.color.plan.ColorPlan; the
engine's graph, a NumPy peer and a Halide peer, all written here.

The maps and tables are synthetic, of the sizes real profiles carry: a 90 x
30 HueSatMap, a 90 x 30 x 30 LookTable as the engine takes it once resampled
on a linear value axis (512 value slabs), a 65536-entry exposure table, a
4096-entry tone table and a 4096-entry output curve. ProfileMaps(...) takes
real ones instead (a row made from real files can reuse everything here).

The peers compute the same formulas in float32 from the published colour
model (hue in sixths, bilinear and trilinear map interpolation with the hue
wrapping, hue shift, saturation and value scales), without the engine's
fixed-point map entries: their images agree with the engine's within a few
levels, which check_peer asserts before any timing."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any, Callable

import numpy as np
from numpy.typing import NDArray

F32 = np.float32
Image = NDArray[np.float32]

CAMERA_TO_PROPHOTO = np.array([[0.72, 0.21, 0.07], [0.04, 0.88, 0.08], [0.01, 0.12, 0.87]])
PROPHOTO_TO_SRGB = np.array([[2.0365, -0.7376, -0.2993], [-0.2257, 1.2232, 0.0027], [-0.0105, -0.1349, 1.1452]])
CLIP_MAX = (0.62, 1.0, 0.81)  # the camera neutral: un-balanced camera RGB clips there


@dataclass(frozen=True)
class ProfileMaps:
    """Everything the profile nodes take. hue_sat: (H, S, 3) points (hue
    shift in degrees, saturation scale, value scale); look: (V, H, S, 3) on a
    value axis linear in [0, 1]; the tables span [0, 1]."""

    hue_sat: Image
    look: Image
    exposure: Image
    tone: Image
    output: Image

    @staticmethod
    def synthetic(seed: int = 12) -> "ProfileMaps":
        """Smooth maps of realistic sizes and gentle adjustments."""
        rng = np.random.default_rng(seed)
        h, s = np.meshgrid(np.arange(90) / 90.0, np.arange(30) / 29.0, indexing="ij")
        wave = np.sin(2 * np.pi * h)
        hue_sat = np.stack([6.0 * wave * s, 1.0 + 0.15 * s * np.cos(2 * np.pi * h), 1.0 + 0.03 * wave * s], -1)
        v = np.linspace(0.0, 1.0, 512)[:, None, None]
        look = np.stack([np.broadcast_to(-4.0 * np.cos(2 * np.pi * h) * s * (1 - 0.5 * v), (512, 90, 30)),
                         1.0 + 0.1 * s * v * (1 + wave), 1.0 - 0.05 * s * (1 - v) * wave], -1)
        look = look + rng.normal(0.0, 0.002, look.shape) * [0, 1, 1]
        x = np.linspace(0.0, 1.0, 65536)
        exposure = np.clip(1.4 * x, 0.0, 1.0)
        t = np.linspace(0.0, 1.0, 4096)
        tone = t ** 1.1 * (1 + 0.25 ** 1.1) / (t ** 1.1 + 0.25 ** 1.1)  # an S-shaped film curve
        output = np.where(t <= 0.0031308, 12.92 * t, 1.055 * t ** (1 / 2.4) - 0.055) + 0.5 / 255
        return ProfileMaps(*(np.ascontiguousarray(a, F32) for a in (hue_sat, look, exposure, tone, output)))


def camera_rgb(h: int, w: int, seed: int = 13) -> Image:
    """A smooth colourful linear image with noise and some clipped highlights."""
    rng = np.random.default_rng(seed)
    y = np.arange(h, dtype=F32)[:, None, None] / F32(h)
    x = np.arange(w, dtype=F32)[None, :, None] / F32(w)
    phase = np.array([0.0, 2.1, 4.2], F32)
    rgb = 0.35 + 0.3 * np.sin(7 * x + phase) * np.cos(5 * y + phase) + 0.25 * x * y
    rgb = rgb + rng.normal(0.0, 0.01, (h, w, 3)).astype(F32)
    result: Image = np.clip(rgb, 0.0, 1.2).astype(F32)
    return result


def engine_graph(maps: ProfileMaps, h: int, w: int, direct: bool = True) -> dict[str, Any]:
    """The engine's graph (input tensor 0, float32 RGB; output uint8 RGB)."""
    import pyxa
    g = pyxa.Graph()
    x = g.input((h, w, 3), np.float32)
    x = g.clip_and_transform_color(x, clip_max=np.array(CLIP_MAX), matrix=CAMERA_TO_PROPHOTO)
    x = g.apply_hue_sat_map(x, hue_divs=90, sat_divs=30, map_data=maps.hue_sat.ravel(),
                            engine_opts={"chroma_lut": not direct})
    x = g.transform_color(x, dest_dtype="float32", input_lut=maps.exposure)
    x = g.apply_hue_sat_val_map(x, hue_divs=90, sat_divs=30, val_divs=maps.look.shape[0],
                                map_data=maps.look.ravel(), engine_opts={"prism_lut": not direct})
    g.transform_color(x, dest_dtype="uint8", hue_preserving=True, input_lut=maps.tone, matrix=PROPHOTO_TO_SRGB,
                      output_lut=maps.output)
    return g.engine_graph()


# ---- NumPy ---------------------------------------------------------------------------


def np_lookup(table: Image, x: Image) -> Image:
    """Interpolated lookup of x in [0, 1] (clamped), as a NumPy user writes it."""
    t = np.append(table, table[-1]).astype(F32)
    z = np.clip(x, 0.0, 1.0) * F32(len(table) - 1)
    i = z.astype(np.int32)
    z -= i
    v = t[i]
    v += z * (t[i + 1] - v)
    return v


def np_hsv(rgb: Image) -> tuple[Image, Image, Image]:
    """Hue in sixths [0, 6), saturation, value."""
    r, g, b = rgb[..., 0], rgb[..., 1], rgb[..., 2]
    mx, mn = rgb.max(-1), rgb.min(-1)
    d = mx - mn
    safe = np.where(d > 0, d, F32(1))
    hue = np.where(r == mx, (g - b) / safe, np.where(g == mx, (b - r) / safe + 2, (r - g) / safe + 4))
    hue = np.where(hue < 0, hue + 6, hue)
    hue = np.where(d > 0, hue, F32(0))
    sat = np.where(d > 0, d / np.where(mx > 0, mx, F32(1)), F32(0))
    return hue.astype(F32), sat.astype(F32), mx


def np_rgb(hue: Image, sat: Image, val: Image) -> Image:
    """Back from (hue in sixths, saturation, value) to RGB."""
    out = np.empty(hue.shape + (3,), F32)
    for c, shift in enumerate((5.0, 3.0, 1.0)):
        k = np.mod(hue + F32(shift), F32(6))
        weight = np.clip(np.minimum(k, 4 - k), 0, 1)
        out[..., c] = val - val * sat * weight
    return out


def np_map(table: Image, rgb: Image) -> Image:
    """Applies a (V, H, S, 3) map (V = 1: a hue/saturation map) to RGB."""
    vals, hues, sats = table.shape[:3]
    hue, sat, val = np_hsv(rgb)
    u = hue * F32(hues / 6.0)
    hi = np.minimum(u.astype(np.int32), hues - 1)
    fh = u - hi
    hn = np.where(hi + 1 == hues, 0, hi + 1)
    o = sat * F32(sats - 1)
    si = np.clip(o.astype(np.int32), 0, sats - 2)
    fs = (o - si)[..., None]
    fh = fh[..., None]
    if vals > 1:
        t = np.clip(val, 0, 1) * F32(vals - 1)
        vi = np.clip(t.astype(np.int32), 0, vals - 2)
        fv = (t - vi)[..., None]
        levels: list[tuple[Any, Any]] = [(vi, F32(1) - fv), (vi + 1, fv)]
    else:
        levels = [(np.zeros_like(hi), None)]
    point: Any = 0
    for v, weight in levels:
        lo = (1 - fs) * table[v, hi, si] + fs * table[v, hi, si + 1]
        up = (1 - fs) * table[v, hn, si] + fs * table[v, hn, si + 1]
        at = (1 - fh) * lo + fh * up
        point = at if weight is None else point + weight * at
    hue = np.mod(hue + point[..., 0] / F32(60), F32(6))
    sat = np.minimum(sat * point[..., 1], 1)
    val = np.clip(val * point[..., 2], 0, 1)
    return np_rgb(hue, sat, val)


def np_keep_hue(table: Image, rgb: Image) -> Image:
    """The tone table on the largest and smallest channel, the middle one
    rebuilt between them so the hue stays."""
    x = np.clip(rgb, 0, 1)
    order = np.argsort(x, axis=-1, kind="stable")
    lo, mid, hi = (np.take_along_axis(x, order[..., k:k + 1], -1)[..., 0] for k in range(3))
    lo2, hi2 = np_lookup(table, lo), np_lookup(table, hi)
    span = hi - lo
    mid2 = np.where(span > 1e-10, lo2 + (hi2 - lo2) * (mid - lo) / np.where(span > 1e-10, span, F32(1)), lo2)
    out = np.empty_like(x)
    np.put_along_axis(out, order[..., 0:1], lo2[..., None], -1)
    np.put_along_axis(out, order[..., 1:2], mid2[..., None], -1)
    np.put_along_axis(out, order[..., 2:3], hi2[..., None], -1)
    return out


def numpy_profile(maps: ProfileMaps) -> Callable[[Image, NDArray[np.uint8]], NDArray[np.uint8]]:
    """The profile graph as vectorised NumPy in float32."""
    to_pro, to_out = CAMERA_TO_PROPHOTO.astype(F32), PROPHOTO_TO_SRGB.astype(F32)
    clip = np.array(CLIP_MAX, F32)
    hue_sat = maps.hue_sat[None]

    def run(rgb: Image, out: NDArray[np.uint8]) -> NDArray[np.uint8]:
        x = np.clip(np.minimum(rgb, clip) @ to_pro.T, 0, 1)
        x = np_map(hue_sat, x)
        x = np_lookup(maps.exposure, x)
        x = np_map(maps.look, x)
        x = np_keep_hue(maps.tone, x) @ to_out.T
        out[...] = np_lookup(maps.output, x) * F32(255)
        return out
    return run


def check_peer(name: str, peer: NDArray[np.uint8], engine: NDArray[np.uint8], levels: int = 4) -> None:
    """Refuses a peer whose image drifts from the engine's: it would be timing other work."""
    diff = np.abs(peer.astype(np.int16) - engine.astype(np.int16))
    if np.percentile(diff, 99.9) > levels:
        raise ValueError(f"{name}'s image differs from the engine's by up to {diff.max()} levels "
                         f"(99.9th percentile {np.percentile(diff, 99.9)}, mean {diff.mean():.3f})")


# ---- Halide ----------------------------------------------------------------------------


class HalideProfile:
    """The profile graph as a Halide pipeline (Python JIT, one thread: the
    caller sets HL_NUM_THREADS=1 before Halide starts). Each stage is a Func
    of the three channels as a tuple, computed a row at a time (compute_at
    the output row) and vectorised along x, so no stage is recomputed per
    channel and the rows stay in cache; the output's channels are unrolled.
    __call__(rgb, out) fills out (H, W, 3) uint8 from (H, W, 3) float32."""

    def __init__(self, maps: ProfileMaps, vector: int = 8) -> None:
        import halide as hl  # type: ignore[import-untyped,unused-ignore]
        self.hl = hl
        self.buffers = {name: hl.Buffer(np.ascontiguousarray(a)) for name, a in (
            ("hue_sat", maps.hue_sat[None]), ("look", maps.look),
            ("exposure", np.append(maps.exposure, maps.exposure[-1]).astype(F32)),
            ("tone", np.append(maps.tone, maps.tone[-1]).astype(F32)),
            ("output", np.append(maps.output, maps.output[-1]).astype(F32)))}
        self.shapes = {"hue_sat": (1, 90, 30), "look": maps.look.shape[:3]}
        self.rgb = hl.ImageParam(hl.Float(32), 3, "rgb")
        self.x, self.y, self.c = hl.Var("x"), hl.Var("y"), hl.Var("c")
        stages = self._stages()
        self.out = self._output(stages[-1])
        self._schedule(stages, vector)
        self.out.compile_jit(hl.get_jit_target_from_environment())

    def _c(self, v: float) -> Any:
        """A float32 constant."""
        return self.hl.f32(float(v))

    def _lookup(self, table: str, v: Any, n: int) -> Any:
        hl = self.hl
        pos = hl.clamp(v, 0.0, 1.0) * self._c(n - 1)
        i = hl.i32(pos)
        f = pos - hl.f32(i)
        t = self.buffers[table]
        return (self._c(1) - f) * t[i] + f * t[i + 1]

    def _matrix(self, m: NDArray[np.float64], rgb: tuple[Any, Any, Any]) -> list[Any]:
        return [self._c(m[k, 0]) * rgb[0] + self._c(m[k, 1]) * rgb[1] + self._c(m[k, 2]) * rgb[2] for k in range(3)]

    def _map(self, src: Any, table: str, name: str) -> Any:
        """A hue/saturation(/value) map applied to src's tuple."""
        hl, x, y = self.hl, self.x, self.y
        vals, hues, sats = self.shapes[table]
        r, g, b = (src[x, y][k] for k in range(3))
        mx, mn = hl.max(r, hl.max(g, b)), hl.min(r, hl.min(g, b))
        d = mx - mn
        safe = hl.select(d > 0, d, self._c(1))
        hue = hl.select(r == mx, (g - b) / safe, hl.select(g == mx, (b - r) / safe + 2, (r - g) / safe + 4))
        hue = hl.select(d > 0, hl.select(hue < 0, hue + 6, hue), self._c(0))
        sat = hl.select(d > 0, d / hl.select(mx > 0, mx, self._c(1)), self._c(0))
        u = hue * self._c(hues / 6.0)
        hi = hl.clamp(hl.i32(u), 0, hues - 1)
        fh = u - hl.f32(hi)
        hn = (hi + 1) % hues  # the hue wraps; a modulo lets Halide bound the index
        o = sat * self._c(sats - 1)
        si = hl.clamp(hl.i32(o), 0, sats - 2)
        fs = o - hl.f32(si)
        t = self.buffers[table]
        if vals > 1:
            tv = hl.clamp(mx, 0.0, 1.0) * self._c(vals - 1)
            vi = hl.clamp(hl.i32(tv), 0, vals - 2)
            fv = tv - hl.f32(vi)
            levels = [(vi, self._c(1) - fv), (vi + 1, fv)]
        else:
            levels = [(hl.i32(0), None)]
        point = []
        for k in range(3):
            total = None
            for v, weight in levels:
                lo = (self._c(1) - fs) * t[k, si, hi, v] + fs * t[k, si + 1, hi, v]
                up = (self._c(1) - fs) * t[k, si, hn, v] + fs * t[k, si + 1, hn, v]
                at = (self._c(1) - fh) * lo + fh * up
                total = at if weight is None else (weight * at if total is None else total + weight * at)
            point.append(total)
        h2 = hue + point[0] / self._c(60)
        h2 = hl.select(h2 >= 6, h2 - 6, hl.select(h2 < 0, h2 + 6, h2))
        s2 = hl.min(sat * point[1], 1.0)
        v2 = hl.clamp(mx * point[2], 0.0, 1.0)
        channels = []
        for shift in (5.0, 3.0, 1.0):
            k = h2 + self._c(shift)
            k = hl.select(k >= 6, k - 6, k)
            w = hl.clamp(hl.min(k, 4 - k), 0.0, 1.0)
            channels.append(v2 - v2 * s2 * w)
        f = hl.Func(name)
        f[x, y] = hl.Tuple(channels)
        return f

    def _stages(self) -> list[Any]:
        hl, x, y, rgb = self.hl, self.x, self.y, self.rgb
        clip = [hl.min(rgb[c, x, y], self._c(CLIP_MAX[c])) for c in range(3)]
        camera = hl.Func("camera")
        camera[x, y] = hl.Tuple([hl.clamp(v, 0.0, 1.0) for v in self._matrix(CAMERA_TO_PROPHOTO, tuple(clip))])
        hue_sat = self._map(camera, "hue_sat", "hue_sat")
        exposed = hl.Func("exposed")
        exposed[x, y] = hl.Tuple([self._lookup("exposure", hue_sat[x, y][k], 65536) for k in range(3)])
        look = self._map(exposed, "look", "look")
        r, g, b = (hl.clamp(look[x, y][k], 0.0, 1.0) for k in range(3))
        top, low = hl.max(r, hl.max(g, b)), hl.min(r, hl.min(g, b))
        mid = hl.max(hl.min(r, g), hl.min(hl.max(r, g), b))
        top2, low2 = self._lookup("tone", top, 4096), self._lookup("tone", low, 4096)
        span = top - low
        mid2 = hl.select(span > self._c(1e-10), low2 + (top2 - low2) * (mid - low) / hl.select(span > self._c(1e-10), span, self._c(1)),
                         low2)
        toned = [hl.select(v == top, top2, hl.select(v == low, low2, mid2)) for v in (r, g, b)]
        shaped = hl.Func("shaped")
        shaped[x, y] = hl.Tuple([self._lookup("output", v, 4096) for v in self._matrix(PROPHOTO_TO_SRGB, tuple(toned))])
        return [camera, hue_sat, exposed, look, shaped]

    def _output(self, shaped: Any) -> Any:
        hl, x, y, c = self.hl, self.x, self.y, self.c
        out = hl.Func("profile_out")
        value = hl.select(c == 0, shaped[x, y][0], c == 1, shaped[x, y][1], shaped[x, y][2])
        out[c, x, y] = hl.u8(hl.clamp(value * self._c(255), 0.0, 255.0))
        return out

    def _schedule(self, stages: list[Any], vector: int) -> None:
        out, x, y, c = self.out, self.x, self.y, self.c
        out.bound(c, 0, 3).reorder(c, x, y).unroll(c).vectorize(x, vector)
        out.output_buffer().dim(0).set_stride(1).set_bounds(0, 3)
        self.rgb.dim(0).set_stride(1).set_bounds(0, 3)
        for stage in stages:
            stage.compute_at(out, y).vectorize(x, vector)

    def __call__(self, rgb: Image, out: NDArray[np.uint8]) -> NDArray[np.uint8]:
        hl = self.hl
        self.rgb.set(hl.Buffer(rgb))
        self.out.realize(hl.Buffer(out))
        return out
