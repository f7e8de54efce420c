#!/usr/bin/env bash
# Runs every test from a fresh machine: installs what is missing, builds the
# module, then runs pytest, the type checks, the C++ unit tests, the stable-ABI
# build under Python 3.12 and 3.13, and the pytest suite again under the
# sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/test
mkdir -p "$WORK"
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
export PIP_DISABLE_PIP_VERSION_CHECK=1
PY311=${PY311:-python3}
PY312=${PY312:-$HOME/.pyenv/versions/3.12.1/bin/python}
PY313=${PY313:-$HOME/.pyenv/versions/3.13.0/bin/python}
BUILD_DEPS=(scikit-build-core "numpy>=2" nlohmann-json==3.12.0 pytest cmake ninja)
# What the tests of raw files, image writers, the pyxa command and batches use
# (they skip without it, so every run installs it to keep them running).
# pypng and Pillow only read the written images back, as readers apart from
# the encoders (Pillow from 11.3 reads AVIF); colour-science is the colour
# tests' oracle.
TEST_DEPS=(rawpy tifffile imagecodecs pyexiv2 pypng "pillow>=11.3" tqdm "dask[distributed]" matplotlib scikit-image
           hypothesis colour-science opencv-python-headless)

step() { printf '\n== %s\n' "$*"; }

# quiet LOG CMD...: runs CMD, showing its output only when it fails.
quiet() {
    local log=$WORK/$1.log
    shift
    "$@" >"$log" 2>&1 || { cat "$log"; return 1; }
}

# venv NAME PYTHON: a virtual environment with the build and test dependencies.
venv() {
    local dir=$WORK/venv-$1
    if [ ! -x "$dir/bin/python" ]; then
        "$2" -m venv "$dir"
        "$dir/bin/python" -m pip install -q "${BUILD_DEPS[@]}"
    fi
    "$dir/bin/python" -m pip install -q "${TEST_DEPS[@]}" >&2
    echo "$dir/bin/python"
}

step "layers: every include points down (docs/architecture.md)"
"$PY311" "$ROOT/scripts/check_layers.py"

step "system packages (GoogleTest)"
if [ ! -f /usr/include/gtest/gtest.h ]; then
    if [ "$(id -u)" -ne 0 ]; then echo "GoogleTest is missing: install libgtest-dev" >&2; exit 1; fi
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev >/dev/null
fi

step "build and install the module (Python $($PY311 -c 'import sys; print(sys.version.split()[0])'))"
PY=$(venv 311 "$PY311")
"$PY" -m pip install -q --no-build-isolation -Cbuild-dir="$WORK/build-311" "$ROOT"

step "pytest"
(cd "$WORK" && "$PY" -m pytest -q -p no:cacheprovider "$ROOT/tests")

step "type checks: stubtest of _pyxa and pyxa, mypy --strict on the package and tools/, mypy on the examples, the README's code and tests/typing"
"$PY" -m pip install -q mypy
(cd "$WORK" && "$PY" -m mypy.stubtest --mypy-config-file "$ROOT/pyproject.toml" \
    --allowlist "$ROOT/scripts/stubtest_allowlist.txt" _pyxa pyxa)
(cd "$WORK" && "$PY" -m mypy --strict --config-file "$ROOT/pyproject.toml" "$ROOT/python/pyxa" "$ROOT/tools")
(cd "$WORK" && "$PY" "$ROOT/scripts/check_types.py")

step "C++ unit tests"
"$PY" -m cmake -S "$ROOT" -B "$WORK/ctest" -G Ninja -DPYXA_BUILD_TESTS=ON -DPython_EXECUTABLE="$PY" >/dev/null
quiet ctest-build "$PY" -m cmake --build "$WORK/ctest"
quiet ctest-run "$(dirname "$PY")/ctest" --test-dir "$WORK/ctest" --output-on-failure -j2
tail -n 3 "$WORK/ctest-run.log"

step "stable ABI: one build with Python 3.12, tested under 3.12 and 3.13"
PY12=$(venv 312 "$PY312")
rm -rf "$WORK/wheels"
"$PY12" -m pip wheel -q --no-build-isolation --no-deps -Cbuild-dir="$WORK/build-abi3" -w "$WORK/wheels" "$ROOT"
WHEEL=$(ls "$WORK"/wheels/pyxa-*-cp312-abi3-*.whl)
for v in 312 313; do
    PYV=$(venv "$v" "$([ $v = 312 ] && echo "$PY312" || echo "$PY313")")
    "$PYV" -m pip install -q --force-reinstall --no-deps "$WHEEL"
    "$PYV" -c 'import _pyxa; assert _pyxa.__file__.endswith(".abi3.so"), _pyxa.__file__; print("abi3 module:", _pyxa.__file__)'
    (cd "$WORK" && "$PYV" -m pytest -q -p no:cacheprovider "$ROOT/tests")
done

step "sanitizers (AddressSanitizer + UndefinedBehaviorSanitizer) on the pytest suite, with a larger fuzz budget"
"$PY" -m cmake -S "$ROOT" -B "$WORK/asan" -G Ninja -DPYXA_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPython_EXECUTABLE="$PY" >/dev/null
quiet asan-build "$PY" -m cmake --build "$WORK/asan" --target _pyxa
(cd "$WORK" && PYTHONPATH="$WORK/asan" PYTHONMALLOC=malloc PYXA_FUZZ_EXAMPLES=2000 \
    LD_PRELOAD="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)" \
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:allocator_may_return_null=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$PY" -m pytest -q -p no:cacheprovider "$ROOT/tests")

step "all tests passed"
