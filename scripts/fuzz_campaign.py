"""Long fuzz campaign over execute_graph, crash-proof: cases run in a worker
process, so a crash or a hang kills only the worker; the case that did it is
kept as a reproducer and the worker restarts.

    python scripts/fuzz_campaign.py --minutes 60 --out build/fuzz [--kind engine|dng|both]
    python scripts/fuzz_campaign.py --replay build/fuzz/crashes/crash-123.pkl
    python scripts/fuzz_campaign.py --soak   # refcounts and RSS, long chain, output over 2^31 bytes

Cases come from tests/fuzz_cases.py (execute_graph calls) and
tests/dng_fuzz_cases.py (DNGs with mutated opcode lists and profiles,
developed end to end; with --kind both, every fourth seed), drawn with
seeded random numbers, so a kind and a seed regenerate their case; the
reproducer holds the case itself too.
"""

from __future__ import annotations

import argparse
import collections
import gc
import json
import os
import pickle
import select
import subprocess
import sys
import threading
import time
import traceback
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests"))
sys.path.insert(0, str(ROOT / "tools"))

CASE_TIMEOUT_S = 120


def case_functions(kind):
    """make(draw) and check(case) of a kind of case."""
    if kind == "dng":
        from dng_fuzz_cases import check_dng_case, make_dng_case
        return make_dng_case, check_dng_case
    from fuzz_cases import check_case, make_case
    return make_case, check_case


def kind_of(seed, kinds):
    """The kind of case a seed makes: with both, every fourth seed is a DNG."""
    return kinds if kinds != "both" else ("dng" if seed % 4 == 3 else "engine")


def worker():
    """Reads "kind seed" lines from stdin, answers one JSON line per case."""
    from fuzz_cases import RandomDraw
    for line in sys.stdin:
        kind, seed = line.split()
        seed = int(seed)
        make_case, check_case = case_functions(kind)
        try:
            case = make_case(RandomDraw(seed))
            outcome = "skipped" if case is None else check_case(case)
            reply = {"seed": seed, "outcome": outcome}
        except AssertionError as e:
            reply = {"seed": seed, "outcome": "FAILED", "detail": str(e)}
        except BaseException as e:  # noqa: BLE001 - an undocumented exception is a finding
            reply = {"seed": seed, "outcome": "FAILED", "detail": traceback.format_exception_only(e)[-1].strip()}
        print(json.dumps(reply), flush=True)


class Worker:
    def __init__(self, log):
        self.log = log
        self.proc = subprocess.Popen([sys.executable, __file__, "--worker"], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=log, text=True, bufsize=1)

    def run(self, kind, seed):
        """The worker's reply, or None when it died or hung on this seed."""
        self.proc.stdin.write(f"{kind} {seed}\n")
        self.proc.stdin.flush()
        ready, _, _ = select.select([self.proc.stdout], [], [], CASE_TIMEOUT_S)
        line = self.proc.stdout.readline() if ready else ""
        return json.loads(line) if line else None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()


def keep_reproducer(out, seed, kind, detail, case_kind="engine"):
    from fuzz_cases import RandomDraw
    make_case, _ = case_functions(case_kind)
    folder = out / "crashes"
    folder.mkdir(parents=True, exist_ok=True)
    path = folder / f"{kind}-{case_kind}-{seed}.pkl"
    with open(path, "wb") as f:
        pickle.dump({"seed": seed, "kind": kind, "case_kind": case_kind, "detail": detail,
                     "case": make_case(RandomDraw(seed))}, f)
    return path


def campaign(minutes, out, first_seed, kinds="both"):
    out.mkdir(parents=True, exist_ok=True)
    log = open(out / "worker-stderr.log", "a")
    counts = collections.Counter()
    w = Worker(log)
    end = time.monotonic() + minutes * 60
    seed = first_seed
    while time.monotonic() < end:
        case_kind = kind_of(seed, kinds)
        reply = w.run(case_kind, seed)
        if reply is None:
            hung = w.proc.poll() is None
            w.stop()
            kind = "hang" if hung else f"crash"
            detail = "no answer in %d s" % CASE_TIMEOUT_S if hung else f"worker exit {w.proc.returncode}"
            counts[kind] += 1
            path = keep_reproducer(out, seed, kind, detail, case_kind)
            print(f"{kind} on {case_kind} seed {seed}: {detail}; kept {path}", flush=True)
            w = Worker(log)
        else:
            counts[reply["outcome"]] += 1
            if reply["outcome"] == "FAILED":
                path = keep_reproducer(out, seed, "failed", reply["detail"], case_kind)
                print(f"failed on seed {seed}: {reply['detail']}; kept {path}", flush=True)
        seed += 1
        if (seed - first_seed) % 2000 == 0:
            print(f"{seed - first_seed} cases: {dict(counts)}", flush=True)
    w.stop()
    summary = {"cases": seed - first_seed, "first_seed": first_seed, "outcomes": dict(counts)}
    print(json.dumps(summary), flush=True)
    with open(out / "summary.json", "w") as f:
        json.dump(summary, f, indent=1)
    return 1 if counts["FAILED"] or counts["crash"] or counts["hang"] else 0


def replay(path):
    with open(path, "rb") as f:
        kept = pickle.load(f)
    case_kind = kept.get("case_kind", "engine")
    _, check_case = case_functions(case_kind)
    print(f"{case_kind} seed {kept['seed']} ({kept['kind']}: {kept['detail']})")
    if case_kind == "engine":
        print(json.dumps(kept["case"]["graph"], default=repr, indent=1)[:4000])
    else:
        print(json.dumps({k: v for k, v in kept["case"].items() if k not in ("data", "dcp")}, default=repr))
    print("outcome:", check_case(kept["case"]))


