"""Graph dicts and test images for the benchmark suite: the development graph
and one-node graphs, all at a chosen size."""

import numpy as np

BLACK, WHITE = 256.0, 4095.0
MATRIX = np.array([[1.6, -0.4, -0.2], [-0.3, 1.5, -0.2], [0.0, -0.5, 1.5]], np.float32)
ITEMSIZE = {"uint8": 1, "uint16": 2, "float32": 4}
NP = {"uint8": np.uint8, "uint16": np.uint16, "float32": np.float32}


def gamma_table(n=4096):
    v = np.linspace(0.0, 1.0, n)
    return np.where(v <= 0.0031308, v * 12.92, 1.055 * v ** (1 / 2.4) - 0.055).astype(np.float32)


def make_mosaic(h, w, seed=1):
    """A smooth 12-bit scene with noise, as a uint16 RGGB mosaic."""
    rng = np.random.default_rng(seed)
    y = np.arange(h, dtype=np.float32)[:, None]
    x = np.arange(w, dtype=np.float32)[None, :]
    smooth = 0.5 + 0.4 * np.sin(x / 97.0) * np.cos(y / 71.0)
    smooth += rng.normal(0.0, 0.02, (h, w)).astype(np.float32)
    return np.clip(BLACK + smooth * (WHITE - BLACK), 0, 4095).astype(np.uint16)


def make_rgb(h, w, seed=2):
    """A float32 RGB image in [0, 1] with some values just outside."""
    rng = np.random.default_rng(seed)
    return rng.uniform(-0.02, 1.02, (h, w, 3)).astype(np.float32)


def desc(tid, dtype, h, w, channels):
    return {"id": tid, "dtype": dtype, "height": h, "width": w, "channels": channels,
            "stride": w * channels * ITEMSIZE[dtype]}


def desc_of(tid, array):
    h, w = array.shape[:2]
    c = array.shape[2] if array.ndim == 3 else 1
    return desc(tid, {np.uint8: "uint8", np.uint16: "uint16", np.float32: "float32"}[array.dtype.type], h, w, c)


def raw_levels():
    return {"black_repeat_rows": 2, "black_repeat_cols": 2, "samples_per_pixel": 1,
            "black_level": [BLACK] * 4, "white_level": [WHITE]}


def develop_graph(h, w, lut, demosaic="bilinear_demosaic", fast=None, dest="uint8"):
    """uint16 RGGB -> normalize_raw -> demosaic -> matrix_3x3 -> transform_color
    (output table) -> uint8 (or `dest`) RGB."""
    dem_attrs = {"cfa_pattern": "RGGB"}
    if fast is not None:
        dem_attrs["fast"] = fast
    return {
        "tensor_descs": [desc(0, "uint16", h, w, 1), desc(1, "float32", h, w, 1), desc(2, "float32", h, w, 3),
                         desc(3, "float32", h, w, 3), desc(4, dest, h, w, 3)],
        "inputs": [0], "outputs": [4],
        "nodes": [
            {"id": 1, "op": "normalize_raw", "inputs": [0], "outputs": [1], "attrs": raw_levels()},
            {"id": 2, "op": demosaic, "inputs": [1], "outputs": [2], "attrs": dem_attrs},
            {"id": 3, "op": "matrix_3x3", "inputs": [2], "outputs": [3], "attrs": {"matrix": MATRIX.ravel()}},
            {"id": 4, "op": "transform_color", "inputs": [3], "outputs": [4],
             "attrs": {"dest_dtype": dest, "src_bits": 0, "dst_bits": 8 * ITEMSIZE[dest], "hue_preserving": 0,
                       "output_lut": lut}},
        ],
    }


def one_node(op, src, dst, attrs):
    """Tensor 0 (src, or None for a node without input) -> op -> tensor 1 (dst)."""
    descs = [desc_of(1, dst)] if src is None else [desc_of(0, src), desc_of(1, dst)]
    return {"tensor_descs": descs, "inputs": [] if src is None else [0], "outputs": [1],
            "nodes": [{"id": 1, "op": op, "inputs": [] if src is None else [0], "outputs": [1],
                       "attrs": attrs}]}
