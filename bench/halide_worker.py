"""A Halide peer in a process of its own: the interpreter that has a given
Halide build (the bench venv's PyPI wheel, or Debian's python3-halide under
/usr/bin/python3) runs this file, and bench/worker_client.py talks to it.

Protocol: one JSON object per line on stdin, one JSON reply per line on
stdout; every reply has "ok", and "error" when ok is false. Commands:
  hello                       -> halide (version), target, python
  setup  pipeline, options?, height, width, mosaic, lut
                              -> compile_s; the mosaic (raw uint16, row-major)
                                 and the table (raw float32) are read once
                                 from the named files into this process
  run                         -> seconds, cpu_seconds (one call of the
                                 compiled pipeline, timed here so the pipe's
                                 latency stays out; wall and thread CPU time)
  save   path                 -> writes the last output (raw uint8, H x W x 3)
  quit
Anything a library prints goes to stderr: stdout carries only replies."""

from __future__ import annotations

import json
import os
import subprocess
import sys
import time
import traceback
from pathlib import Path
from typing import TYPE_CHECKING, Any, Callable

if TYPE_CHECKING:
    import numpy as np
    from numpy.typing import NDArray

    from halide_camera_pipe import CameraPipe

Reply = dict[str, Any]

os.environ["HL_NUM_THREADS"] = "1"  # read when the Halide runtime starts
sys.path.insert(0, str(Path(__file__).resolve().parent))

# NumPy and Halide are imported by the commands that need them, so a missing
# one comes back as the error of that command rather than a dead worker.
REPLIES = sys.stdout
sys.stdout = sys.stderr


def halide_version() -> str:
    """The wheel's version, else the Debian package's, else "unknown"."""
    try:
        from importlib.metadata import version
        return version("halide")
    except Exception:  # no package metadata: a distribution build
        pass
    try:
        done = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "python3-halide"],
                              capture_output=True, text=True, timeout=10)
        if done.returncode == 0 and done.stdout:
            return done.stdout.strip()
    except (OSError, subprocess.SubprocessError):
        pass
    return "unknown"


class Worker:
    """The state between commands: the compiled pipeline and its images."""

    def __init__(self) -> None:
        self.pipe: CameraPipe | None = None
        self.mosaic: NDArray[np.uint16] | None = None
        self.out: NDArray[np.uint8] | None = None

    def hello(self, _msg: Reply) -> Reply:
        import halide as hl  # type: ignore[import-untyped]
        trim_host_target(hl)
        return {"halide": halide_version(), "target": str(hl.get_jit_target_from_environment()),
                "python": sys.version.split()[0]}

    def setup(self, msg: Reply) -> Reply:
        import numpy as np
        h, w = int(msg["height"]), int(msg["width"])
        mosaic = np.fromfile(msg["mosaic"], dtype=np.uint16)
        if mosaic.size != h * w:
            raise ValueError(f"{msg['mosaic']}: expected {h} x {w} uint16 samples, found {mosaic.size}")
        lut = np.fromfile(msg["lut"], dtype=np.float32)
        t0 = time.perf_counter()
        self.pipe = make_pipeline(msg["pipeline"], lut, msg.get("options") or {})
        compile_s = time.perf_counter() - t0
        self.mosaic, self.out = mosaic.reshape(h, w), np.zeros((h, w, 3), np.uint8)
        return {"compile_s": compile_s}

    def run(self, _msg: Reply) -> Reply:
        if self.pipe is None or self.mosaic is None or self.out is None:
            raise RuntimeError("run before setup")
        c0, t0 = time.thread_time(), time.perf_counter()
        self.pipe(self.mosaic, self.out)
        t1, c1 = time.perf_counter(), time.thread_time()
        return {"seconds": t1 - t0, "cpu_seconds": c1 - c0}

    def save(self, msg: Reply) -> Reply:
        if self.out is None:
            raise RuntimeError("save before setup")
        self.out.tofile(msg["path"])
        return {}


# Feature sets an older Halide may claim from the processor's AVX-512 alone,
# with the flags of /proc/cpuinfo they need: Halide 14 calls a Zen 4 a
# Sapphire Rapids and its code then dies of an illegal instruction (the
# VEX-coded VNNI and the FP16 forms Zen 4 lacks).
NEEDED_FLAGS = {
    "avx512_sapphirerapids": ("avx512_bf16", "avx512_vnni", "avx_vnni", "avx512_fp16"),
}


def trim_host_target(hl: Any) -> None:
    """Unless HL_JIT_TARGET names a target, sets it to the host target without
    the features whose instructions this processor lacks."""
    if os.environ.get("HL_JIT_TARGET"):
        return
    try:
        with open("/proc/cpuinfo") as f:
            flags = set(next(ln for ln in f if ln.startswith("flags")).split(":", 1)[1].split())
    except (OSError, StopIteration):
        return
    features = str(hl.get_host_target()).split("-")
    kept = [ft for ft in features if all(flag in flags for flag in NEEDED_FLAGS.get(ft, ()))]
    if kept != features:
        os.environ["HL_JIT_TARGET"] = "-".join(kept)


def make_pipeline(name: str, lut: NDArray[np.float32], options: dict[str, Any]) -> CameraPipe:
    """The named pipeline, compiled; options are its keyword arguments."""
    if name == "camera_pipe":
        import halide_camera_pipe
        return halide_camera_pipe.CameraPipe(lut, **options)
    raise ValueError(f"unknown pipeline {name!r} (the worker runs camera_pipe)")


def main() -> None:
    worker = Worker()
    for line in sys.stdin:
        msg = json.loads(line)
        cmd = msg.get("cmd")
        if cmd == "quit":
            break
        try:
            handler: Callable[[Reply], Reply] = {"hello": worker.hello, "setup": worker.setup, "run": worker.run, "save": worker.save}[cmd]
            reply = {"ok": True, **handler(msg)}
        except Exception as e:  # the parent reports it; the worker stays up for the next command
            traceback.print_exc()
            reply = {"ok": False, "error": f"{type(e).__name__}: {e}"}
        REPLIES.write(json.dumps(reply) + "\n")
        REPLIES.flush()


if __name__ == "__main__":
    main()