# ---- soak and size checks -------------------------------------------------------------------

def rss_mib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 2**20


def soak(calls):
    """Mixed calls (valid and refused) with refcounts of everything passed in and RSS."""
    import _pyxa
    from fuzz_cases import RandomDraw, bind, make_case
    cases = [c for c in (make_case(RandomDraw(s)) for s in range(300)) if c is not None]
    bound = [(c["graph"], *bind(c)) for c in cases]
    tracked = [o for gd, inputs, _, outputs, _ in bound for o in (gd, inputs, outputs, *inputs.values(),
                                                                   *outputs.values())]

    def refcounts():
        return [sys.getrefcount(o) for o in tracked]

    refs_before = refcounts()
    outcomes = collections.Counter()
    rss = []
    gc.collect()
    objects_before = len(gc.get_objects())
    for i in range(calls):
        gd, inputs, _, outputs, _ = bound[i % len(bound)]
        try:
            _pyxa.execute_graph(gd, inputs, outputs)
            outcomes["ok"] += 1
        except Exception as e:  # noqa: BLE001 - counted by type
            outcomes[type(e).__name__] += 1
        if i % (calls // 10) == 0:
            rss.append(round(rss_mib(), 1))
    del gd, inputs, outputs  # the last call's loop variables hold one reference each
    gc.collect()
    rss.append(round(rss_mib(), 1))
    deltas = [a - b for a, b in zip(refcounts(), refs_before) if a != b]
    changed = len(deltas)
    print(json.dumps({"soak_calls": calls, "outcomes": dict(outcomes), "objects_tracked": len(tracked),
                      "refcounts_changed": changed, "refcount_deltas": deltas[:10], "gc_objects_delta": len(gc.get_objects()) - objects_before,
                      "rss_mib_every_tenth": rss}), flush=True)
    return changed


def long_chain(length=100_000):
    import numpy as np

    import _pyxa
    descs = [{"id": i, "dtype": "float32", "height": 4, "width": 5, "channels": 1, "stride": 20}
             for i in range(length + 1)]
    nodes = [{"id": i, "op": "mul_scalar", "inputs": [i], "outputs": [i + 1], "attrs": {"value": 1.0}}
             for i in range(length)]
    out = np.zeros((4, 5), np.float32)
    result = {}

    def run():
        t = time.perf_counter()
        _pyxa.execute_graph({"tensor_descs": descs, "inputs": [0], "outputs": [length], "nodes": nodes},
                            {0: np.ones((4, 5), np.float32)}, {length: out})
        result["s"] = time.perf_counter() - t

    threading.stack_size(256 * 1024)
    th = threading.Thread(target=run)
    th.start()
    th.join()
    ok = bool((out == 1).all()) and "s" in result
    print(json.dumps({"chain_nodes": length, "thread_stack_kib": 256, "ok": ok,
                      "seconds": round(result.get("s", -1), 2)}), flush=True)
    return 0 if ok else 1


def big_output(height=27000, width=27000, channels=3):
    """A fill into a uint8 output of height*width*channels bytes (over 2^31)."""
    import numpy as np

    import _pyxa
    out = np.empty((height, width, channels), np.uint8)
    g = {"tensor_descs": [{"id": 0, "dtype": "uint8", "height": height, "width": width, "channels": channels,
                           "stride": width * channels}],
         "inputs": [], "outputs": [0],
         "nodes": [{"id": 1, "op": "fill", "inputs": [], "outputs": [0],
                    "attrs": {"value": np.array([17.0, 128.0, 255.0], np.float32)}}]}
    t = time.perf_counter()
    try:
        _pyxa.execute_graph(g, {}, {0: out})
    except Exception as e:  # noqa: BLE001 - reported
        print(json.dumps({"big_output_bytes": out.nbytes, "error": f"{type(e).__name__}: {e}"}), flush=True)
        return 1
    s = time.perf_counter() - t
    want = np.array([17, 128, 255], np.uint8)
    exact = all(bool((out[y:y + 1000] == want).all()) for y in range(0, height, 1000))
    print(json.dumps({"big_output_bytes": out.nbytes, "over_2^31": out.nbytes > 2**31, "exact": exact,
                      "seconds": round(s, 2)}), flush=True)
    return 0 if exact else 1


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--minutes", type=float, default=60.0)
    ap.add_argument("--out", type=Path, default=ROOT / "build" / "fuzz")
    ap.add_argument("--first-seed", type=int, default=None)
    ap.add_argument("--kind", choices=("engine", "dng", "both"), default="both",
                    help="execute_graph calls, DNG developments, or both (every fourth seed a DNG)")
    ap.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    ap.add_argument("--replay", type=Path)
    ap.add_argument("--soak", action="store_true")
    ap.add_argument("--soak-calls", type=int, default=100_000)
    ap.add_argument("--big-output", action="store_true")
    ap.add_argument("--long-chain", action="store_true")
    args = ap.parse_args()
    if args.worker:
        return worker()
    if args.replay:
        return replay(args.replay)
    if args.soak:
        return soak(args.soak_calls)
    if args.long_chain:
        return long_chain()
    if args.big_output:
        return big_output()
    first = args.first_seed if args.first_seed is not None else int(time.time()) * 1000
    return campaign(args.minutes, args.out, first, args.kind)


if __name__ == "__main__":
    sys.exit(main())
