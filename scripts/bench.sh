#!/usr/bin/env bash
# The benchmark suite: builds the module with its peers (the optional "bench"
# extra: OpenCV, Halide) in build/bench and runs bench/run.py, which prints
# the table and writes docs/performance.md. Arguments go to bench/run.py
# (e.g. --quick, --only orientation, --repeat 9).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/bench
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
export PIP_DISABLE_PIP_VERSION_CHECK=1
if [ ! -x "$WORK/venv/bin/python" ]; then
    python3 -m venv "$WORK/venv"
    "$WORK/venv/bin/python" -m pip install -q scikit-build-core "numpy>=2" nlohmann-json==3.12.0 cmake ninja
fi
"$WORK/venv/bin/python" -m pip install -q --no-build-isolation -Cbuild-dir="$WORK/build" "$ROOT[bench]"
"$WORK/venv/bin/python" "$ROOT/bench/run.py" "$@"
