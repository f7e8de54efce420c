"""The ``pyxa`` command: ``pyxa develop`` turns raw files into JPEG, PNG,
TIFF, WebP, AVIF or JPEG XL images with their colour profile and metadata
(in this process, on a process pool or on a Dask cluster) with a progress
bar, and ``pyxa info`` prints what raw files hold (for a DNG its camera
profile and opcode lists too, read without the pixels)."""

from __future__ import annotations

import argparse
import gc
import os
import sys
from collections.abc import Callable, Sequence
from typing import Literal, Protocol, TextIO

from ._types import NodeTimings
from .color.spaces import SPACE_NAMES
from .develop import DEMOSAIC_CHOICES, LOOK_CHOICES, WB_CHOICES
from .output.formats import FORMATS

EXIT_FAILED, EXIT_USAGE, EXIT_INTERRUPTED = 1, 2, 130


WB_HELP = ("expected camera, daylight or three positive gains R,G,B, a temperature 5200K or 5200K,+8 (tint), "
           "a chromaticity x,y or a light source (D50, tungsten, shade...)")


def _wb(text: str) -> str | tuple[float, ...]:
    """--wb: a name kept as text (develop parses it again), or gains."""
    from .color.white import Chromaticity, Gains, parse_white_setting

    if text in WB_CHOICES:
        return text
    try:
        setting = parse_white_setting(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{WB_HELP}; got {text!r}") from None
    if isinstance(setting, Gains):
        gains = (setting.red, setting.green, setting.blue)
        if min(gains) <= 0:
            raise argparse.ArgumentTypeError(f"{WB_HELP}; got {text!r}")
        return gains
    if isinstance(setting, Chromaticity) and not (0 < setting.x and 0 < setting.y and setting.x + setting.y < 1):
        raise argparse.ArgumentTypeError(f"{WB_HELP}; got {text!r} (x, y is no colour)")
    return text


def _at_least_one(option: str, unit: str = "") -> Callable[[str], int]:
    """The parser of an option that takes a whole number of 1 or more."""
    def parse(text: str) -> int:
        n = int(text)
        if n < 1:
            raise argparse.ArgumentTypeError(f"{option} needs 1 or more{unit}, got {n}")
        return n
    parse.__name__ = "integer"  # argparse's "invalid integer value: 'x'" for a non-number
    return parse


def _exposure(text: str) -> float | Literal["auto"]:
    if text == "auto":
        return "auto"
    try:
        stops = float(text)
    except ValueError:
        stops = float("nan")
    if stops != stops or abs(stops) == float("inf"):
        raise argparse.ArgumentTypeError(f'--exposure needs a number of stops or "auto", got {text!r}')
    return stops


def _positive(text: str) -> float:
    value = float(text)
    if not value > 0 or value == float("inf"):
        raise argparse.ArgumentTypeError(f"needs a positive number, got {text!r}")
    return value


def _quality(text: str) -> int:
    n = int(text)
    if not 1 <= n <= 100:
        raise argparse.ArgumentTypeError(f"--quality needs 1 to 100, got {n}")
    return n


def _version() -> str:
    import _pyxa

    from . import __version__

    return f"pyxa {__version__} (engine correction library {_pyxa.version()})"


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog="pyxa", description="Develop camera raw files with the pyxa engine.")
    parser.add_argument("--version", action="version", version=_version())
    sub = parser.add_subparsers(dest="command", required=True)
    dev = sub.add_parser("develop", help="develop raw files to JPEG, PNG, TIFF, WebP, AVIF or JPEG XL",
                         description="Develops raw files (and the raw files directly inside folders) into OUTDIR. "
                                     "Each file becomes its own name with the format's extension; when two "
                                     "files would take one name, the later one gets a _1, _2, ... suffix "
                                     "(or use --keep-folders).")
    dev.add_argument("inputs", nargs="+", metavar="FILE_OR_DIR")
    dev.add_argument("-o", "--out", required=True, metavar="OUTDIR", help="folder for the developed images")
    dev.add_argument("--demosaic", choices=DEMOSAIC_CHOICES, default="ea",
                     help="edge-aware (fast), edge-aware full, or bilinear (default ea)")
    dev.add_argument("--wb", type=_wb, default="camera", metavar="camera|daylight|5200K,+8|x,y|R,G,B",
                     help="white balance (default camera: as shot)")
    dev.add_argument("--exposure", type=_exposure, default=0.0, metavar="EV|auto",
                     help="brightening in stops, on top of the file's baseline; auto: until 0.5%% of the raw "
                          "samples reach white (at most +4 stops, never darker than the baseline)")
    dev.add_argument("--look", choices=LOOK_CHOICES, default="profile",
                     help="profile: the camera profile's rendering (default); linear: white balance, "
                          "matrix and sRGB curve only, as rawpy renders")
    dev.add_argument("--space", choices=SPACE_NAMES, default="srgb",
                     help="output colour space (profile look; default srgb), embedded as an ICC profile")
    dev.add_argument("--dcp", metavar="FILE", help="a DCP camera profile to render with instead of the file's")
    dev.add_argument("--ignore-unknown-opcodes", action="store_true",
                     help="develop DNGs whose opcode lists hold an opcode that cannot run, without it")
    dev.add_argument("--format", choices=tuple(FORMATS), default=None,
                     help="image format (default png, or the one --ext names)")
    dev.add_argument("--quality", type=_quality, metavar="1-100",
                     help="JPEG, WebP and AVIF quality (defaults 95, 90, 90; 100 is lossless for WebP and AVIF)")
    dev.add_argument("--bits", type=int, choices=(8, 16), default=8,
                     help="bits per sample (16: PNG, TIFF, AVIF and JPEG XL)")
    dev.add_argument("--half", action="store_true",
                     help="fast half-size development (one pixel per 2x2 sensor cell), for previews")
    size = dev.add_mutually_exclusive_group()
    size.add_argument("--max-size", type=_at_least_one("--max-size", " pixels"), metavar="PIXELS",
                      help="shrink so that the long edge is at most PIXELS (area filter)")
    size.add_argument("--scale", type=_positive, metavar="F",
                      help="resize by F (area filter below 1, Lanczos above)")
    dev.add_argument("--strip-metadata", action="store_true",
                     help="write no EXIF/XMP (default: camera, lens, exposure, date and GPS are copied)")
    dev.add_argument("--keep-folders", action="store_true",
                     help="mirror the inputs' folders in OUTDIR instead of putting every image in it")
    dev.add_argument("--jobs", type=_at_least_one("--jobs"), default=1, metavar="N", help="files at once, on N processes")
    dev.add_argument("--dask", metavar="ADDRESS", help="run on an existing Dask cluster (scheduler address)")
    dev.add_argument("--profile", metavar="CHART.svg",
                     help="chart of the time per node (needs matplotlib) plus CHART.json, a Chrome trace")
    dev.add_argument("--overwrite", action="store_true", help="replace existing outputs (default: skip them)")
    dev.add_argument("--quiet", action="store_true", help="no progress bar (there is none unless stderr is a terminal)")
    info = sub.add_parser("info", help="print what raw files hold")
    info.add_argument("files", nargs="+", metavar="FILE")
    return parser


