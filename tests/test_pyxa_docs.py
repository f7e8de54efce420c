"""The files generated from the op table (the op reference and the builder's op
methods, whose docstrings are the reference text) are current, and the README's
builder example runs."""

import re
from pathlib import Path

import numpy as np

import pytest

from pyxa import _generate, _opdocs

ROOT = Path(__file__).resolve().parents[1]


@pytest.mark.parametrize("generated, text", [
    ("docs/ops.md", _opdocs.reference),
    ("python/pyxa/_ops.py", _generate.ops_source),
])
def test_generated_file_is_current(generated, text):
    path = ROOT / generated
    assert path.read_text(encoding="utf-8") == text(), f"{generated} is stale: run python -m pyxa._generate"



def test_readme_builder_example_develops_to_srgb():
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    block = next(b for b in re.findall(r"```python\n(.*?)```", readme, flags=re.S) if "pyxa.Graph()" in b)
    scope: dict = {}
    exec(compile(block, "README.md", "exec"), scope)
    image = scope["image"]
    assert image.shape == scope["mosaic"].shape + (3,) and image.dtype == np.uint8
