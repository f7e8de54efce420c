"""Draws docs/dng-sample.png, the picture of docs/dng.md: the main job's sample
DNG developed without its opcode lists and camera profile (left: the colour
matrix alone, with the default look's base curve) and as the file says
(right: lens shading and distortion corrected, the profile's colours and
tone), side by side at half size.

    python tools/dng_sample_picture.py [docs/dng-sample.png]
"""

from __future__ import annotations

import argparse
import dataclasses
import os
import sys
import tempfile
from collections.abc import Sequence

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pyxa  # noqa: E402
from pyxa.color import profile_from_matrix  # noqa: E402
from pyxa.dng import read_dng  # noqa: E402
from sample_capture import SAMPLE_PROFILE, write_capture_dng  # noqa: E402

GAP = 8  # white columns between the two renderings


def half(rgb: np.ndarray) -> np.ndarray:
    """Each 2 x 2 block averaged (rounded), so the picture stays small."""
    h, w = rgb.shape[0] // 2 * 2, rgb.shape[1] // 2 * 2
    blocks = rgb[:h, :w].astype(np.uint32).reshape(h // 2, 2, w // 2, 2, 3).sum(axis=(1, 3))
    result: np.ndarray = ((blocks + 2) // 4).astype(np.uint8)
    return result


def renderings(path: str) -> tuple[np.ndarray, np.ndarray]:
    """The sample without its corrections and profile, and as the file says."""
    record = read_dng(path)
    assert SAMPLE_PROFILE.color_matrix2 is not None
    plain = dataclasses.replace(record, opcode_lists={},
                                profile=profile_from_matrix(SAMPLE_PROFILE.color_matrix2, 21))
    return pyxa.develop(plain, demosaic="ea_full"), pyxa.develop(record, demosaic="ea_full")


def main(argv: Sequence[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", nargs="?", default=os.path.join("docs", "dng-sample.png"))
    args = parser.parse_args(argv)
    with tempfile.TemporaryDirectory() as folder:
        before, after = renderings(write_capture_dng(os.path.join(folder, "sample.dng")))
    left, right = half(before), half(after)
    gap = np.full((left.shape[0], GAP, 3), 255, np.uint8)
    print(f"wrote {pyxa.write_image(args.out, np.concatenate([left, gap, right], axis=1), overwrite=True)}")


if __name__ == "__main__":
    main()
