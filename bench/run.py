"""The benchmark suite: the engine against NumPy, OpenCV and a Halide pipeline,
every figure a ratio measured in this process and run, on one thread.

    python bench/run.py            # 6000 x 4000, writes docs/performance.md
    python bench/run.py --quick    # 1500 x 1000, prints only
    python bench/run.py --only orientation --repeat 3

A ratio below 1 means the engine takes less time than the peer. Each case
runs N interleaved rounds (engine and peers alternate), so a slow spell of a
shared machine falls on all contenders alike; the table gives the best and
the median of the rounds. The camera-pipe Halide peer runs in worker
processes, one per Halide build (see camera_pipe_peers.py), and times itself
there; its image is checked against the engine's before any timing.
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
from camera_pipe_peers import CameraPipePeers, PeerMismatch, compare_images  # noqa: E402
from cases import develop_cases, opcode_cases, pointwise_cases, profile_cases, raw_cases, spatial_cases  # noqa: E402
from dng_cases import dng_cases, dng_profile_lines  # noqa: E402
from doc_sections import keep_section  # noqa: E402
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


def median(t, label):
    return float(np.median(t[label]))


def selected(only, group, name):
    return not only or only in group or only in name


def target_label(case, t):
    """The peer the verdict is against: the fastest (best time) of a tuple."""
    if isinstance(case.target, tuple):
        return min(case.target, key=lambda label: best(t, label))
    return case.target


def round_ratios(t, label):
    """The engine's time over the peer's in each round (the pair ran back to back)."""
    return [a / b for a, b in zip(t["pyxa"], t[label])]


def row_for(case, t):
    """Table cells: times as best / median of the rounds, ratios engine/peer
    of the bests and of the medians; the verdict from the bests."""
    engine, engine_median = best(t, "pyxa"), median(t, "pyxa")
    cells = []
    for label in case.peers:
        b, m = best(t, label), median(t, label)
        cells.append(f"{label} {b * 1e3:.1f} / {m * 1e3:.1f} ms ({engine / b:.2f}x / {engine_median / m:.2f}x)")
    cells += [f"{label}: {why}" for label, why in case.missing.items()]
    verdict = ""
    if case.target is not None:
        target = target_label(case, t)
        ratio = engine / best(t, target)
        verdict = "met" if ratio <= case.limit else f"gap: {ratio:.2f}x of {target}"
        if isinstance(case.target, tuple):
            verdict += f" (the faster of {len(case.target)} builds)" if len(case.target) > 1 else ""
    return [case.group, case.name, f"{engine * 1e3:.1f} / {engine_median * 1e3:.1f}", "; ".join(cells) or "-",
            verdict, case.note]


def develop_ratios(case, t):
    """Engine/peer over the rounds for each peer of the development graph, and
    which Halide build the verdict is against."""
    lines = []
    for peer in case.peers:
        r = round_ratios(t, peer)
        lines.append(f"- Development graph / {peer}: {best(t, 'pyxa') / best(t, peer):.2f}x of the best times, "
                     f"{median(t, 'pyxa') / median(t, peer):.2f}x of the medians; over {len(r)} rounds the ratio "
                     f"ranged {min(r):.2f}-{max(r):.2f}x.")
    if isinstance(case.target, tuple):
        lines.append(f"- The target is against {target_label(case, t)}, the faster of: {', '.join(case.target)}.")
    lines += [f"- {label}: {why}." for label, why in case.missing.items()]
    return lines


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
           "the machine named below, one thread, interleaved rounds; times are the best / the median of the",
           "rounds. A ratio is the engine's time divided by the peer's (of the bests / of the medians): below 1",
           "the engine is faster. Targets: the development graph at most 0.8x the camera-pipe Halide peer",
           "under the faster of the Halide builds (the first Halide pipeline, \"Halide\", stays for",
           "continuity), every op at least as fast as its OpenCV equivalent, the full edge-aware demosaic at",
           "most 2x the bilinear one, under 10 MB extra memory, profiling under 1%.", ""]
    out += header_lines + [""]
    out += ["| group | case | pyxa ms (best / median) | peers (ms best / median, pyxa/peer) | target | note |",
            "|---|---|---|---|---|---|"]
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
    wants_develop = selected(args.only, "development", "development graph (bilinear)")
    halide = load_halide(gamma_table()) if wants_develop else None
    develop, (mosaic, out, lut) = develop_cases(h, w, halide)
    # First engine call of the process: the heap holds no freed engine buffers yet.
    extra = extra_peak_kib(lambda: _pyxa.execute_graph(develop_graph(h, w, lut), {0: mosaic}, {4: out}))
    pipes = None
    try:
        if wants_develop:
            pipes = start_camera_pipes(develop[0], mosaic, lut, halide)
            header.append(pipes.describe())
            print(header[-1], flush=True)
        return run_cases(args, h, w, header, develop, (mosaic, out, lut), extra)
    except PeerMismatch as e:
        print(f"error: {e}", file=sys.stderr)
        return 1
    finally:
        if pipes is not None:
            pipes.close()


def start_camera_pipes(case, mosaic, lut, halide):
    """Starts the camera-pipe workers, checks every Halide peer's image against
    the engine's (PeerMismatch when one drifts) and adds the workers that
    started to the development case, the faster of them as its target."""
    h, w = mosaic.shape
    expected = np.empty((h, w, 3), np.uint8)
    _pyxa.execute_graph(develop_graph(h, w, lut), {0: mosaic}, {4: expected})
    pipes = CameraPipePeers(mosaic, lut)
    try:
        pipes.check(expected)
        if halide is not None:
            compare_images("Halide", halide(mosaic, np.empty_like(expected)), expected)
    except BaseException:
        pipes.close()
        raise
    case.peers.update(pipes.contenders())
    case.missing.update(pipes.missing)
    if pipes.workers:
        case.target = tuple(pipes.workers)
    return pipes


def run_cases(args, h, w, header, develop, images, extra):
    mosaic, out, lut = images
    # The profile rows compile a Halide pipeline and check two peers first: made only when selected.
    wants_profile = selected(args.only, "profile", "DNG profile graph")
    groups = [lambda: develop, lambda: pointwise_cases(h, w), lambda: profile_cases(h, w) if wants_profile else [],
              lambda: raw_cases(h, w), lambda: spatial_cases(h, w), lambda: opcode_cases(h, w),
              lambda: dng_cases(h, w)]
    rows, times = [], {}
    for make in groups:
        for case in make():
            if not selected(args.only, case.group, case.name):
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
        summary += develop_ratios(develop[0], dev)
        summary += develop_summary(h, w, lut, mosaic, out, args.repeat, extra)
    full, bil = times.get("ea_demosaic full float32 -> float32 RGB"), times.get("bilinear_demosaic float32 -> float32 RGB")
    if full and bil:
        summary.append(f"- Full edge-aware demosaic / bilinear: {best(full, 'pyxa') / best(bil, 'pyxa'):.2f}x "
                       "(target <= 2x).")
    profiled = times.get("profile graph (HueSatMaps, LookTable, tone curve)")
    if profiled:
        r = round_ratios(profiled, "NumPy")
        summary.append(f"- DNG profile graph / NumPy of the same stages: {best(profiled, 'pyxa') / best(profiled, 'NumPy'):.3f}x "
                       f"(target <= 0.1x); over {len(r)} rounds {min(r):.3f}-{max(r):.3f}x.")
        summary += dng_profile_lines(h, w)
    for line in summary:
        print(line)
    if not args.quick and not args.no_write and not args.only:
        DOC.write_text(keep_section(DOC, markdown(rows, header, summary)))
        print(f"wrote {DOC}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
