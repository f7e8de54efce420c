"""Property test over generated calls (graphs, attributes, descriptions and
arrays, valid and mutated): see tests/fuzz_cases.py for what every case must
keep. PYXA_FUZZ_EXAMPLES sets the budget (the test command's sanitizer step
runs a few thousand; scripts/fuzz.sh runs long campaigns)."""

import os

import pytest

hypothesis = pytest.importorskip("hypothesis")
from hypothesis import HealthCheck, given, settings  # noqa: E402
from hypothesis import strategies as st  # noqa: E402

from fuzz_cases import HypothesisDraw, check_case, make_case  # noqa: E402

EXAMPLES = int(os.environ.get("PYXA_FUZZ_EXAMPLES", "150"))


@settings(max_examples=EXAMPLES, deadline=None, database=None, derandomize=True,
          suppress_health_check=list(HealthCheck))
@given(st.data())
def test_generated_calls_keep_the_promise(data):
    case = make_case(HypothesisDraw(data))
    if case is not None:
        check_case(case)
