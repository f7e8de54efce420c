"""Develops a simulated 12-bit RGGB raw capture of a real photograph end to end.

The photograph (scikit-image's bundled "coffee" sample) is turned into what a
camera would record: linear light, a white-balance cast, a 2x2 RGGB mosaic,
black level 256 and white level 4095. One execute_graph call then develops it:
normalize_raw -> ea_demosaic -> matrix_3x3 -> transform_color -> orientation,
built with pyxa.Graph, and the result is written as a PNG next to a per-node
profile.
"""

import argparse
import pathlib

import numpy as np
from PIL import Image
from skimage import data

import pyxa

# Relative --out paths are the caller's (the current directory); the default
# lands in the repository's build/ folder wherever the script is run from.
DEFAULT_OUT = pathlib.Path(__file__).resolve().parents[1] / "build" / "example" / "developed.png"

BLACK, WHITE = 256.0, 4095.0
WB_GAINS = np.array([2.0, 1.0, 1.6], np.float32)  # the camera's cast, undone by the matrix


def srgb_to_linear(v: np.ndarray) -> np.ndarray:
    return np.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4)


def linear_to_srgb(v: np.ndarray) -> np.ndarray:
    return np.where(v <= 0.0031308, v * 12.92, 1.055 * np.power(v, 1 / 2.4) - 0.055)


def simulate_capture(rgb8: np.ndarray) -> np.ndarray:
    """sRGB photograph -> uint16 RGGB mosaic with black and white levels."""
    lin = srgb_to_linear(rgb8.astype(np.float64) / 255.0) / WB_GAINS
    h, w = (lin.shape[0] // 2) * 2, (lin.shape[1] // 2) * 2
    lin = lin[:h, :w]
    mosaic = np.empty((h, w), np.float64)
    mosaic[0::2, 0::2] = lin[0::2, 0::2, 0]
    mosaic[0::2, 1::2] = lin[0::2, 1::2, 1]
    mosaic[1::2, 0::2] = lin[1::2, 0::2, 1]
    mosaic[1::2, 1::2] = lin[1::2, 1::2, 2]
    return np.round(BLACK + mosaic * (WHITE - BLACK)).astype(np.uint16)


def development_graph(h: int, w: int) -> pyxa.Graph:
    """normalize_raw -> ea_demosaic -> matrix_3x3 -> transform_color -> orientation."""
    g = pyxa.Graph()
    raw = g.input((h, w), np.uint16)
    linear = g.normalize_raw(raw, black_level=BLACK, white_level=WHITE)
    rgb = g.ea_demosaic(linear, cfa_pattern="RGGB")
    balanced = g.matrix_3x3(rgb, matrix=np.diag(WB_GAINS))
    srgb = g.transform_color(balanced, dest_dtype=np.uint8, output_lut=linear_to_srgb(np.linspace(0.0, 1.0, 4096)))
    g.orientation(srgb, orientation=6)
    return g


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--out", type=pathlib.Path, default=DEFAULT_OUT,
                        help=f"where the PNG goes (default: {DEFAULT_OUT})")
    args = parser.parse_args()

    photo = data.coffee()
    mosaic = simulate_capture(photo)
    h, w = mosaic.shape
    graph = development_graph(h, w)
    developed = graph.run(mosaic, profile=True)

    out = args.out.resolve()
    out.parent.mkdir(parents=True, exist_ok=True)
    Image.fromarray(developed).save(out)

    # The developed image, turned back upright, should match the photograph.
    upright = np.rot90(developed, k=1).astype(np.float64)
    reference = photo[:h, :w].astype(np.float64)
    psnr = 10 * np.log10(255.0 ** 2 / np.mean((upright - reference) ** 2))
    print(f"developed {w}x{h} RGGB mosaic (12-bit) -> {out} ({developed.shape[1]}x{developed.shape[0]})")
    print(f"PSNR against the original photograph: {psnr:.1f} dB")
    for entry in graph.last_profile or []:
        print(f"  node {entry['node_id']} {entry['op']:<16} {entry['exclusive_ns'] / 1e6:8.3f} ms")


if __name__ == "__main__":
    main()