def command() -> int:
    """The ``pyxa`` program (and ``python -m pyxa``): ``main`` on the process's
    own arguments, in a process that exits when it returns."""
    # What is loaded by now lives until the process ends: frozen out of the
    # collector's sight, it is not walked again by every full collection a
    # run's many small allocations trigger. Only here, never in ``main``,
    # which callers may run many times in one long-lived process.
    gc.freeze()
    return main()


def main(argv: Sequence[str] | None = None) -> int:
    args = _parser().parse_args(argv)
    from .batch import stop_on_terminate

    stop_on_terminate()  # a terminated run removes the file it was writing, as Ctrl-C does
    try:
        if args.command == "info":
            return _info(args.files)
        return _develop(args)
    except KeyboardInterrupt:
        print("\ninterrupted", file=sys.stderr)
        return EXIT_INTERRUPTED


def _info(paths: Sequence[str]) -> int:
    import warnings

    from ._develop_route import is_dng
    from .raw import RawFileError, read_raw

    failed = False
    for i, path in enumerate(paths):
        if i:
            print()
        try:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")  # the record lists the tags it ignored
                if is_dng(path):
                    from .dng import read_dng
                    from .dng.describe import describe_record

                    print(describe_record(read_dng(path, pixels=False)))
                else:
                    with read_raw(path) as raw:
                        print(raw.describe())
        except RawFileError as e:
            print(f"error: {e}", file=sys.stderr)
            failed = True
    return EXIT_FAILED if failed else 0


