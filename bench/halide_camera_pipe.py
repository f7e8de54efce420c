"""The development graph as a camera-pipe shaped Halide pipeline (Python JIT),
the strongest hand-made peer we could schedule. It runs under any Halide from
14 on, in a worker process of its own (bench/halide_worker.py).

Algorithm. The mosaic and the output are handed to Halide as 2x2 blocks: the
(H, W) uint16 mosaic as raw[px, bx, py, by] and the (H, W, 3) uint8 image as
out[k, bx, py, by] with k = 3 * px + channel, both plain views of the NumPy
arrays (even sizes only). The CFA phase (px, py) is a loop variable of extent
2 that the schedule unrolls, so each site's formula is fixed at compile time
and no per-pixel parity select survives. The mosaic is split once into its
four quarter-resolution planes (r; g_r, green on a red row; g_b, green on a
blue row; b), each sample normalised once. Edges: the quarter planes repeat
their first and last block, which for even sizes is the mosaic mirrored about
its first and last rows and columns (the engine's bilinear edge rule); the
repeat is applied to the mosaic before the planes, so the planes exist for
every block and Halide can fold their storage. Each site averages quarter-plane
neighbours in the engine's order of additions; matrix, clamp, interpolated
output table and the uint8 store are fused. The table is read as a value
table and a slope table, both scaled by 255: one multiply-add per value and no
multiply after. Halide may contract that and the matrix into fused
multiply-adds, and value + f * slope rounds differently from the engine's
(1 - f) * a + f * b, so the image equals the engine's within one level (the
suite checks it when it starts).

Schedule. Strips of 32 output rows (16 block rows); inside a strip, one block
row at a time: the four planes are computed a row at a time (compute_at the
block row, store_at the strip), so Halide slides the window and folds each
plane into a rolling buffer of the two rows its readers need; then both output
rows of the block row are written with 8-wide vectors along bx, phase and
channel unrolled. The output's inner strides (1 and 6 bytes) and the mosaic's
(1 and 2 samples) are declared, which lets Halide merge the six interleaved
stores of a vector into dense ones and load the planes' samples as dense
vectors split by shuffles.

Schedules tried, 6000 x 4000, thread CPU time of the pipeline in interleaved
rounds against the engine (best of 5-7), on a 2-core AMD EPYC (Zen 3: AVX2,
no AVX-512) whose load average stayed between 4 and 7 from other workers'
builds, so absolute times are about twice a quiet machine's; the figures are
Halide 21 (PyPI) / Halide 14 (Debian) in ms, the engine took 132-141 ms in
the same rounds:
- output strides left unknown to Halide: 166-175 / 216-267. The six
  interleaved stores became scattered byte stores.
- the edge repeat on the planes rather than the mosaic: 72-75 / 123-130.
  The clamped reads stop Halide folding the plane storage (whole-strip
  planes, larger than the second-level cache); Halide 14 also lost its
  steady-state loop.
- chosen schedule (repeat on the mosaic, sliding window, 16 block rows, 8
  lanes): 68-74 / 74-80.
- 16 lanes: 67-71 / 75-76; strips of 4, 8 or 32 block rows: within 2% of 16.
- planes computed per strip (no sliding window): 73 / 76; planes inlined
  into each use (normalised at every read): 73 / 128.
- value and slope packed in one 64-bit entry (one load per lookup instead of
  two): 70-76 / 105-157. The lookups are scalar loads inserted into vectors
  in both builds (no gathers on this AVX2 target), and the 64-bit lanes cost
  more shuffles than the loads they save.
The table lookups dominate: three per pixel, each two scalar loads. In the
suite's own rounds (wall time, 7 rounds, load average 6), best / median: the
engine 203 / 290 ms, this pipeline 105 / 144 under Halide 21 and 119 / 154
under Halide 14, the first Halide peer (halide_develop.py) 217 / 309.
On a Zen 4 with AVX-512 (one thread, PyPI Halide 21, best of 9) this
pipeline took 54.5 ms, and 18.3 ms with the lookups replaced by a plain scale
to 255: its lookups cost about 36 ms, where the engine's output-table step
took 31.5 ms and its three steps before the table 24.5 ms."""

from typing import Any

import numpy as np
from numpy.typing import NDArray

import halide as hl  # type: ignore[import-untyped]

from graphs import BLACK, MATRIX, WHITE

Expr = Any  # Halide's expression type; the bindings carry no type information


def halide_buffer(array: NDArray[Any]) -> Any:
    """A Halide buffer over array with NumPy's axes reversed (the innermost,
    contiguous axis first). Halide 16 and later reverse by default; 14 keeps
    NumPy's order, so it is handed the transposed view."""
    try:
        return hl.Buffer(array, reverse_axes=True)
    except TypeError:
        return hl.Buffer(array.T)


def slope_tables(lut: NDArray[np.float32]) -> tuple[NDArray[np.float32], NDArray[np.float32]]:
    """(value, slope) tables scaled by 255: value[i] + f * slope[i] is the
    table interpolated at i + f; the last slope is 0, so the last position
    reads the last entry."""
    t = np.asarray(lut, np.float64) * 255.0
    return t.astype(np.float32), np.append(np.diff(t), 0.0).astype(np.float32)


