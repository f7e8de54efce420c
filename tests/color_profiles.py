"""Real camera profiles for the colour tests: the DCP files in ../shared/profiles
turned into pyxa.dng CameraProfile records with tifffile (tags only), and the
colour matrix that ../shared/raw/colorchart.dng carries. Tests skip with a
reason when the files or tifffile are absent."""

import logging
from pathlib import Path

import numpy as np
import pytest

from pyxa.dng.records import CameraProfile, ProfileTable

SHARED = Path(__file__).resolve().parents[1] / ".." / "shared"
PROFILES = SHARED / "profiles"
RAW = SHARED / "raw"

# IFD0 of colorchart.dng (a Canon EOS 550D frame): ColorMatrix1, no
# CalibrationIlluminant1, and AsShotNeutral as the file stores them.
COLORCHART_COLOR_MATRIX = np.array([[0.6461, -0.1164, -0.0857],
                                    [-0.3825, 1.1597, 0.2534],
                                    [-0.0416, 0.1540, 0.6039]])
COLORCHART_AS_SHOT_NEUTRAL = np.array([1.0, 2.477, 1.462])

_TAGS = {"ColorMatrix1": 50721, "ColorMatrix2": 50722, "Illuminant1": 50778, "Illuminant2": 50779,
         "ForwardMatrix1": 50964, "ForwardMatrix2": 50965, "HueSatMapDims": 50937, "HueSatMap1": 50938,
         "HueSatMap2": 50939, "ToneCurve": 50940, "LookDims": 50981, "Look": 50982, "HueSatEncoding": 51107,
         "LookEncoding": 51108, "BlackRender": 51110}


def _matrix(tags, name):
    if _TAGS[name] not in tags:
        return None
    v = np.asarray(tags[_TAGS[name]], dtype=np.float64)
    return (v[0::2] / v[1::2] if v.size == 18 else v).reshape(3, 3)


def _table(tags, dims, data, encoding):
    if _TAGS[data] not in tags:
        return None
    h, s, v = tags[_TAGS[dims]]
    values = np.asarray(tags[_TAGS[data]], dtype=np.float32).reshape(v, h, s, 3)
    return ProfileTable(int(h), int(s), int(v), values, int(tags.get(_TAGS[encoding], 0)))


def load_dcp(name):
    """The CameraProfile of ../shared/profiles/<name>.dcp."""
    tifffile = pytest.importorskip("tifffile")
    path = PROFILES / f"{name}.dcp"
    if not path.is_file():
        pytest.skip(f"{path} is absent (camera profiles live in ../shared/profiles beside the project)")
    logging.getLogger("tifffile").setLevel(logging.CRITICAL)  # a DCP has no image data, which tifffile notes
    with tifffile.TiffFile(path) as tif:
        tags = {tag.code: tag.value for tag in tif.pages[0].tags.values()}
    curve = tags.get(_TAGS["ToneCurve"])
    return CameraProfile(
        name=name, illuminant1=int(tags.get(_TAGS["Illuminant1"], 0)),
        illuminant2=int(tags.get(_TAGS["Illuminant2"], 0)),
        color_matrix1=_matrix(tags, "ColorMatrix1"), color_matrix2=_matrix(tags, "ColorMatrix2"),
        forward_matrix1=_matrix(tags, "ForwardMatrix1"), forward_matrix2=_matrix(tags, "ForwardMatrix2"),
        hue_sat_map1=_table(tags, "HueSatMapDims", "HueSatMap1", "HueSatEncoding"),
        hue_sat_map2=_table(tags, "HueSatMapDims", "HueSatMap2", "HueSatEncoding"),
        look_table=_table(tags, "LookDims", "Look", "LookEncoding"),
        tone_curve=None if curve is None else np.asarray(curve, dtype=np.float64).reshape(-1, 2),
        default_black_render=tags.get(_TAGS["BlackRender"]), source=str(path))


DCP_NAMES = ["canon_eos_550d", "pentax_k50", "canon_eos_100d"]
