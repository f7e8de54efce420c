#!/usr/bin/env bash
# The main job: builds the module and develops a simulated raw capture of a
# real photograph end to end, writing build/example/developed.png.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/example
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
export PIP_DISABLE_PIP_VERSION_CHECK=1
if [ ! -x "$WORK/venv/bin/python" ]; then
    python3 -m venv "$WORK/venv"
    "$WORK/venv/bin/python" -m pip install -q scikit-build-core "numpy>=2" nlohmann-json==3.12.0 \
        cmake ninja scikit-image pillow
fi
"$WORK/venv/bin/python" -m pip install -q --no-build-isolation -Cbuild-dir="$WORK/build" "$ROOT"
"$WORK/venv/bin/python" "$ROOT/examples/develop_raw.py" --out "$WORK/developed.png" "$@"
