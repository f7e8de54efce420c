"""The files generated from the op table (the op reference and the builder's op
methods, whose docstrings are the reference text) are current."""

from pathlib import Path

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

