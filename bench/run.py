"""The benchmark suite: the engine against NumPy, OpenCV and a Halide pipeline,
every figure a ratio measured in this process and run, on one thread.

    python bench/run.py            # 6000 x 4000, writes docs/performance.md
    python bench/run.py --quick    # 1500 x 1000, prints only
    python bench/run.py --only orientation --repeat 3

A ratio below 1 means the engine takes less time than the peer. Timings are
the minimum of N interleaved rounds (engine and peers alternate), so a slow
spell of a shared machine falls on all contenders alike.
"""

import argparse
import os
import platform
import sys
from pathlib import Path

os.environ["HL_NUM_THREADS"] = "1"  # read when the Halide runtime starts
os.environ.setdefault("OMP_NUM_THREADS", "1")
sys.path.insert(0, str(Path(__file__).resolve().parent))

import numpy as np  # noqa: E402

import _pyxa  # noqa: E402
from cases import develop_cases, opcode_cases, pointwise_cases, raw_cases, spatial_cases  # noqa: E402
from graphs import develop_graph  # noqa: E402
from timing import extra_peak_kib, race  # noqa: E402

DOC = Path(__file__).resolve().parents[1] / "docs" / "performance.md"
FLAGS_SHOWN = ("sse4_2", "avx", "avx2", "fma", "avx512f", "avx512bw", "avx512vl", "avx512dq", "avx512vbmi")


def cpu_model_and_flags():
    model, flags = platform.processor() or "unknown", []
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name") and model in ("unknown", "", platform.processor()):
                    model = line.split(":", 1)[1].strip()
                elif line.startswith("flags"):
                    flags = line.split(":", 1)[1].split()
                    break
    except OSError:
        pass
    return model, [f for f in FLAGS_SHOWN if f in flags]


def load_halide(lut):
    try:
        import halide_develop
    except ImportError as e:
        print(f"(Halide not available: {e}; install the 'bench' extra)")
        return None
    return halide_develop.HalideDevelop(lut)


def measure(case, repeat):
    contenders = {"pyxa": case.engine, **case.peers}
    return race(contenders, repeat)


def best(t, label):
    return min(t[label])


def round_ratios(t, label):
    """The engine's time over the peer's in each round (the pair ran back to back)."""
    return [a / b for a, b in zip(t["pyxa"], t[label])]


def row_for(case, t):
    engine = best(t, "pyxa")
    cells = []
    for label in case.peers:
        cells.append(f"{label} {best(t, label) * 1e3:.1f} ms ({engine / best(t, label):.2f}x)")
    verdict = ""
    if case.target is not None:
        ratio = engine / best(t, case.target)
        verdict = "met" if ratio <= 1.0 else f"gap: {ratio:.2f}x of {case.target}"
    return [case.group, case.name, f"{engine * 1e3:.1f}", "; ".join(cells) or "-", verdict, case.note]


def develop_summary(h, w, lut, mosaic, out, repeat, extra):
    """Peak memory (measured before anything else ran), profile cost, per-node times."""
    lines = []
    g = develop_graph(h, w, lut)
    run = lambda: _pyxa.execute_graph(g, {0: mosaic}, {4: out})  # noqa: E731
    if extra is not None:
        lines.append(f"- Extra peak memory of the development graph: {extra / 1024:.2f} MiB (target < 10 MB).")
    t = race({"plain": run, "profile": lambda: _pyxa.execute_graph(g, {0: mosaic}, {4: out}, profile=True)},
             repeat)
    cost = best(t, "profile") / best(t, "plain") - 1.0
    lines.append(f"- Sampled timing (profile=True) costs {cost * 100:+.1f}% on the development graph (target < 1%).")
    prof = _pyxa.execute_graph(g, {0: mosaic}, {4: out}, profile=True)
    names = {n["id"]: n["op"] for n in g["nodes"]}
    parts = ", ".join(f"{names.get(p['node_id'], p['node_id'])} {p['exclusive_ns'] / 1e6:.1f} ms" for p in prof)
    lines.append(f"- Per-node times of one profiled run: {parts}.")
    return lines


