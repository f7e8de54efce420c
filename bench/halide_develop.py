"""The development graph written as a Halide pipeline (Python JIT): the peer a
user would write by hand with a compiled image language. Same arithmetic in
float32: normalise with one black level, bilinear demosaic of RGGB with
mirrored edges, 3x3 matrix, clamp, interpolated 4096-entry output table, uint8.

The schedule follows the camera pipeline example of that language: the mosaic
is split into its four colour planes at half resolution, the interpolation
runs on those planes per tile, every stage vectorises along x, and the
channels of the interleaved output are unrolled. It runs on one thread (no
parallel loops; HL_NUM_THREADS=1 is set by the caller before import)."""

import numpy as np

import halide as hl

from graphs import BLACK, MATRIX, WHITE


def _interleave_x(a, b):
    x, y = hl.Var("ix"), hl.Var("iy")
    f = hl.Func("interleave_x")
    f[x, y] = hl.select((x % 2) == 0, a[x // 2, y], b[x // 2, y])
    return f


def _interleave_y(a, b):
    x, y = hl.Var("jx"), hl.Var("jy")
    f = hl.Func("interleave_y")
    f[x, y] = hl.select((y % 2) == 0, a[x, y // 2], b[x, y // 2])
    return f


class HalideDevelop:
    """Compiled once; __call__(mosaic, out) fills out (H, W, 3) uint8."""

    def __init__(self, lut, vector=16, tile_w=128, tile_h=64, corrected_at_tile=True):
        self.mosaic = hl.ImageParam(hl.UInt(16), 2, "mosaic")
        table = np.append(lut, lut[-1]).astype(np.float32)
        self.table = hl.Buffer(table)
        x, y, c = hl.Var("x"), hl.Var("y"), hl.Var("c")
        qx, qy = hl.Var("qx"), hl.Var("qy")

        src = hl.BoundaryConditions.mirror_interior(self.mosaic)
        scale = np.float32(1.0 / (WHITE - BLACK))
        norm = hl.Func("norm")
        norm[x, y] = hl.clamp((hl.f32(src[x, y]) - np.float32(BLACK)) * scale, 0.0, 1.0)

        # The four colour planes of the RGGB quad, at half resolution.
        r_r, g_gr, g_gb, b_b = (hl.Func(n) for n in ("r_r", "g_gr", "g_gb", "b_b"))
        r_r[qx, qy] = norm[2 * qx, 2 * qy]
        g_gr[qx, qy] = norm[2 * qx + 1, 2 * qy]
        g_gb[qx, qy] = norm[2 * qx, 2 * qy + 1]
        b_b[qx, qy] = norm[2 * qx + 1, 2 * qy + 1]

        q, h = np.float32(0.25), np.float32(0.5)
        g_r, b_r = hl.Func("g_r"), hl.Func("b_r")
        g_r[qx, qy] = (g_gr[qx - 1, qy] + g_gr[qx, qy] + (g_gb[qx, qy - 1] + g_gb[qx, qy])) * q
        b_r[qx, qy] = (b_b[qx - 1, qy - 1] + b_b[qx, qy - 1] + (b_b[qx - 1, qy] + b_b[qx, qy])) * q
        r_gr, b_gr = hl.Func("r_gr"), hl.Func("b_gr")
        r_gr[qx, qy] = (r_r[qx, qy] + r_r[qx + 1, qy]) * h
        b_gr[qx, qy] = (b_b[qx, qy - 1] + b_b[qx, qy]) * h
        r_gb, b_gb = hl.Func("r_gb"), hl.Func("b_gb")
        r_gb[qx, qy] = (r_r[qx, qy] + r_r[qx, qy + 1]) * h
        b_gb[qx, qy] = (b_b[qx - 1, qy] + b_b[qx, qy]) * h
        r_b, g_b = hl.Func("r_b"), hl.Func("g_b")
        r_b[qx, qy] = (r_r[qx, qy] + r_r[qx + 1, qy] + (r_r[qx, qy + 1] + r_r[qx + 1, qy + 1])) * q
        g_b[qx, qy] = (g_gr[qx, qy] + g_gr[qx, qy + 1] + (g_gb[qx, qy] + g_gb[qx + 1, qy])) * q

        red = _interleave_y(_interleave_x(r_r, r_gr), _interleave_x(r_gb, r_b))
        green = _interleave_y(_interleave_x(g_r, g_gr), _interleave_x(g_gb, g_b))
        blue = _interleave_y(_interleave_x(b_r, b_gr), _interleave_x(b_gb, b_b))

        m = MATRIX
        corrected = hl.Func("corrected")
        corrected[x, y, c] = hl.clamp(hl.select(
            c == 0, hl.f32(float(m[0, 0])) * red[x, y] + hl.f32(float(m[0, 1])) * green[x, y] + hl.f32(float(m[0, 2])) * blue[x, y],
            c == 1, hl.f32(float(m[1, 0])) * red[x, y] + hl.f32(float(m[1, 1])) * green[x, y] + hl.f32(float(m[1, 2])) * blue[x, y],
            hl.f32(float(m[2, 0])) * red[x, y] + hl.f32(float(m[2, 1])) * green[x, y] + hl.f32(float(m[2, 2])) * blue[x, y]), 0.0, 1.0)

        last = np.float32(len(lut) - 1)
        pos = corrected[x, y, c] * last
        i = hl.clamp(hl.i32(pos), 0, len(lut) - 1)
        f = pos - hl.f32(i)
        tone = (np.float32(1) - f) * self.table[i] + f * self.table[i + 1]
        out = hl.Func("out")
        # NumPy's (H, W, 3) array is (c, x, y) to Halide: channels innermost.
        out[c, x, y] = hl.u8(hl.clamp(tone * np.float32(255.0), 0.0, 255.0))

        # Schedule: output tiles, channels unrolled, x vectorised; the quad
        # planes and the colour interpolation computed per tile.
        xo, yo, xi, yi = hl.Var("xo"), hl.Var("yo"), hl.Var("xi"), hl.Var("yi")
        out.bound(c, 0, 3).reorder(c, x, y).unroll(c)
        out.tile(x, y, xo, yo, xi, yi, tile_w, tile_h).vectorize(xi, vector)
        planes = (r_r, g_gr, g_gb, b_b)
        for p in planes:
            p.compute_at(out, xo).vectorize(qx, vector)
        for fn in (g_r, b_r, r_gr, b_gr, r_gb, b_gb, r_b, g_b):
            fn.compute_at(out, xo).vectorize(qx, vector)
        if corrected_at_tile:
            corrected.compute_at(out, xo).bound(c, 0, 3).reorder(c, x, y).unroll(c).vectorize(x, vector)
        out.output_buffer().dim(0).set_stride(1).set_bounds(0, 3)
        self.pipeline = out
        self.pipeline.compile_jit(hl.get_jit_target_from_environment())

    def __call__(self, mosaic, out):
        self.mosaic.set(hl.Buffer(mosaic))
        self.pipeline.realize(hl.Buffer(out))
        return out
