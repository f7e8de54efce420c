"""Property test of the DNG development against hostile metadata: DNGs (and
DCPs) whose opcode lists, ProfileGainTableMap and profile tags are mutated
(tools/dng_mutate.py) develop into an image or raise RawFileError naming the
file, nothing else; see tests/dng_fuzz_cases.py. PYXA_FUZZ_EXAMPLES sets the
budget, as for the engine's fuzz test; scripts/fuzz.sh runs long campaigns."""

import os

import pytest

hypothesis = pytest.importorskip("hypothesis")
pytest.importorskip("tifffile")
pytest.importorskip("imagecodecs")
from hypothesis import HealthCheck, given, settings  # noqa: E402
from hypothesis import strategies as st  # noqa: E402

from dng_fuzz_cases import base_files, check_dng_case, make_dng_case  # noqa: E402
from fuzz_cases import HypothesisDraw, RandomDraw  # noqa: E402

EXAMPLES = int(os.environ.get("PYXA_FUZZ_EXAMPLES", "150"))


@pytest.mark.parametrize("base", ["cfa", "linear"])
def test_base_files_develop_through_every_list(base):
    """Unmutated, both bases develop: every opcode of their lists maps."""
    case = make_dng_case(RandomDraw(0))
    case.update(base=base, data=base_files()[base], dcp=None,
                choices={"look": "profile", "demosaic": "ea", "dtype": "uint8", "wb": "camera"})
    assert check_dng_case(case) == "developed"


@settings(max_examples=EXAMPLES, deadline=None, database=None, derandomize=True,
          suppress_health_check=list(HealthCheck))
@given(st.data())
def test_mutated_files_develop_or_raise_raw_file_error(data):
    check_dng_case(make_dng_case(HypothesisDraw(data)))
