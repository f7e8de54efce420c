"""Developing many raw files: one file per task, run in this process (the
next file developing while earlier ones are encoded), on a pool of spawned
processes, or on a Dask distributed cluster. The engine holds the GIL for a
call, so parallel development comes from processes; the image codecs release
it, so encoding overlaps development in one process."""

from __future__ import annotations

import os
import threading
import time
from collections.abc import Callable, Generator, Iterable, Iterator, Sequence
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Literal, Optional, Union

import numpy as np

from ._thread_warnings import thread_warnings
from ._types import NodeTimings, PathLike

if TYPE_CHECKING:  # an optional dependency, imported where a cluster is used
    from distributed import Client

    from .output import OutputBuffer

__all__ = ["DevelopOptions", "FileResult", "Task", "develop_file", "develop_many", "iter_develop", "output_path",
           "plan_outputs", "RAW_EXTENSIONS", "expand_inputs"]

# Camera raw extensions the raw reader knows; a folder given on the command
# line is searched for these only, so sidecar JPEGs and XMP files are not
# "failures".
RAW_EXTENSIONS = frozenset(
    ".3fr .ari .arw .bay .cr2 .cr3 .crw .dcr .dcs .dng .erf .fff .iiq .k25 .kdc .mdc .mef .mos .mrw .nef .nrw "
    ".orf .pef .raf .raw .rw2 .rwl .sr2 .srf .srw .x3f".split())


@dataclass(frozen=True)
class DevelopOptions:
    """How each file is developed and written (picklable, sent to workers)."""

    demosaic: str = "ea"
    wb: Union[str, tuple[float, ...]] = "camera"
    exposure: Union[float, Literal["auto"]] = 0.0  # stops or "auto"
    format: str = "png"
    bits: int = 8
    overwrite: bool = False
    profile: bool = False
    look: str = "profile"
    space: str = "srgb"
    dcp: Optional[str] = None  # a DCP file's path
    ignore_unknown_opcodes: bool = False
    quality: Optional[int] = None  # JPEG, WebP and AVIF; None takes the format's default
    strip_metadata: bool = False  # True: no EXIF/XMP copied from the raw file
    max_size: Optional[int] = None  # the long edge at most this many pixels
    scale: Optional[float] = None  # resized by this factor


@dataclass(frozen=True)
class Task:
    """One file to develop and the image it becomes."""

    source: str
    target: str


@dataclass
class FileResult:
    """The outcome of one file: status "done", "skipped" or "failed"."""

    source: str
    output: str
    status: str
    message: str = ""
    seconds: float = 0.0
    size: tuple[int, int] = (0, 0)  # width, height
    profile: NodeTimings = field(default_factory=list)

    def summary(self) -> str:
        """One line for people."""
        name = os.path.basename(self.source)
        if self.status == "done":
            w, h = self.size
            note = f"  ({self.message})" if self.message else ""
            return f"{name} -> {self.output}  {w} x {h}  {self.seconds:.2f} s{note}"
        return f"{name}: {self.status}: {self.message}"


def output_path(source: PathLike, out_dir: PathLike, fmt: str) -> str:
    """The image a raw file becomes in ``out_dir`` when no other file claims its name."""
    from .writers import FORMATS

    stem = os.path.splitext(os.path.basename(os.fspath(source)))[0]
    return os.path.join(os.fspath(out_dir), stem + FORMATS[fmt])


def plan_outputs(paths: Sequence[PathLike], out_dir: PathLike, fmt: str, *,
                 keep_folders: bool = False) -> list[Task]:
    """The image each raw file becomes, decided before any work so that no two
    files write one name.

    Each file becomes its own name with the format's extension in
    ``out_dir`` (``IMG.dng`` -> ``IMG.png``). When a later file would take a
    name an earlier one has (``cardA/IMG.dng`` and ``cardB/IMG.kdc``, or
    ``IMG.CR2`` and ``img.dng`` on a file system that ignores case), it gets
    the first free ``_1``, ``_2``, ... suffix (``IMG_1.png``), in the order the
    files are given. With ``keep_folders`` the folders below the inputs'
    common folder are mirrored in ``out_dir`` instead, and the suffix rule
    only applies within one folder. A path given twice is one task."""
    from .writers import FORMATS

    sources = list(dict.fromkeys(os.path.abspath(os.fspath(p)) for p in paths))
    out = os.path.abspath(os.fspath(out_dir))
    common = os.path.commonpath([os.path.dirname(s) for s in sources]) if sources else out
    taken: set[str] = set()
    tasks = []
    for source in sources:
        folder = os.path.join(out, os.path.relpath(os.path.dirname(source), common)) if keep_folders else out
        stem = os.path.splitext(os.path.basename(source))[0]
        target = os.path.normpath(os.path.join(folder, stem + FORMATS[fmt]))
        n = 0
        while target.lower() in taken:
            n += 1
            target = os.path.normpath(os.path.join(folder, f"{stem}_{n}{FORMATS[fmt]}"))
        taken.add(target.lower())
        tasks.append(Task(source, target))
    return tasks


