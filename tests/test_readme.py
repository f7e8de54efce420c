"""Every Python block of the README runs as a user would paste it: saved as a
script and run in a folder that holds the small files it names (a DNG, a DCP
profile, a card of DNGs)."""

import os
import re
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

pytest.importorskip("rawpy")
pytest.importorskip("tifffile")
pytest.importorskip("cv2")
pyxa = pytest.importorskip("pyxa")
from dng_writer import write_dcp  # noqa: E402
from sample_dng import write_dng  # noqa: E402

ROOT = Path(__file__).resolve().parents[1]
BLOCKS = re.findall(r"```python\n(.*?)```", (ROOT / "README.md").read_text(encoding="utf-8"), flags=re.S)


def dng(path, seed):
    mosaic = np.random.default_rng(seed).integers(300, 3900, size=(48, 64), dtype=np.uint16)
    write_dng(path, mosaic, black=256, white=4095, as_shot_neutral=(0.5, 1.0, 0.7))


@pytest.fixture
def folder(tmp_path):
    dng(tmp_path / "your_photo.dng", 0)
    (tmp_path / "card").mkdir()
    for i in range(2):
        dng(tmp_path / "card" / f"img{i}.dng", i + 1)
    # A one-illuminant profile with the colour matrix the sample DNGs carry.
    write_dcp(tmp_path / "camera.dcp", ProfileName="test", CalibrationIlluminant1=21,
              ColorMatrix1=[0.6461, -0.0907, -0.0882, -0.4300, 1.2184, 0.2378, -0.0819, 0.1944, 0.5931])
    return tmp_path


@pytest.mark.parametrize("block", BLOCKS, ids=[f"block{i}" for i in range(len(BLOCKS))])
def test_readme_block_runs_as_a_script(folder, block):
    script = folder / "block.py"
    script.write_text(block, encoding="utf-8")
    # The caller's environment (a sanitizer run's preload and options) with
    # this test's module path, as a user's shell would hand it on.
    done = subprocess.run([sys.executable, str(script)], cwd=folder, capture_output=True, text=True, timeout=600,
                          env={**os.environ, "PYTHONPATH": ":".join(sys.path)})
    assert done.returncode == 0, done.stderr[-3000:]