def _develop(args: argparse.Namespace) -> int:
    from .batch import DevelopOptions, expand_inputs, iter_develop

    if args.jobs > 1 and args.dask:
        print("error: --jobs and --dask cannot be combined", file=sys.stderr)
        return EXIT_USAGE
    fmt = FORMATS[args.format or "png"]
    dtype = "uint16" if args.bits == 16 else "uint8"
    if dtype not in fmt.dtypes:
        print(f"error: {fmt.title} stores {' or '.join(fmt.dtypes)} samples: use --bits 8 or another --format",
              file=sys.stderr)
        return EXIT_USAGE
    if args.dask:
        try:
            import distributed  # noqa: F401
        except ImportError:
            print("error: --dask needs the distributed package: pip install 'pyxa[batch]'", file=sys.stderr)
            return EXIT_USAGE
    paths = expand_inputs(args.inputs)
    if not paths:
        print("error: no raw files found in " + ", ".join(args.inputs), file=sys.stderr)
        return EXIT_FAILED
    try:
        os.makedirs(args.out, exist_ok=True)
    except OSError as e:
        print(f"error: cannot use {args.out} as the output folder ({e.strerror or e})", file=sys.stderr)
        return EXIT_FAILED
    options = DevelopOptions(demosaic="half" if args.half else args.demosaic, wb=args.wb, exposure=args.exposure, format=fmt.name,
                             bits=args.bits, overwrite=args.overwrite, profile=bool(args.profile), look=args.look,
                             space=args.space, dcp=os.path.abspath(args.dcp) if args.dcp else None,
                             ignore_unknown_opcodes=args.ignore_unknown_opcodes, quality=args.quality,
                             strip_metadata=args.strip_metadata, max_size=args.max_size, scale=args.scale)
    counts = {"done": 0, "skipped": 0, "failed": 0}
    profiles: dict[str, NodeTimings] = {}
    bar = _progress(len(paths), args.quiet)
    results = iter_develop(paths, args.out, options, jobs=args.jobs, client=args.dask, keep_folders=args.keep_folders)
    try:
        for result in results:
            counts[result.status] += 1
            if result.profile:
                profiles[os.path.basename(result.source)] = result.profile
            bar.write(result.summary(), file=sys.stderr if result.status == "failed" else sys.stdout)
            bar.update(1)
    finally:
        results.close()  # on Ctrl-C: cancels what has not started, waits for the rest
        bar.close()
    print(f"{counts['done']} done, {counts['skipped']} skipped, {counts['failed']} failed")
    if args.profile and profiles:
        _write_profile(args.profile, profiles)
    return EXIT_FAILED if counts["failed"] else 0


def _write_profile(chart: str, profiles: dict[str, NodeTimings]) -> None:
    from .profile_chart import plot_profile, total_by_node, write_chrome_trace

    trace = write_chrome_trace(profiles, os.path.splitext(chart)[0] + ".json")
    total = total_by_node(list(profiles.values()))
    for e in total:
        print(f"  node {e['node_id']} {e['op']:<26} {e['exclusive_ns'] / 1e6:9.2f} ms")
    try:
        title = f"time per node, {len(profiles)} file{'s' * (len(profiles) != 1)}"
        plot_profile(total, chart, title=title)
        print(f"profile: {chart} and {trace}")
    except ImportError as e:
        print(f"profile: {trace} ({e})", file=sys.stderr)


class _Bar(Protocol):
    """What the command asks of a progress bar (tqdm's names)."""

    def write(self, text: str, file: TextIO | None = None) -> None: ...

    def update(self, n: int) -> None: ...

    def close(self) -> None: ...


class _Plain:
    """Stands in for a tqdm bar when tqdm is missing or the bar is turned off."""

    def write(self, text: str, file: TextIO | None = None) -> None:
        print(text, file=file or sys.stdout)

    def update(self, n: int) -> None:
        pass

    def close(self) -> None:
        pass


def _progress(total: int, quiet: bool) -> _Bar:
    # A bar is for a person at a terminal: in a log or a pipe it is a line
    # of carriage returns, and importing tqdm costs a script ~50 ms a run.
    if quiet or not sys.stderr.isatty():
        return _Plain()
    try:
        from tqdm import tqdm
    except ImportError:
        return _Plain()
    bar: _Bar = tqdm(total=total, unit="file", dynamic_ncols=True, file=sys.stderr)  # tqdm has no types
    return bar


if __name__ == "__main__":
    sys.exit(main())