def expand_inputs(items: Iterable[PathLike]) -> list[str]:
    """Files as given, and the raw files (by extension) directly inside folders."""
    paths: list[str] = []
    for item in items:
        item = os.fspath(item)
        if os.path.isdir(item):
            names = sorted(n for n in os.listdir(item) if not n.startswith("."))
            paths += [os.path.join(item, n) for n in names
                      if os.path.splitext(n)[1].lower() in RAW_EXTENSIONS and os.path.isfile(os.path.join(item, n))]
        else:
            paths.append(item)
    return paths


@dataclass
class Developed:
    """A developed image on its way to its file."""

    task: Task
    rgb: np.ndarray
    profile: NodeTimings
    notes: list[str]
    started: float


def develop_stage(task: Task, options: DevelopOptions) -> Developed | FileResult:
    """Reads and develops one file: the image, or the FileResult of a file that
    is skipped (its output exists) or failed. Never raises for a bad file (a
    worker must keep going), only for interruption."""
    from .develop import develop

    if not options.overwrite and os.path.lexists(task.target):
        return FileResult(task.source, task.target, "skipped", f"{task.target} exists (--overwrite replaces it)")
    start = time.perf_counter()
    try:
        dtype = "uint16" if options.bits == 16 else "uint8"
        with thread_warnings() as caught:
            result = develop(task.source, wb=options.wb, exposure=options.exposure, demosaic=options.demosaic,
                             dtype=dtype, profile=options.profile, look=options.look, space=options.space,
                             dcp=options.dcp, ignore_unknown_opcodes=options.ignore_unknown_opcodes)
    except Exception as e:  # noqa: BLE001 - one broken file must not end a batch
        return _failed(task, e)
    rgb, profile = result if isinstance(result, tuple) else (result, [])
    if options.max_size is not None or options.scale is not None:
        from .resize import resize

        rgb = resize(rgb, max_size=options.max_size, scale=options.scale)
    # A warning (such as a missing colour matrix) goes into the file's summary line.
    notes = [str(w.message).removeprefix(task.source + ": ") for w in caught]
    return Developed(task, rgb, list(profile or []), notes, start)


def write_stage(developed: Developed, options: DevelopOptions, buffer: OutputBuffer | None = None) -> FileResult:
    """Encodes and writes a developed image (with the raw file's metadata unless
    stripped) under a temporary name, then renames it into place; ``buffer``
    is the calling thread's memory for the encoder's output, if it keeps one."""
    from .output import read_metadata
    from .writers import write_image

    task = developed.task
    try:
        with thread_warnings() as caught:
            metadata = None if options.strip_metadata else read_metadata(task.source)
        write_image(task.target, developed.rgb, format=options.format, overwrite=options.overwrite,
                    space=options.space if options.look == "profile" else "srgb", quality=options.quality,
                    metadata=metadata, buffer=buffer)
    except FileExistsError as e:
        return FileResult(task.source, task.target, "skipped", str(e))
    except Exception as e:  # noqa: BLE001 - one broken file must not end a batch
        return _failed(task, e)
    notes = developed.notes + [str(w.message).removeprefix(task.source + ": ") for w in caught]
    h, w = developed.rgb.shape[:2]
    return FileResult(task.source, task.target, "done", "; ".join(notes),
                      seconds=time.perf_counter() - developed.started, size=(w, h), profile=developed.profile)


def _failed(task: Task, e: Exception) -> FileResult:
    from .raw import RawFileError

    # A named file that is no raw file failed too: the user asked for it.
    known = isinstance(e, (RawFileError, OSError, ValueError))
    return FileResult(task.source, task.target, "failed", str(e) if known else f"{type(e).__name__}: {e}")


def develop_file(task: Task, options: DevelopOptions = DevelopOptions()) -> FileResult:
    """Develops one raw file into its planned image and reports how it went;
    never raises for a bad file, only for interruption."""
    developed = develop_stage(task, options)
    return developed if isinstance(developed, FileResult) else write_stage(developed, options)


def iter_develop(paths: Sequence[PathLike], out_dir: PathLike, options: DevelopOptions = DevelopOptions(), *,
                 jobs: int = 1, client: Client | str | None = None,
                 keep_folders: bool = False) -> Generator[FileResult, None, None]:
    """Yields a FileResult per file as each finishes (in finishing order).

    The outputs are planned first (``plan_outputs``: one name per file, never
    two files on one name). In this process the next file develops while
    earlier ones are encoded on two threads (the codecs run without the
    GIL), with at most two images in memory. ``jobs`` > 1 runs files on
    that many spawned processes; ``client`` (a ``distributed.Client`` or a scheduler address)
    sends them to a Dask cluster, whose workers must see the paths. Closing
    the iterator early (or Ctrl-C) cancels the files not yet started."""
    tasks = plan_outputs(paths, out_dir, options.format, keep_folders=keep_folders)
    for folder in sorted({os.path.dirname(t.target) for t in tasks}):
        os.makedirs(folder, exist_ok=True)
    if client is not None:
        yield from _on_dask(tasks, options, client)
    elif jobs > 1:
        yield from _on_pool(tasks, options, jobs)
    else:
        yield from _in_process(tasks, options)