def markdown(rows, header_lines, summary):
    out = ["# Performance", "",
           "Written by `python bench/run.py` (see `scripts/bench.sh`); every figure comes from one run on",
           "the machine named below, one thread, minimum of interleaved rounds. A ratio is the engine's time",
           "divided by the peer's: below 1 the engine is faster. Targets: the development graph at most 0.8x",
           "the Halide pipeline, every op at least as fast as its OpenCV equivalent, the full edge-aware",
           "demosaic at most 2x the bilinear one, under 10 MB extra memory, profiling under 1%.", ""]
    out += header_lines + [""]
    out += ["| group | case | pyxa ms | peers (ms, pyxa/peer) | target | note |", "|---|---|---|---|---|---|"]
    out += ["| " + " | ".join(r) + " |" for r in rows]
    out += [""] + summary + [""]
    return "\n".join(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--quick", action="store_true", help="1500 x 1000 images, no document written")
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--only", default="", help="run only cases whose group or name contains this text")
    ap.add_argument("--no-write", action="store_true")
    args = ap.parse_args()
    h, w = (1000, 1500) if args.quick else (4000, 6000)

    model, flags = cpu_model_and_flags()
    header = [f"- Machine: {model}; flags: {' '.join(flags)}; {os.cpu_count()} logical CPUs.",
              f"- Image size: {w} x {h} ({h * w / 1e6:.1f} Mpx); {args.repeat} rounds per case; load average "
              f"{os.getloadavg()[0]:.1f} at the start (other work on a shared machine moves absolute times; "
              "the ratios of interleaved rounds much less).",
              f"- NumPy {np.__version__}"]
    try:
        import cv2
        header[-1] += f", OpenCV {cv2.__version__}"
    except ImportError:
        print("OpenCV is needed: install the 'bench' extra")
        return 1
    try:
        from importlib.metadata import version
        header[-1] += f", Halide {version('halide')}"
    except ImportError:
        pass
    except Exception:  # no package metadata: the version stays unnamed
        pass
    header[-1] += "."
    for line in header:
        print(line)

    from graphs import gamma_table
    halide = load_halide(gamma_table())
    develop, (mosaic, out, lut) = develop_cases(h, w, halide)
    # First engine call of the process: the heap holds no freed engine buffers yet.
    extra = extra_peak_kib(lambda: _pyxa.execute_graph(develop_graph(h, w, lut), {0: mosaic}, {4: out}))
    groups = [lambda: develop, lambda: pointwise_cases(h, w), lambda: raw_cases(h, w),
              lambda: spatial_cases(h, w), lambda: opcode_cases(h, w)]
    rows, times = [], {}
    for make in groups:
        for case in make():
            if args.only and args.only not in case.group and args.only not in case.name:
                continue
            try:
                t = measure(case, args.repeat)
            except Exception as e:  # one broken case must not hide the others
                print(f"{case.name}: failed: {e}", flush=True)
                rows.append([case.group, case.name, "failed", str(e), "", case.note])
                continue
            times[case.name] = t
            row = row_for(case, t)
            rows.append(row)
            print(" | ".join(row[1:5]), flush=True)

    summary = []
    dev = times.get("development graph (bilinear)")
    if dev:
        for peer in ("Halide", "OpenCV", "NumPy"):
            if peer in dev:
                r = round_ratios(dev, peer)
                summary.append(f"- Development graph / {peer}: {best(dev, 'pyxa') / best(dev, peer):.2f}x of the best "
                               f"times; over {len(r)} rounds the ratio ranged {min(r):.2f}-{max(r):.2f}x.")
        summary += develop_summary(h, w, lut, mosaic, out, args.repeat, extra)
    full, bil = times.get("ea_demosaic full float32 -> float32 RGB"), times.get("bilinear_demosaic float32 -> float32 RGB")
    if full and bil:
        summary.append(f"- Full edge-aware demosaic / bilinear: {best(full, 'pyxa') / best(bil, 'pyxa'):.2f}x "
                       "(target <= 2x).")
    for line in summary:
        print(line)
    if not args.quick and not args.no_write and not args.only:
        DOC.write_text(markdown(rows, header, summary))
        print(f"wrote {DOC}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