class CameraPipe:
    """Compiled once; __call__(mosaic, out) fills out (H, W, 3) uint8 from the
    (H, W) uint16 RGGB mosaic, both even-sized."""

    def __init__(self, lut: NDArray[np.float32], vector: int = 8, strip_blocks: int = 16) -> None:
        value, slope = slope_tables(lut)
        self.value, self.slope = hl.Buffer(value), hl.Buffer(slope)
        self.vector, self.strip_blocks = vector, strip_blocks
        self.raw = hl.ImageParam(hl.UInt(16), 4, "raw")
        self.bx, self.by = hl.Var("bx"), hl.Var("by")
        self.planes = self._planes()
        self.out = self._algorithm(len(lut))
        self._schedule()
        self.out.compile_jit(hl.get_jit_target_from_environment())

    def _planes(self) -> list[Any]:
        """The four normalised quarter planes r, g_r, g_b, b, defined for every
        block: the mosaic's blocks repeat at its edges."""
        bx, by, raw = self.bx, self.by, self.raw
        edge = hl.BoundaryConditions.repeat_edge(
            raw, [hl.Range(0, 2), hl.Range(0, raw.dim(1).extent()), hl.Range(0, 2), hl.Range(0, raw.dim(3).extent())])
        scale, black = np.float32(1.0 / (WHITE - BLACK)), np.float32(BLACK)
        planes = []
        for name, px, py in (("r", 0, 0), ("g_r", 1, 0), ("g_b", 0, 1), ("b", 1, 1)):
            f = hl.Func(name)
            f[bx, by] = hl.clamp((hl.f32(edge[px, bx, py, by]) - black) * scale, 0.0, 1.0)
            planes.append(f)
        return planes

    def _site_colours(self) -> dict[tuple[int, int], tuple[Expr, Expr, Expr]]:
        """(red, green, blue) of each site (px, py) of block (x, y); additions
        in the engine's order: (left + right + (up + down)), diagonals as
        (up-left + up-right + (down-left + down-right))."""
        r, g_r, g_b, b = self.planes
        x, y = self.bx, self.by
        q, h = np.float32(0.25), np.float32(0.5)
        return {
            (0, 0): (hl.Expr(r[x, y]),
                     (g_r[x - 1, y] + g_r[x, y] + (g_b[x, y - 1] + g_b[x, y])) * q,
                     (b[x - 1, y - 1] + b[x, y - 1] + (b[x - 1, y] + b[x, y])) * q),
            (1, 0): ((r[x, y] + r[x + 1, y]) * h, hl.Expr(g_r[x, y]), (b[x, y - 1] + b[x, y]) * h),
            (0, 1): ((r[x, y] + r[x, y + 1]) * h, hl.Expr(g_b[x, y]), (b[x - 1, y] + b[x, y]) * h),
            (1, 1): ((r[x, y] + r[x + 1, y] + (r[x, y + 1] + r[x + 1, y + 1])) * q,
                     (g_b[x, y] + g_b[x + 1, y] + (g_r[x, y] + g_r[x, y + 1])) * q,
                     hl.Expr(b[x, y])),
        }

    def _algorithm(self, n: int) -> Any:
        sites = self._site_colours()
        last = np.float32(n - 1)
        m = [[np.float32(v) for v in row] for row in MATRIX]

        def shade(rgb: tuple[Expr, Expr, Expr], c: int) -> Expr:
            v = hl.clamp(m[c][0] * rgb[0] + m[c][1] * rgb[1] + m[c][2] * rgb[2], 0.0, 1.0) * last
            i = hl.i32(v)
            return hl.u8(self.value[i] + (v - hl.f32(i)) * self.slope[i])

        self.k, self.py = hl.Var("k"), hl.Var("py")
        # k = 3 * px + channel; py picks the block's row.
        values = [hl.select(self.py == 0, shade(sites[(px, 0)], c), shade(sites[(px, 1)], c))
                  for px in (0, 1) for c in range(3)]
        out = hl.Func("camera_pipe")
        out[self.k, self.bx, self.py, self.by] = hl.select(
            self.k == 0, values[0], self.k == 1, values[1], self.k == 2, values[2],
            self.k == 3, values[3], self.k == 4, values[4], values[5])
        return out

    def _schedule(self) -> None:
        k, bx, py, by, out, raw = self.k, self.bx, self.py, self.by, self.out, self.raw
        out.bound(k, 0, 6).bound(py, 0, 2)
        dst = out.output_buffer()
        dst.dim(0).set_bounds(0, 6).set_stride(1)
        dst.dim(1).set_stride(6)
        dst.dim(2).set_bounds(0, 2)
        raw.dim(0).set_bounds(0, 2).set_stride(1)
        raw.dim(1).set_stride(2)
        raw.dim(2).set_bounds(0, 2)
        byo, byi = hl.Var("byo"), hl.Var("byi")
        out.split(by, byo, byi, self.strip_blocks).reorder(k, bx, py, byi, byo)
        out.vectorize(bx, self.vector).unroll(k).unroll(py)
        for plane in self.planes:
            plane.store_at(out, byo).compute_at(out, byi).vectorize(bx, self.vector)

    def __call__(self, mosaic: NDArray[np.uint16], out: NDArray[np.uint8]) -> NDArray[np.uint8]:
        h, w = mosaic.shape
        if h % 2 or w % 2 or out.shape != (h, w, 3):
            raise ValueError(f"the camera pipe needs an even-sized mosaic and an (H, W, 3) output, got "
                             f"{mosaic.shape} and {out.shape}")
        if w // 2 < self.vector or h // 2 < self.strip_blocks:
            raise ValueError(f"the camera pipe needs at least {2 * self.strip_blocks} rows and "
                             f"{2 * self.vector} columns, got {h} x {w}")
        self.raw.set(halide_buffer(mosaic.reshape(h // 2, 2, w // 2, 2)))
        self.out.realize(halide_buffer(out.reshape(h // 2, 2, w // 2, 6)))
        return out