def _in_process(tasks: list[Task], options: DevelopOptions) -> Iterator[FileResult]:
    from .output import OutputBuffer
    from .pipeline import run_pipelined

    # Each encoder thread keeps one output buffer for the run (it goes with
    # the thread): a 24 Mpx PNG is not allocated and faulted in again per file.
    buffers = threading.local()

    def write(task: Task, developed: Developed | FileResult) -> FileResult:
        if isinstance(developed, FileResult):
            return developed
        if not hasattr(buffers, "output"):
            buffers.output = OutputBuffer()
        return write_stage(developed, options, buffers.output)

    # Two encoders keep both cores busy when encoding is the slow side (PNG
    # and TIFF of large files); the two-image bound holds either way.
    encoders = min(2, os.cpu_count() or 1)
    for r in run_pipelined(tasks, lambda task: develop_stage(task, options), write, encoders=encoders):
        if r.error is not None:  # both stages report bad files as results; an error here is a fault of ours
            raise r.error
        assert r.value is not None
        yield r.value


def stop_on_terminate() -> None:
    """Turns SIGTERM into KeyboardInterrupt, so a terminated run unwinds like
    Ctrl-C: the file being written is removed, never left half written."""
    import signal

    def interrupt(signum: int, frame: object) -> None:
        raise KeyboardInterrupt(f"signal {signum}")

    if threading.current_thread() is threading.main_thread():
        signal.signal(signal.SIGTERM, interrupt)


def _on_pool(tasks: list[Task], options: DevelopOptions, jobs: int) -> Iterator[FileResult]:
    import multiprocessing
    from concurrent.futures import ProcessPoolExecutor, as_completed

    # Spawn, not fork: a forked child inherits locks held by other threads of
    # the parent (the usual batch deadlock) and a copy of its whole memory.
    pool = ProcessPoolExecutor(max_workers=jobs, mp_context=multiprocessing.get_context("spawn"),
                               initializer=stop_on_terminate)
    try:
        futures = [pool.submit(develop_file, t, options) for t in tasks]
        for future in as_completed(futures):
            yield future.result()
    finally:
        pool.shutdown(wait=True, cancel_futures=True)


def _on_dask(tasks: list[Task], options: DevelopOptions, client: Client | str) -> Iterator[FileResult]:
    try:
        from distributed import Client, as_completed
    except ImportError:
        raise ImportError("a Dask cluster needs the distributed package: pip install 'pyxa[batch]'") from None

    # A client made here from an address is closed here; the caller's stays open.
    own = isinstance(client, str)
    cluster = Client(client) if isinstance(client, str) else client
    futures = [cluster.submit(develop_file, t, options, pure=False) for t in tasks]
    try:
        for future in as_completed(futures):
            yield future.result()
    finally:
        cluster.cancel(futures)
        if own:
            cluster.close()


def develop_many(paths: Sequence[PathLike], out_dir: PathLike, *, jobs: int = 1, client: Client | str | None = None,
                 demosaic: str = "ea", wb: str | Sequence[float] = "camera",
                 exposure: float | Literal["auto"] = 0.0, format: str = "png",
                 bits: int = 8, overwrite: bool = False, look: str = "profile", space: str = "srgb",
                 dcp: PathLike | None = None, ignore_unknown_opcodes: bool = False, quality: int | None = None,
                 strip_metadata: bool = False, keep_folders: bool = False, max_size: int | None = None,
                 scale: float | None = None,
                 progress: Callable[[FileResult], None] | None = None) -> list[FileResult]:
    """Develops raw files into ``out_dir`` and returns one FileResult per path, in
    the order given (``progress`` is called as each finishes). For notebooks;
    ``pyxa develop`` is the same on the command line. ``wb``, ``look``,
    ``space``, ``dcp`` and ``ignore_unknown_opcodes`` as in ``pyxa.develop``;
    each image is written with the ICC profile of ``space`` and, unless
    ``strip_metadata``, the raw file's EXIF and XMP. Output names follow
    ``plan_outputs``.

    >>> results = pyxa.develop_many(glob.glob("card/*.CR2"), "out", jobs=2)  # doctest: +SKIP
    >>> [r.status for r in results]                                          # doctest: +SKIP
    ['done', 'done', 'skipped']
    """
    options = DevelopOptions(demosaic=demosaic, wb=wb if isinstance(wb, str) else tuple(wb), exposure=exposure,
                             format=format, bits=bits, overwrite=overwrite, look=look, space=space,
                             dcp=None if dcp is None else os.path.abspath(os.fspath(dcp)),
                             ignore_unknown_opcodes=ignore_unknown_opcodes, quality=quality,
                             strip_metadata=strip_metadata, max_size=max_size, scale=scale)
    by_source: dict[str, FileResult] = {}
    for result in iter_develop(paths, out_dir, options, jobs=jobs, client=client, keep_folders=keep_folders):
        by_source[result.source] = result
        if progress is not None:
            progress(result)
    return [by_source[os.path.abspath(os.fspath(p))] for p in paths]
