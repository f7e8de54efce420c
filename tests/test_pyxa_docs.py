"""The files generated from the op table (the op reference, the builder's op
methods, whose docstrings are the reference text, the engine's attribute rows
and the opcodes' schemas) are current, and the README's builder example runs."""

import re
from pathlib import Path

import numpy as np

import pytest

import generate_ops  # tools/, on the path through conftest.py

ROOT = Path(__file__).resolve().parents[1]
GENERATED = generate_ops.outputs()


@pytest.mark.parametrize("path", GENERATED, ids=[str(p.relative_to(ROOT)) for p in GENERATED])
def test_generated_file_is_current(path):
    assert path.read_text(encoding="utf-8") == GENERATED[path], \
        f"{path.relative_to(ROOT)} is stale: run python tools/generate_ops.py"



def test_readme_builder_example_develops_to_srgb():
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    block = next(b for b in re.findall(r"```python\n(.*?)```", readme, flags=re.S) if "pyxa.Graph()" in b)
    scope: dict = {}
    exec(compile(block, "README.md", "exec"), scope)
    image = scope["image"]
    assert image.shape == scope["mosaic"].shape + (3,) and image.dtype == np.uint8
