"""Writing Bayer DNG files: the small files the tests make, through tifffile,
as files rawpy opens, and (through sample_capture) the sample capture the
main job develops. Development and test tooling, not part of the installed
package: run it by its path."""

from __future__ import annotations

import argparse
import os
from collections.abc import Sequence

import numpy as np

from pyxa._types import PathLike
from pyxa.raw import XYZ_FROM_SRGB

__all__ = ["write_dng", "simulate_capture", "write_sample_dng", "SAMPLE_XYZ_TO_CAMERA"]

# XYZ -> camera RGB under daylight, of the size and shape a DSLR's DNG carries
# (strong negative terms: the dyes overlap, so the sensor sees desaturated colour).
SAMPLE_XYZ_TO_CAMERA = np.array([[0.6461, -0.0907, -0.0882],
                                 [-0.4300, 1.2184, 0.2378],
                                 [-0.0819, 0.1944, 0.5931]])
CFA_CODES = {"R": 0, "G": 1, "B": 2}

# TIFF field types.
BYTE, ASCII, SHORT, LONG, RATIONAL, SRATIONAL = 1, 2, 3, 4, 5, 10


def _rational(values: Sequence[float] | np.ndarray, den: int = 1_000_000) -> tuple[int, ...]:
    pairs: list[int] = []
    for v in values:
        pairs += [int(round(float(v) * den)), den]
    return tuple(pairs)


def write_dng(path: PathLike, mosaic: np.ndarray, *, cfa: str = "RGGB",
              black: float | Sequence[float] = 0, white: int = 65535,
              xyz_to_camera: np.ndarray | None = None,
              as_shot_neutral: Sequence[float] | np.ndarray = (1.0, 1.0, 1.0),
              orientation: int = 1, model: str = "pyxa sample") -> None:
    """Writes a (H, W) uint16 Bayer mosaic as an uncompressed DNG.

    black : one level, or four for the sites of the 2x2 cell (row-major).
    xyz_to_camera : the DNG colour matrix (XYZ -> camera RGB, daylight).
    as_shot_neutral : the camera's reading of a neutral grey (the inverse of
        the as-shot white-balance gains). orientation : the TIFF tag, 1-8."""
    import tifffile

    mosaic = np.ascontiguousarray(mosaic, dtype=np.uint16)
    if mosaic.ndim != 2:
        raise ValueError(f"mosaic must be 2-D, got shape {mosaic.shape}")
    blacks = [float(b) for b in np.ravel(black)]
    matrix = SAMPLE_XYZ_TO_CAMERA if xyz_to_camera is None else np.asarray(xyz_to_camera, dtype=np.float64)
    tags = [
        (50706, BYTE, 4, (1, 4, 0, 0), True),                  # DNGVersion
        (50707, BYTE, 4, (1, 1, 0, 0), True),                  # DNGBackwardVersion
        (271, ASCII, 0, "pyxa", True),                         # Make
        (272, ASCII, 0, model, True),                          # Model
        (50708, ASCII, 0, model, True),                        # UniqueCameraModel
        (274, SHORT, 1, int(orientation), True),               # Orientation
        (33421, SHORT, 2, (2, 2), True),                       # CFARepeatPatternDim
        (33422, BYTE, 4, tuple(CFA_CODES[c] for c in cfa), True),  # CFAPattern
        (50710, BYTE, 3, (0, 1, 2), True),                     # CFAPlaneColor
        (50711, SHORT, 1, 1, True),                            # CFALayout: rectangular
        (50713, SHORT, 2, (2, 2) if len(blacks) == 4 else (1, 1), True),  # BlackLevelRepeatDim
        (50714, RATIONAL, len(blacks), _rational(blacks, 100), True),     # BlackLevel
        (50717, LONG, 1, int(white), True),                    # WhiteLevel
        (50721, SRATIONAL, 9, _rational(matrix.ravel(), 10_000), True),   # ColorMatrix1
        (50728, RATIONAL, 3, _rational(as_shot_neutral), True),  # AsShotNeutral
        (50778, SHORT, 1, 21, True),                           # CalibrationIlluminant1: D65
    ]
    tifffile.imwrite(os.fspath(path), mosaic, photometric=32803, extratags=tags, subfiletype=0)


def simulate_capture(photo: np.ndarray, *, cfa: str = "RGGB", black: int = 256, white: int = 4095,
                     xyz_to_camera: np.ndarray = SAMPLE_XYZ_TO_CAMERA, orientation: int = 1,
                     seed: int = 0) -> tuple[np.ndarray, np.ndarray]:
    """What a 12-bit camera records of an sRGB photograph.

    The photograph is linearised, taken to XYZ and through the camera's
    matrix, scaled so the camera's white just reaches the white level, turned
    so that ``orientation`` brings it back upright, mosaiced, given a little
    shot noise and quantised. Returns (mosaic, as_shot_neutral)."""
    srgb = photo[..., :3].astype(np.float64) / np.iinfo(photo.dtype).max
    linear = np.where(srgb <= 0.04045, srgb / 12.92, ((srgb + 0.055) / 1.055) ** 2.4)
    camera = linear @ (xyz_to_camera @ XYZ_FROM_SRGB).T
    neutral = xyz_to_camera @ XYZ_FROM_SRGB @ np.ones(3)
    camera /= neutral.max()
    neutral /= neutral.max()
    camera = _unturn(camera, orientation)
    h, w = camera.shape[0] // 2 * 2, camera.shape[1] // 2 * 2
    mosaic = np.empty((h, w))
    for i, colour in enumerate(cfa):
        dy, dx = divmod(i, 2)
        mosaic[dy::2, dx::2] = camera[dy:h:2, dx:w:2, CFA_CODES[colour]]
    electrons = np.clip(mosaic, 0, None) * 20000.0  # a full well of 20k electrons
    noisy = np.random.default_rng(seed).poisson(electrons) / 20000.0
    counts = black + np.clip(noisy, 0, 1) * (white - black)
    return np.round(counts).astype(np.uint16), neutral


def _unturn(image: np.ndarray, orientation: int) -> np.ndarray:
    """The sensor image that ``orientation`` turns into ``image``."""
    undo = {1: lambda a: a, 2: np.fliplr, 3: lambda a: np.rot90(a, 2), 4: np.flipud,
            5: lambda a: a.transpose(1, 0, 2), 6: lambda a: np.rot90(a, 1),
            7: lambda a: np.rot90(a, 2).transpose(1, 0, 2), 8: lambda a: np.rot90(a, -1)}
    return np.ascontiguousarray(undo[orientation](image))


def write_sample_dng(path: PathLike, *, orientation: int = 6) -> str:
    """Writes the main job's sample: scikit-image's "coffee" photograph as a
    12-bit RGGB capture through a lens that shades and distorts it, held on
    its side, with a camera profile; developed as the file says it comes
    back to the photograph (see sample_capture)."""
    from sample_capture import write_capture_dng

    return write_capture_dng(path, orientation=orientation)


def main(argv: Sequence[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description="Writes the sample DNG: a simulated 12-bit capture of a photograph.")
    parser.add_argument("path", help="where to write the .dng")
    parser.add_argument("--orientation", type=int, default=6, choices=range(1, 9))
    args = parser.parse_args(argv)
    os.makedirs(os.path.dirname(os.path.abspath(args.path)), exist_ok=True)
    print(f"wrote {write_sample_dng(args.path, orientation=args.orientation)}")


if __name__ == "__main__":
    main()
