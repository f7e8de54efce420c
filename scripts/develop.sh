#!/usr/bin/env bash
# The main job: builds the module into its own virtual environment and develops
# a raw file with the pyxa command, showing the progress bar and the per-node
# profile. Without arguments it first writes the sample DNG (a photograph
# turned into a 12-bit camera capture); with arguments they go to `pyxa develop`
# instead (for example: bash scripts/develop.sh your_photo.dng -o out).
set -euo pipefail
# The repository's own paths are absolute; the caller's stay relative to where
# they ran the script (no cd: `bash ~/pyxa/scripts/develop.sh photo.dng -o out`
# writes ./out).
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$ROOT/build/example
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
export PIP_DISABLE_PIP_VERSION_CHECK=1
PY=$WORK/venv/bin/python
if [ ! -x "$PY" ]; then
    python3 -m venv "$WORK/venv"
    "$PY" -m pip install -q scikit-build-core "numpy>=2" nlohmann-json==3.12.0 cmake ninja
fi
# The module, the pyxa command and what the sample needs (rawpy, tifffile,
# imagecodecs, pyexiv2, tqdm, matplotlib, scikit-image), all from the
# project's own extras.
"$PY" -m pip install -q --no-build-isolation -Cbuild-dir="$WORK/build" "$ROOT[sample]"
PYXA=$WORK/venv/bin/pyxa

if [ $# -gt 0 ]; then
    exec "$PYXA" develop "$@"
fi
"$PY" "$ROOT/tools/sample_dng.py" "$WORK/sample.dng"
"$PYXA" info "$WORK/sample.dng"
"$PYXA" develop "$WORK/sample.dng" -o "$WORK/developed" --bits 16 --overwrite \
    --profile "$WORK/developed/profile.svg"
