"""The suite's side of a Halide worker (bench/halide_worker.py): start it under
a chosen interpreter, hand it the mosaic once through a file, run it as a
self-timed contender, and fetch its image for the check against the engine."""

import json
import os
import selectors
import subprocess
import sys
import tempfile
from pathlib import Path
from typing import IO, Any

import numpy as np
from numpy.typing import NDArray

WORKER = Path(__file__).resolve().parent / "halide_worker.py"
# Generous: compiling takes seconds on a quiet machine, many times that
# when the two cores are shared with compiler jobs.
REPLY_TIMEOUT_S = 600.0


class WorkerError(RuntimeError):
    """The worker could not start, answered with an error, or went away."""


class HalideWorker:
    """One worker process; request() sends a command and returns its reply."""

    def __init__(self, python: str, name: str) -> None:
        self.name = name
        self.stderr = tempfile.TemporaryFile(mode="w+")
        env = dict(os.environ, HL_NUM_THREADS="1", PYTHONNOUSERSITE="1")
        # The venv's own variables would lead another interpreter to our site-packages.
        env.pop("PYTHONPATH", None)
        env.pop("VIRTUAL_ENV", None)
        try:
            self.proc = subprocess.Popen([python, str(WORKER)], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=self.stderr, env=env, text=True, bufsize=1)
        except OSError as e:
            raise WorkerError(f"{name}: cannot start {python}: {e}") from e
        assert self.proc.stdin is not None and self.proc.stdout is not None  # both are pipes
        self.to_worker: IO[str] = self.proc.stdin
        self.from_worker: IO[str] = self.proc.stdout
        self.info = self.request("hello")

    def request(self, cmd: str, **fields: Any) -> dict[str, Any]:
        try:
            self.to_worker.write(json.dumps({"cmd": cmd, **fields}) + "\n")
            self.to_worker.flush()
        except (BrokenPipeError, OSError) as e:
            raise WorkerError(f"{self.name}: worker gone before {cmd!r}{self._stderr_tail()}") from e
        line = self._read_line(cmd)
        reply: dict[str, Any] = json.loads(line)
        if not reply.get("ok"):
            raise WorkerError(f"{self.name}: {cmd} failed: {reply.get('error')}{self._stderr_tail()}")
        return reply

    def _read_line(self, cmd: str) -> str:
        with selectors.DefaultSelector() as sel:
            sel.register(self.from_worker, selectors.EVENT_READ)
            if not sel.select(REPLY_TIMEOUT_S):
                self.close()
                raise WorkerError(f"{self.name}: no reply to {cmd!r} within {REPLY_TIMEOUT_S:.0f} s")
        line = self.from_worker.readline()
        if not line:
            self.proc.wait(timeout=10)
            raise WorkerError(f"{self.name}: worker exited ({self.proc.returncode}) during {cmd!r}"
                              f"{self._stderr_tail()}")
        return line

    def _stderr_tail(self) -> str:
        self.stderr.seek(0)
        lines = [ln for ln in self.stderr.read().splitlines() if ln.strip()]
        return (":\n    " + "\n    ".join(lines[-6:])) if lines else ""

    def timed_run(self) -> float:
        """One pipeline call; its seconds as measured inside the worker."""
        return float(self.request("run")["seconds"])

    def image(self, h: int, w: int) -> NDArray[np.uint8]:
        """The worker's last output as an (h, w, 3) uint8 array."""
        with tempfile.TemporaryDirectory(dir=shared_memory_dir()) as d:
            path = os.path.join(d, "out.u8")
            self.request("save", path=path)
            return np.fromfile(path, dtype=np.uint8).reshape(h, w, 3)

    def close(self) -> None:
        if self.proc.poll() is None:
            try:
                self.to_worker.write('{"cmd": "quit"}\n')
                self.to_worker.flush()
                self.proc.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()
        self.stderr.close()


def shared_memory_dir() -> str | None:
    """/dev/shm when there is one (the hand-over never touches a disk)."""
    return "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None


class HandOver:
    """The mosaic and the table written once to files the workers read."""

    def __init__(self, mosaic: NDArray[np.uint16], lut: NDArray[np.float32]) -> None:
        self.dir = tempfile.TemporaryDirectory(prefix="pyxa-bench-", dir=shared_memory_dir())
        self.mosaic = os.path.join(self.dir.name, "mosaic.u16")
        self.lut = os.path.join(self.dir.name, "lut.f32")
        np.ascontiguousarray(mosaic, np.uint16).tofile(self.mosaic)
        np.ascontiguousarray(lut, np.float32).tofile(self.lut)
        self.height, self.width = mosaic.shape

    def setup(self, worker: HalideWorker, pipeline: str, options: dict[str, Any] | None = None) -> dict[str, Any]:
        """Has the worker read the images and compile pipeline; its reply."""
        return worker.request("setup", pipeline=pipeline, options=options or {},
                              height=self.height, width=self.width, mosaic=self.mosaic, lut=self.lut)

    def close(self) -> None:
        self.dir.cleanup()


def bench_python() -> str:
    """The interpreter of this process (the bench venv, with PyPI's Halide)."""
    return sys.executable
