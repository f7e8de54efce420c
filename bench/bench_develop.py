"""Benchmark of the typical raw development graph against the same pipeline in NumPy.

uint16 RGGB 12-bit mosaic -> normalize_raw -> bilinear_demosaic -> matrix_3x3 ->
transform_color (4096-entry output table) -> uint8 RGB, at 6000 x 4000 by default.
Both run in this process on this machine; the figures that matter are the
ratio and the extra memory, since absolute times drift with machine load.

    python bench/bench_develop.py [--width 6000 --height 4000 --repeat 3]
"""

import argparse
import time

import numpy as np

import _pyxa

BLACK, WHITE = 256.0, 4095.0
MATRIX = np.array([[1.6, -0.4, -0.2], [-0.3, 1.5, -0.2], [0.0, -0.5, 1.5]], np.float32)


def gamma_table():
    v = np.linspace(0.0, 1.0, 4096)
    return np.where(v <= 0.0031308, v * 12.92, 1.055 * v ** (1 / 2.4) - 0.055).astype(np.float32)


def make_mosaic(h, w, seed=1):
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    smooth = 0.5 + 0.4 * np.sin(x / 97.0) * np.cos(y / 71.0)
    noise = rng.normal(0.0, 0.02, (h, w)).astype(np.float32)
    return np.clip(BLACK + (smooth + noise) * (WHITE - BLACK), 0, 4095).astype(np.uint16)


def graph(h, w, lut):
    def desc(tid, dtype, channels, size):
        return {"id": tid, "dtype": dtype, "height": h, "width": w, "channels": channels,
                "stride": w * channels * size}

    return {
        "tensor_descs": [desc(0, "uint16", 1, 2), desc(1, "float32", 1, 4), desc(2, "float32", 3, 4),
                         desc(3, "float32", 3, 4), desc(4, "uint8", 3, 1)],
        "inputs": [0], "outputs": [4],
        "nodes": [
            {"id": 1, "op": "normalize_raw", "inputs": [0], "outputs": [1],
             "attrs": {"black_repeat_rows": 2, "black_repeat_cols": 2, "samples_per_pixel": 1,
                       "black_level": [BLACK] * 4, "white_level": [WHITE]}},
            {"id": 2, "op": "bilinear_demosaic", "inputs": [1], "outputs": [2], "attrs": {"cfa_pattern": "RGGB"}},
            {"id": 3, "op": "matrix_3x3", "inputs": [2], "outputs": [3], "attrs": {"matrix": MATRIX.ravel()}},
            {"id": 4, "op": "transform_color", "inputs": [3], "outputs": [4],
             "attrs": {"dest_dtype": "uint8", "src_bits": 0, "dst_bits": 8, "hue_preserving": 0,
                       "output_lut": lut}},
        ],
    }


def numpy_pipeline(mosaic, lut):
    """The same development written as vectorised NumPy in float32."""
    x = (mosaic.astype(np.float32) - np.float32(BLACK)) * np.float32(1.0 / (WHITE - BLACK))
    np.clip(x, 0.0, 1.0, out=x)
    p = np.pad(x, 1, mode="reflect")
    h, w = x.shape
    c = lambda dy, dx: p[1 + dy:1 + dy + h, 1 + dx:1 + dx + w]  # noqa: E731
    cross = (c(0, -1) + c(0, 1) + (c(-1, 0) + c(1, 0))) * np.float32(0.25)
    diag = (c(-1, -1) + c(-1, 1) + (c(1, -1) + c(1, 1))) * np.float32(0.25)
    horiz = (c(0, -1) + c(0, 1)) * np.float32(0.5)
    vert = (c(-1, 0) + c(1, 0)) * np.float32(0.5)
    rgb = np.empty((h, w, 3), np.float32)
    r, g, b = rgb[..., 0], rgb[..., 1], rgb[..., 2]
    # RGGB: red at (even, even), blue at (odd, odd).
    for (sy, sx), (rr, gg, bb) in {
        (0, 0): (x, cross, diag), (0, 1): (horiz, x, vert),
        (1, 0): (vert, x, horiz), (1, 1): (diag, cross, x),
    }.items():
        r[sy::2, sx::2] = rr[sy::2, sx::2]
        g[sy::2, sx::2] = gg[sy::2, sx::2]
        b[sy::2, sx::2] = bb[sy::2, sx::2]
    # Matrix as three weighted sums per channel, clamped; then the output table
    # looked up by interpolation at position z * (n - 1).
    table = np.append(lut, lut[-1]).astype(np.float32)
    scale = np.float32(len(lut) - 1)
    out = np.empty((h, w, 3), np.uint8)
    for k in range(3):
        z = MATRIX[k, 0] * r + MATRIX[k, 1] * g
        z += MATRIX[k, 2] * b
        np.clip(z, 0.0, 1.0, out=z)
        z *= scale
        i = z.astype(np.int32)
        z -= i
        v = table[i]
        v += z * (table[i + 1] - v)
        v *= np.float32(255.0)
        out[..., k] = v
    return out


def rss_kib(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def reset_peak_rss():
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False


def best_of(fn, repeat):
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--width", type=int, default=6000)
    ap.add_argument("--height", type=int, default=4000)
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()
    h, w = args.height, args.width
    lut = gamma_table()
    mosaic = make_mosaic(h, w)
    out = np.ones((h, w, 3), np.uint8)  # pages touched, so the call adds no output pages to RSS
    g = graph(h, w, lut)

    before = rss_kib("VmRSS")
    peak_known = reset_peak_rss()
    _pyxa.execute_graph(g, {0: mosaic}, {4: out})
    extra_kib = rss_kib("VmHWM") - before if peak_known else None

    engine_s = best_of(lambda: _pyxa.execute_graph(g, {0: mosaic}, {4: out}), args.repeat)
    numpy_s = best_of(lambda: numpy_pipeline(mosaic, lut), max(1, args.repeat - 1))
    reference = numpy_pipeline(mosaic, lut)
    diff = int(np.abs(out.astype(np.int16) - reference.astype(np.int16)).max())

    mpx = h * w / 1e6
    print(f"develop {w}x{h} ({mpx:.1f} Mpx): normalize_raw -> bilinear_demosaic -> matrix_3x3 -> transform_color")
    print(f"  pyxa   {engine_s * 1e3:9.1f} ms  {mpx / engine_s:8.1f} Mpx/s")
    print(f"  numpy  {numpy_s * 1e3:9.1f} ms  {mpx / numpy_s:8.1f} Mpx/s")
    print(f"  ratio  {numpy_s / engine_s:9.2f} x faster than NumPy")
    if extra_kib is not None:
        print(f"  peak memory added by execute_graph: {extra_kib / 1024:.2f} MiB")
    print(f"  largest difference to the NumPy result: {diff} (uint8 levels)")


if __name__ == "__main__":
    main()
