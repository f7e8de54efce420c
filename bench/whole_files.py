"""Whole files, as a photographer meets them: the wall time per file of
developing a folder of raw files into JPEG, PNG and TIFF files with pyxa,
with rawpy + Pillow, and with dcraw, RawTherapee's and darktable's command
lines (run as black-box programs, installed from Debian when missing), and
the peak memory of each for one 24 Mpx file.

    python bench/whole_files.py                    # 8 files per folder, 3 rounds, prints the table
    python bench/whole_files.py --write            # ... and writes it into docs/performance.md
    python bench/whole_files.py --files 2 --rounds 1 --only pyxa

Each round runs every contender once over each folder (8 copies of the
shared colour chart, 8 copies of a 24 Mpx DNG written here), so a slow spell
of the shared machine falls on all of them alike; the table gives the best
and the median per file over the rounds. A contender's time is its whole
run over the folder divided by the files: program start-up included, as a
photographer waits for it: pyxa runs as its command, rawpy + Pillow as a
script, each one process per folder. Outputs are checked to exist before
any timing.
"""

import argparse
import os
import platform
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from statistics import median

sys.path.insert(0, str(Path(__file__).resolve().parent))

from doc_sections import WHOLE_FILES, replace_section  # noqa: E402
from whole_file_sets import SIZE_24MPX, make_sets  # noqa: E402
from whole_file_tools import (install_programs, program_contenders, pyxa_contenders,  # noqa: E402
                              rawpy_contenders)

DOC = Path(__file__).resolve().parents[1] / "docs" / "performance.md"


def run_once(contender, files, outdir):
    """Seconds of one run over `files`, into an emptied `outdir`."""
    shutil.rmtree(outdir, ignore_errors=True)
    outdir.mkdir(parents=True)
    t0 = time.perf_counter()
    contender.run(files, outdir)
    return time.perf_counter() - t0


def check_outputs(contender, files, outdir):
    """Every file made, of the kind asked for, none empty: a tool that fails
    silently, or writes another format, has no row."""
    made = sorted(p for p in outdir.iterdir() if not p.name.startswith("."))
    if (len(made) != len(files) or any(p.stat().st_size == 0 for p in made)
            or any(p.suffix != f".{contender.extension}" for p in made)):
        raise RuntimeError(f"made {len(made)} files for {len(files)} inputs: {[p.name for p in made][:4]}")


def warm_up(contenders, sets, work):
    """One run of each contender on the first file of each folder (caches,
    program files), its output checked; the ones that fail are dropped with
    their reason."""
    failed = {}
    for name, (_, files) in sets.items():
        for c in contenders:
            if c.label in failed:
                continue
            outdir = work / "out" / name / c.label.replace(" ", "_").replace(":", "")
            try:
                run_once(c, files[:1], outdir)
                check_outputs(c, files[:1], outdir)
            except Exception as e:  # a peer that cannot run gets a row saying so
                detail = getattr(e, "stderr", b"") or b""
                failed[c.label] = f"{e} {detail.decode(errors='replace')[-200:]}".strip()
                print(f"  {c.label}: failed ({failed[c.label]})", flush=True)
    return [c for c in contenders if c.label not in failed], failed


def race(contenders, sets, work, rounds, converter_files=None):
    """{(set, label): [seconds per file of each round]}, contenders interleaved;
    the slow converters develop only the first `converter_files` of a folder."""
    times = {(name, c.label): [] for name in sets for c in contenders}
    for r in range(rounds):
        for name, (_, all_files) in sets.items():
            for c in contenders:
                files = all_files[:converter_files] if c.slow and converter_files else all_files
                outdir = work / "out" / name / c.label.replace(" ", "_").replace(":", "")
                seconds = run_once(c, files, outdir) / len(files)
                times[(name, c.label)].append(seconds)
                print(f"  round {r + 1} {name:6s} {c.label:32s} {seconds * 1e3:9.1f} ms/file", flush=True)
    return times


# Runs a command and prints its exit code and peak memory. Through this small
# process rather than from the benchmark's own: a child's peak starts at the
# size of the process it was forked from, and ours holds the 24 Mpx images.
RSS_HELPER = """
import os, subprocess, sys
proc = subprocess.Popen(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL)
_, status, usage = os.wait4(proc.pid, 0)
print(os.waitstatus_to_exitcode(status), usage.ru_maxrss)
"""


