"""The camera-pipe Halide peer (halide_camera_pipe.py) under each Halide build
we can reach: PyPI's wheel in the bench venv and Debian's python3-halide under
/usr/bin/python3. Each runs in a worker process; a build that cannot start
is reported as unavailable and the suite goes on without it."""

import os

import numpy as np
from numpy.typing import NDArray

from timing import SelfTimed
from worker_client import HalideWorker, HandOver, WorkerError, bench_python

DEBIAN_PYTHON = "/usr/bin/python3"
# How to get each build, for the reason shown when one is missing.
BUILDS = (
    ("PyPI", bench_python(), "install the 'bench' extra into the bench venv"),
    ("Debian", DEBIAN_PYTHON, "scripts/bench.sh installs python3-halide and python3-numpy with apt-get "
                              "when run as root"),
)


class PeerMismatch(RuntimeError):
    """A peer's image differs from the engine's by more than one level."""


class CameraPipePeers:
    """The started builds, by label; the missing ones, by label, with why."""

    def __init__(self, mosaic: NDArray[np.uint16], lut: NDArray[np.float32]) -> None:
        self.workers: dict[str, HalideWorker] = {}
        self.missing: dict[str, str] = {}
        self.height, self.width = mosaic.shape
        hand = HandOver(mosaic, lut)
        try:
            for origin, python, how in BUILDS:
                self._start(origin, python, how, hand)
        finally:
            hand.close()  # the workers hold their own copies now

    def _start(self, origin: str, python: str, how: str, hand: HandOver) -> None:
        generic = f"Halide camera pipe ({origin} Halide)"
        if not os.path.exists(python):
            self.missing[generic] = f"not available: no {python} ({how})"
            return
        worker = None
        try:
            worker = HalideWorker(python, generic)
            label = f"Halide camera pipe ({origin} Halide {worker.info['halide']})"
            worker.name = label
            hand.setup(worker, "camera_pipe")
            self.workers[label] = worker
        except WorkerError as e:
            name = generic
            if worker is not None:
                name = worker.name
                worker.close()
            self.missing[generic] = f"not available: {first_line(e, name)} ({how})"

    def contenders(self) -> dict[str, SelfTimed]:
        """{label: SelfTimed} for the race: each call runs the pipeline once in
        its worker and returns the seconds measured there."""
        return {label: SelfTimed(w.timed_run) for label, w in self.workers.items()}

    def check(self, expected: NDArray[np.uint8]) -> None:
        """Runs every build once and compares its image with the engine's
        (expected): more than one level apart anywhere raises PeerMismatch.
        A build whose worker fails or dies here is reported as unavailable."""
        for label, worker in list(self.workers.items()):
            try:
                worker.timed_run()
                got = worker.image(self.height, self.width)
            except WorkerError as e:
                worker.close()
                del self.workers[label]
                self.missing[label] = f"not available: {first_line(e, label)}"
                continue
            compare_images(label, got, expected)

    def describe(self) -> str:
        """One line naming each build, its interpreter and its JIT target."""
        parts = [f"{label}: Python {w.info['python']}, target {w.info['target']}" for label, w in self.workers.items()]
        parts += [f"{label}: {reason}" for label, reason in self.missing.items()]
        return "- Camera-pipe Halide peer, one worker process per build: " + "; ".join(parts) + "."

    def close(self) -> None:
        for worker in self.workers.values():
            worker.close()
        self.workers = {}


def first_line(error: WorkerError, name: str) -> str:
    """The error's first line without the worker's name: the reason shown."""
    return str(error).splitlines()[0].removeprefix(f"{name}: ").rstrip(":")


def compare_images(label: str, got: NDArray[np.uint8], expected: NDArray[np.uint8]) -> None:
    """PeerMismatch naming the worst sample when got and expected differ by
    more than one level."""
    diff = np.abs(got.astype(np.int16) - expected.astype(np.int16))
    worst = int(diff.max())
    if worst > 1:
        y, x, c = np.unravel_index(int(diff.argmax()), diff.shape)
        raise PeerMismatch(f"{label}: its image drifted from the engine's: {worst} levels apart at row {y}, "
                           f"column {x}, channel {c} ({got[y, x, c]} against {expected[y, x, c]}); "
                           f"{int((diff > 1).sum())} samples more than one level apart")
