"""Timing helpers: min-of-N with the contenders interleaved, so a slow spell
of the machine falls on all of them alike, and the peak memory a call adds."""

import time
from typing import Callable


class SelfTimed:
    """A contender that times itself: calling it returns its seconds. For work
    done in another process, timed there, so the pipe's latency stays out."""

    def __init__(self, fn: Callable[[], float]) -> None:
        self.fn = fn

    def __call__(self) -> float:
        return self.fn()


def race(contenders, repeat):
    """contenders: {label: callable or SelfTimed}. Runs each once to warm up,
    then repeat rounds of one call each; returns {label: [seconds of each
    round]}."""
    times = {label: [] for label in contenders}
    for fn in contenders.values():
        fn()
    for _ in range(repeat):
        for label, fn in contenders.items():
            if isinstance(fn, SelfTimed):
                times[label].append(fn())
                continue
            t0 = time.perf_counter()
            fn()
            times[label].append(time.perf_counter() - t0)
    return times


def rss_kib(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def extra_peak_kib(fn):
    """Peak resident memory fn adds, in KiB (None where the peak cannot be reset)."""
    before = rss_kib("VmRSS")
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
    except OSError:
        return None
    fn()
    return rss_kib("VmHWM") - before