def peak_rss_kib(args):
    """Peak resident memory of one command (and the children it waited for), in KiB."""
    out = subprocess.run([sys.executable, "-c", RSS_HELPER, *args], capture_output=True, text=True,
                         check=True).stdout.split()
    if out[0] != "0":
        raise RuntimeError(f"{args[0]} exited with {out[0]}")
    return int(out[1])


# The memory rows run the command as a user does (metadata copied, the
# pipeline's threads); the baseline imports what the command imports.
PYXA_IMPORTS = "import pyxa, pyxa.cli, pyxa.batch, pyxa.develop, pyxa.writers, rawpy, imagecodecs, pyexiv2, tqdm"


def pyxa_one_file(raw_file, out, *options):
    return [sys.executable, "-m", "pyxa", "develop", raw_file, "-o", str(out), "--quiet", "--overwrite", *options]


# The 24 Mpx file's mosaic (uint16) and the output image, in bytes per pixel.
MOSAIC_BYTES = 2
OUTPUT_BYTES = {"JPEG q95": 3, "TIFF 16-bit": 6}
PIXELS = SIZE_24MPX[0] * SIZE_24MPX[1]


def image_share(label, kib, imports_kib):
    """For pyxa's rows: the memory above the interpreter with its imports, as a
    multiple of the mosaic plus the output image (the target is at most 1.3)."""
    output = next((b for name, b in OUTPUT_BYTES.items() if label == f"pyxa, {name}"), None)
    if output is None or imports_kib is None:
        return ""
    images = PIXELS * (MOSAIC_BYTES + output) / 1024
    return (f"; {(kib - imports_kib) / 1024:.0f} MiB above the imports, {(kib - imports_kib) / images:.2f}x "
            f"the mosaic plus the output ({images / 1024:.0f} MiB)")


def memory_lines(raw_file, work):
    """Peak memory of developing one 24 Mpx file, pyxa and each peer that is installed."""
    out = work / "memory"
    out.mkdir(exist_ok=True)
    py = sys.executable
    cases = [("Python importing pyxa and its codecs, no file", [py, "-c", PYXA_IMPORTS]),
             ("pyxa, JPEG q95", pyxa_one_file(raw_file, out, "--format", "jpeg", "--quality", "95")),
             ("pyxa, TIFF 16-bit", pyxa_one_file(raw_file, out, "--format", "tiff", "--bits", "16"))]
    if shutil.which("dcraw"):
        cases.append(("dcraw, TIFF 16-bit", ["dcraw", "-w", "-6", "-T", "-c", raw_file]))
    if shutil.which("rawtherapee-cli"):
        cases.append(("RawTherapee, JPEG q95", ["rawtherapee-cli", "-q", "-d", "-o", f"{out}/", "-j95", "-Y",
                                                "-c", raw_file]))
    if shutil.which("darktable-cli"):
        cases.append(("darktable, JPEG q95", ["darktable-cli", raw_file, f"{out}/dt.jpg", "--core", "--configdir",
                                              str(work / ".darktable-memory"), "--conf",
                                              "write_sidecar_files=never"]))
    lines = []
    imports_kib = None
    for label, args in cases:
        try:
            kib = peak_rss_kib(args)
            what = label if "no file" in label else f"one 24 Mpx file, {label}"
            lines.append(f"- Peak memory (RSS), {what}: {kib / 1024:.0f} MiB{image_share(label, kib, imports_kib)}.")
            imports_kib = kib if imports_kib is None else imports_kib
        except (OSError, RuntimeError) as e:
            lines.append(f"- Peak memory, {label}: not measured ({e}).")
        print(lines[-1], flush=True)
    return lines


def versions():
    parts = [f"Python {platform.python_version()}"]
    for module in ("numpy", "rawpy", "imagecodecs", "PIL"):
        try:
            parts.append(f"{module} {__import__(module).__version__}")
        except ImportError:
            pass
    for args, pick in ((["dcraw"], lambda t: t.splitlines()[1].split('"dcraw"')[-1].strip()),
                       (["rawtherapee-cli", "-h"], lambda t: t.splitlines()[0].split("version")[-1].split(",")[0]),
                       (["darktable-cli", "--version"], lambda t: t.splitlines()[0].split()[-1])):
        if shutil.which(args[0]):
            text = subprocess.run(args, capture_output=True, text=True).stdout
            try:
                parts.append(f"{args[0]} {pick(text).strip()}")
            except IndexError:
                pass
    return ", ".join(parts)


