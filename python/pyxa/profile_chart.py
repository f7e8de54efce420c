"""Showing where a development's time goes: a bar chart of each node's time
(matplotlib, optional) and a Chrome trace-event JSON that needs nothing
(open it in chrome://tracing or Perfetto)."""

from __future__ import annotations

import json
import os
from collections.abc import Mapping, Sequence
from typing import TYPE_CHECKING, Any

from ._types import NodeTimings, PathLike

if TYPE_CHECKING:  # an optional dependency, imported where a chart is drawn
    from matplotlib.figure import Figure

__all__ = ["plot_profile", "write_chrome_trace", "total_by_node"]

# The timings these take: a profiled run's list, or any sequence of such dicts.
Profile = Sequence[Mapping[str, Any]]


def _label(entry: Mapping[str, Any]) -> str:
    return f"{entry['node_id']} {entry.get('op', '?')}"


def total_by_node(profiles: Sequence[Profile]) -> NodeTimings:
    """Several runs' profiles summed per node (same graph shape, e.g. one per file)."""
    totals: dict[tuple[int, str], int] = {}
    for profile in profiles:
        for e in profile:
            key = (int(e["node_id"]), str(e.get("op", "?")))
            totals[key] = totals.get(key, 0) + int(e["exclusive_ns"])
    return [{"node_id": k[0], "op": k[1], "exclusive_ns": v} for k, v in sorted(totals.items())]


def plot_profile(profile: Profile, path: PathLike | None = None, *, title: str = "time per node") -> Figure:
    """Draws one horizontal bar per node (its exclusive time in ms) and returns
    the matplotlib Figure; with ``path`` it is also saved (SVG, PNG... by the
    extension). ``profile`` is what ``develop(..., profile=True)`` returns."""
    try:
        # The Figure class alone, not pyplot: no GUI backend is chosen, so
        # this works in a worker, a terminal without a display and a notebook.
        from matplotlib.figure import Figure
    except ImportError:
        raise ImportError("the profile chart needs matplotlib: pip install 'pyxa[plot]'") from None
    labels = [_label(e) for e in profile]
    ms = [int(e["exclusive_ns"]) / 1e6 for e in profile]
    fig = Figure(figsize=(7, 0.45 * len(labels) + 1.2))
    ax = fig.subplots()
    bars = ax.barh(labels[::-1], ms[::-1], color="#4c72b0")
    ax.bar_label(bars, labels=[f"{v:.2f} ms" for v in ms[::-1]], padding=3, fontsize=8)
    ax.set_xlabel("exclusive time (ms)")
    ax.set_title(f"{title}: {sum(ms):.2f} ms")
    ax.set_xlim(0, max(ms + [1e-3]) * 1.25)
    fig.tight_layout()
    if path is not None:
        fig.savefig(os.fspath(path))
    return fig


def write_chrome_trace(runs: Mapping[str, Profile], path: PathLike) -> str:
    """Writes a Chrome trace-event JSON: one track per run (e.g. per file), its
    nodes laid end to end by exclusive time. Fused nodes run interleaved row
    by row, so the layout shows shares of time, not the real order."""
    events: list[dict[str, Any]] = []
    for tid, (name, profile) in enumerate(runs.items(), start=1):
        events.append({"name": "thread_name", "ph": "M", "pid": 1, "tid": tid, "args": {"name": name}})
        t = 0.0
        for e in profile:
            dur = int(e["exclusive_ns"]) / 1e3
            events.append({"name": str(e.get("op", "?")), "cat": "node", "ph": "X", "pid": 1, "tid": tid,
                           "ts": t, "dur": dur, "args": {"node_id": int(e["node_id"])}})
            t += dur
    with open(path, "w", encoding="utf-8") as f:
        json.dump({"traceEvents": events, "displayTimeUnit": "ms"}, f, indent=1)
    return os.fspath(path)
