#!/usr/bin/env bash
# The benchmark suite: builds the module with its peers (the optional "bench"
# extra: OpenCV, Halide) in build/bench and runs bench/run.py, which prints
# the table and writes docs/performance.md. Arguments go to bench/run.py
# (e.g. --quick, --only orientation, --repeat 9).
# `scripts/bench.sh --whole-files [--write ...]` runs bench/whole_files.py
# instead: whole raw files to JPEG, PNG and TIFF against rawpy + Pillow and
# three raw converters' command lines (installed from Debian when root).
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
EXTRAS=bench
[ "${1:-}" = "--whole-files" ] && EXTRAS=bench,cli
"$WORK/venv/bin/python" -m pip install -q --no-build-isolation -Cbuild-dir="$WORK/build" "$ROOT[$EXTRAS]"
if [ "${1:-}" = "--whole-files" ]; then
    shift
    "$WORK/venv/bin/python" -m pip install -q pillow
    exec "$WORK/venv/bin/python" "$ROOT/bench/whole_files.py" "$@"
fi
# The camera-pipe Halide peer also runs under Debian's Halide 14, which only
# Debian's own interpreter imports (with Debian's NumPy). Installed when we are
# root and it is missing; without it (not root, no network) the suite runs
# and its table says that build is not available.
if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null && [ -x /usr/bin/python3 ] \
        && ! /usr/bin/python3 -c "import halide, numpy" 2>/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q python3-halide python3-numpy >/dev/null \
        || echo "(python3-halide could not be installed: the Debian Halide column will say so)"
fi
"$WORK/venv/bin/python" "$ROOT/bench/run.py" "$@"
