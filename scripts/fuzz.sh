#!/usr/bin/env bash
# Long fuzz campaign: bash scripts/fuzz.sh [MINUTES] (default 60).
# Builds the module, and again with AddressSanitizer and UndefinedBehaviorSanitizer,
# under build/fuzz; runs generated cases (execute_graph calls, and every fourth
# seed a DNG with mutated opcode lists and profile developed end to end;
# PYXA_FUZZ_KIND=engine|dng|both picks them) in a worker process at low priority
# (a crash or hang kills only the worker; its case is kept as a reproducer in
# build/fuzz/crashes/, replayable with scripts/fuzz_campaign.py --replay FILE);
# then the soak and size checks: refcounts and RSS over 100,000 mixed calls, a
# 100,000-node chain in a 256 KiB thread stack, an output over 2^31 bytes.
# PYXA_FUZZ_PLAIN=1 fuzzes the regular build instead (faster, no sanitizer reports);
# PYXA_FUZZ_WORK=DIR puts builds, logs and reproducers in DIR instead of build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=${PYXA_FUZZ_WORK:-$ROOT/build/fuzz}
MINUTES=${1:-60}
mkdir -p "$WORK"
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
export PIP_DISABLE_PIP_VERSION_CHECK=1

PY=$WORK/venv/bin/python
if [ ! -x "$PY" ]; then
    python3 -m venv "$WORK/venv"
    "$PY" -m pip install -q scikit-build-core "numpy>=2" nlohmann-json==3.12.0 pytest hypothesis cmake ninja
fi
# The DNG cases read and write files with tifffile and imagecodecs.
"$PY" -m pip install -q tifffile imagecodecs
echo "== build and install the module"
"$PY" -m pip install -q --no-build-isolation -Cbuild-dir="$WORK/build" "$ROOT" >"$WORK/build.log" 2>&1 ||
    { cat "$WORK/build.log"; exit 1; }

RUN=(nice -n 10 "$PY" "$ROOT/scripts/fuzz_campaign.py")
if [ "${PYXA_FUZZ_PLAIN:-0}" != 1 ]; then
    echo "== sanitizer build"
    "$PY" -m cmake -S "$ROOT" -B "$WORK/asan" -G Ninja -DPYXA_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPython_EXECUTABLE="$PY" >/dev/null
    "$PY" -m cmake --build "$WORK/asan" --target _pyxa >"$WORK/asan-build.log" 2>&1 ||
        { cat "$WORK/asan-build.log"; exit 1; }
    export PYTHONPATH=$WORK/asan PYTHONMALLOC=malloc
    export LD_PRELOAD="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:allocator_may_return_null=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
fi

echo "== $MINUTES minutes of generated cases (sanitizer reports: $WORK/worker-stderr.log)"
status=0
"${RUN[@]}" --minutes "$MINUTES" --out "$WORK" --kind "${PYXA_FUZZ_KIND:-both}" || status=1
echo "== soak and size checks"
"${RUN[@]}" --soak || status=1
"${RUN[@]}" --long-chain || status=1
"${RUN[@]}" --big-output || status=1
exit $status
