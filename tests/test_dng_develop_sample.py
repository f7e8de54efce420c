"""The main job's sample DNG (tools/sample_capture.py): a photograph taken
backwards through the rendering, a lens that shades and distorts it and a
sensor held on its side, develops back to the photograph when the file's
opcode lists and profile are applied, and visibly does not without them: a
flat grey comes out even only with the GainMaps, a grid's lines in place
only with the warp."""

import dataclasses

import numpy as np
import pytest

pytest.importorskip("tifffile")
import pyxa  # noqa: E402
from pyxa.dng import read_dng  # noqa: E402

from sample_capture import write_capture_dng  # noqa: E402


def grid_photo(h=120, w=180, step=20):
    photo = np.full((h, w, 3), 150, np.uint8)
    photo[::step] = photo[:, ::step] = (40, 60, 90)
    return photo


def develop(record):
    return pyxa.develop(record, demosaic="ea_full", dtype="float32")


def patch(rgb, y, x, size=8):
    return rgb[y:y + size, x:x + size].mean()


@pytest.fixture(scope="module")
def sample(tmp_path_factory):
    path = tmp_path_factory.mktemp("sample") / "grid.dng"
    return read_dng(write_capture_dng(path, photo=grid_photo(), orientation=6, seed=1))


def test_sample_develops_back_to_the_photograph(sample):
    rgb = develop(sample)
    photo = grid_photo().astype(np.float64) / 255
    assert rgb.shape == photo.shape
    # One-pixel lines cost the demosaic most of this (0.034); leaving out
    # either correction costs more than 0.055, a colour gone wrong far more.
    assert np.abs(rgb - photo).mean() < 0.045


def test_without_gain_maps_the_corners_fall_off(sample):
    plain = develop(dataclasses.replace(sample, opcode_lists={3: sample.opcode_lists[3]}))
    fixed = develop(sample)
    for rgb, lo, hi in ((fixed, 0.97, 1.03), (plain, 0.3, 0.8)):
        ratio = patch(rgb, 102, 162) / patch(rgb, 52, 82)
        assert lo < ratio < hi


def test_without_the_warp_the_grid_bends(sample):
    bent = develop(dataclasses.replace(sample, opcode_lists={2: sample.opcode_lists[2]}))
    straight = develop(sample)
    # A grid line near the corner lies at column 160 of the photograph.
    column = lambda rgb: int(np.argmin(rgb[95:105, 150:170, 0].mean(axis=0))) + 150  # noqa: E731
    assert column(straight) == 160 and column(bent) != 160
