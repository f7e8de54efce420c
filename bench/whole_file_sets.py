"""The folders of raw files the whole-file benchmark develops: copies of the
shared colour chart (a real camera's DNG, 2 Mpx) and of a 24 Mpx DNG written
here from a simulated capture."""

import shutil
import sys
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parents[1]
CHART = ROOT / ".." / "shared" / "raw" / "colorchart.dng"
SIZE_24MPX = (4000, 6000)


def copies(source, folder, count):
    """`count` copies of `source` in `folder`, named as a camera would (IMG_0001.dng ...)."""
    folder.mkdir(parents=True, exist_ok=True)
    paths = []
    for i in range(count):
        path = folder / f"IMG_{i + 1:04d}{source.suffix.lower()}"
        shutil.copyfile(source, path)
        paths.append(path)
    return paths


def scene(height, width):
    """An sRGB photograph to simulate a capture of: the chart developed and
    enlarged when the shared files are there (real content, so the encoders
    see what they would in a photograph), else smooth coloured shapes."""
    if CHART.exists():
        import pyxa
        from pyxa.resize import resize
        photo = pyxa.develop(CHART, dtype="uint16", exposure=1.5)
        big = resize(photo, scale=max(height / photo.shape[0], width / photo.shape[1]) + 1e-3)
        return np.ascontiguousarray(big[:height, :width])
    y, x = np.mgrid[0:height, 0:width] / max(height, width)
    rgb = np.stack([0.5 + 0.4 * np.sin(9 * x), 0.5 + 0.4 * np.cos(7 * y), 0.4 + 0.3 * np.sin(5 * (x + y))], -1)
    for i in range(24):  # patches with hard edges, as a chart or a window frame has
        r0, c0 = (i // 6) * height // 5 + height // 10, (i % 6) * width // 7 + width // 14
        rgb[r0:r0 + height // 8, c0:c0 + width // 9] = [(i * k % 100) / 100 for k in (37, 61, 17)]
    return (np.clip(rgb, 0, 1) * 65535).astype(np.uint16)


def write_24mpx_dng(path):
    """A 6000 x 4000 12-bit RGGB DNG of `scene`, written by the project's own tool."""
    sys.path.insert(0, str(ROOT / "tools"))
    from sample_dng import SAMPLE_XYZ_TO_CAMERA, simulate_capture, write_dng

    mosaic, neutral = simulate_capture(scene(*SIZE_24MPX), orientation=1)
    write_dng(path, mosaic, cfa="RGGB", black=256, white=4095, xyz_to_camera=SAMPLE_XYZ_TO_CAMERA,
              as_shot_neutral=neutral, orientation=1, model="pyxa bench (24 Mpx)")
    return path


def make_sets(work, count):
    """{set name: (description, [paths])}, and the sets that could not be made with why."""
    sets, missing = {}, {}
    if CHART.exists():
        sets["chart"] = ("colorchart.dng, 1734 x 1156 (2.0 Mpx), 14-bit Canon DNG",
                         copies(CHART.resolve(), work / "chart", count))
    else:
        missing["chart"] = f"{CHART} is absent"
    source = write_24mpx_dng(work / "source-24mpx.dng")
    sets["24mpx"] = ("6000 x 4000 (24.0 Mpx), 12-bit DNG written by tools/sample_dng.py",
                     copies(source, work / "24mpx", count))
    return sets, missing