def table(times, sets, contenders, failed, missing_tools, missing_sets):
    """The markdown table: per-file best and median, and pyxa's time over the
    tool's at the same output (from the bests)."""
    by_label = {c.label: c for c in contenders}
    rows = ["| files | tool | output | per file, best / median (ms) | pyxa / this | note |",
            "|---|---|---|---|---|---|"]
    for name, (describe, files) in sets.items():
        for c in contenders:
            t = times[(name, c.label)]
            pyxa_t = times.get((name, f"pyxa: {c.output}"))
            ratio = f"{min(pyxa_t) / min(t):.2f}x" if pyxa_t and c.tool != "pyxa" else ""
            rows.append(f"| {name} ({len(files)}) | {c.tool} | {c.output} | {min(t) * 1e3:.0f} / "
                        f"{median(t) * 1e3:.0f} | {ratio} | {by_label[c.label].note} |")
    notes = [f"- {name}: {describe}." for name, (describe, _) in sets.items()]
    notes += [f"- {name}: no row, {why}." for name, why in {**missing_sets, **missing_tools, **failed}.items()]
    return rows, notes


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--files", type=int, default=8, help="copies per folder (default 8)")
    ap.add_argument("--rounds", type=int, default=3, help="interleaved rounds (default 3)")
    ap.add_argument("--only", default="", help="only contenders whose label contains this text")
    ap.add_argument("--converter-files", type=int, default=None,
                    help="RawTherapee and darktable develop only this many files of each folder")
    ap.add_argument("--sets", default="chart,24mpx", help="folders to develop (chart, 24mpx)")
    ap.add_argument("--write", action="store_true", help="write the table into docs/performance.md")
    ap.add_argument("--no-install", action="store_true", help="do not install missing programs")
    args = ap.parse_args()
    if args.files < 1 or args.rounds < 1 or (args.converter_files is not None and args.converter_files < 1):
        ap.error("--files, --rounds and --converter-files must be at least 1")
    if not args.no_install:
        install_programs()
    load_start = os.getloadavg()[0]
    contenders = pyxa_contenders()
    peers, missing_tools = rawpy_contenders()
    contenders += peers
    programs, missing = program_contenders()
    contenders += programs
    missing_tools.update(missing)
    contenders = [c for c in contenders if args.only in c.label]
    with tempfile.TemporaryDirectory(prefix="pyxa-whole-files-") as tmp:
        work = Path(tmp)
        print("writing the folders...", flush=True)
        sets, missing_sets = make_sets(work, args.files)
        sets = {k: v for k, v in sets.items() if k in args.sets.split(",")}
        print("warming up and checking outputs...", flush=True)
        contenders, failed = warm_up(contenders, sets, work)
        times = race(contenders, sets, work, args.rounds, args.converter_files)
        memory = memory_lines(str(work / "source-24mpx.dng"), work)
    rows, notes = table(times, sets, contenders, failed, missing_tools, missing_sets)
    header = [f"- Machine: {platform.processor() or platform.machine()}, {os.cpu_count()} logical CPUs; load "
              f"average {load_start:.1f} at the start, {os.getloadavg()[0]:.1f} at the end (a shared machine: "
              "compare rows of one run, not runs).",
              f"- {args.files} files per folder, {args.rounds} interleaved rounds"
              + (f" (RawTherapee and darktable on {args.converter_files} of them, timed per file alike)"
                 if args.converter_files else "") + f"; {versions()}."]
    body = [WHOLE_FILES, "",
            "Written by `python bench/whole_files.py --write` (`scripts/bench.sh --whole-files`): the wall time",
            "per file of developing a folder of raw files, program start-up included; pyxa through its command",
            "line, as a user runs it. The other converters run as black-box",
            "programs with their default processing, so their images differ from pyxa's (other demosaics,",
            "tone curves, sharpening): the rows compare what a photographer waits for, not equal work.",
            "\"pyxa / this\" is plain pyxa's best time at the same output over the row's: below 1 pyxa is",
            "faster; above 1 the row is (pyxa's own pipelined and half-size rows).", ""]
    body += header + [""] + rows + [""] + notes + memory
    text = "\n".join(body) + "\n"
    print(text)
    if args.write:
        DOC.write_text(replace_section(DOC.read_text() if DOC.exists() else "# Performance\n", WHOLE_FILES, text))
        print(f"wrote {DOC}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
