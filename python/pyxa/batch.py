"""Developing many raw files: one file per task, run in this process, on a
pool of spawned processes, or on a Dask distributed cluster. The engine holds
the GIL for a call, so parallelism comes from processes, never threads."""

from __future__ import annotations

import os
import time
import warnings
from collections.abc import Callable, Generator, Iterable, Iterator, Sequence
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Optional, Union

from ._types import NodeTimings, PathLike

if TYPE_CHECKING:  # an optional dependency, imported where a cluster is used
    from distributed import Client

__all__ = ["DevelopOptions", "FileResult", "develop_file", "develop_many", "iter_develop", "output_path",
           "RAW_EXTENSIONS", "expand_inputs"]

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
    exposure: float = 0.0
    format: str = "png"
    bits: int = 8
    overwrite: bool = False
    profile: bool = False
    look: str = "profile"
    space: str = "srgb"
    dcp: Optional[str] = None  # a DCP file's path
    ignore_unknown_opcodes: bool = False


@dataclass
class FileResult:
    """The outcome of one file: status "done", "skipped" or "failed"."""

    source: str
    output: str
    status: str
    message: str = ""
    seconds: float = 0.0
    size: tuple[int, int] = (0, 0)
    profile: NodeTimings = field(default_factory=list)

    def summary(self) -> str:
        """One line for people."""
        name = os.path.basename(self.source)
        if self.status == "done":
            w, h = self.size
            note = f"  ({self.message})" if self.message else ""
            return f"{name} -> {self.output}  {w}x{h}  {self.seconds:.2f} s{note}"
        return f"{name}: {self.status}: {self.message}"


def output_path(source: PathLike, out_dir: PathLike, fmt: str) -> str:
    from .writers import FORMATS

    stem = os.path.splitext(os.path.basename(os.fspath(source)))[0]
    return os.path.join(os.fspath(out_dir), stem + FORMATS[fmt])


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


def develop_file(source: PathLike, out_dir: PathLike, options: DevelopOptions = DevelopOptions()) -> FileResult:
    """Develops one raw file into ``out_dir`` and reports how it went; never raises
    for a bad file (a worker must keep going), only for interruption."""
    from .develop import develop
    from .raw import RawFileError
    from .writers import write_image

    source = os.fspath(source)
    target = output_path(source, out_dir, options.format)
    if not options.overwrite and os.path.lexists(target):
        return FileResult(source, target, "skipped", f"{target} exists (--overwrite replaces it)")
    start = time.perf_counter()
    try:
        dtype = "uint16" if options.bits == 16 else "uint8"
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            result = develop(source, wb=options.wb, exposure=options.exposure, demosaic=options.demosaic,
                             dtype=dtype, profile=options.profile, look=options.look, space=options.space,
                             dcp=options.dcp, ignore_unknown_opcodes=options.ignore_unknown_opcodes)
        rgb, profile = result if isinstance(result, tuple) else (result, [])
        write_image(target, rgb, format=options.format, overwrite=options.overwrite, space=options.space)
    except FileExistsError as e:
        return FileResult(source, target, "skipped", str(e))
    except RawFileError as e:
        # `pyxa develop photos/*` meets sidecar and text files too: one that
        # neither is a raw file nor is named like one is passed over.
        passed_over = e.not_raw and os.path.splitext(source)[1].lower() not in RAW_EXTENSIONS
        return FileResult(source, target, "skipped" if passed_over else "failed", str(e))
    except (OSError, ValueError) as e:
        return FileResult(source, target, "failed", str(e))
    except Exception as e:  # noqa: BLE001 - one broken file must not end a batch
        return FileResult(source, target, "failed", f"{type(e).__name__}: {e}")
    # A warning (such as a missing colour matrix) goes into the file's summary line.
    notes = "; ".join(str(w.message).removeprefix(source + ": ") for w in caught)
    return FileResult(source, target, "done", notes, seconds=time.perf_counter() - start,
                      size=(rgb.shape[1], rgb.shape[0]), profile=list(profile or []))


def iter_develop(paths: Sequence[PathLike], out_dir: PathLike, options: DevelopOptions = DevelopOptions(), *,
                 jobs: int = 1, client: Client | str | None = None) -> Generator[FileResult, None, None]:
    """Yields a FileResult per file as each finishes (in finishing order).

    ``jobs`` > 1 runs files on that many spawned processes; ``client`` (a
    ``distributed.Client`` or a scheduler address) sends them to a Dask cluster,
    whose workers must see the paths. Closing the iterator early (or Ctrl-C)
    cancels the files not yet started."""
    os.makedirs(out_dir, exist_ok=True)
    # Absolute paths: a worker process or a cluster node may run elsewhere.
    sources = [os.path.abspath(os.fspath(p)) for p in paths]
    target = os.path.abspath(os.fspath(out_dir))
    if client is not None:
        yield from _on_dask(sources, target, options, client)
    elif jobs > 1:
        yield from _on_pool(sources, target, options, jobs)
    else:
        for path in sources:
            yield develop_file(path, target, options)


def _on_pool(paths: list[str], out_dir: str, options: DevelopOptions, jobs: int) -> Iterator[FileResult]:
    import multiprocessing
    from concurrent.futures import ProcessPoolExecutor, as_completed

    # Spawn, not fork: a forked child inherits locks held by other threads of
    # the parent (the usual batch deadlock) and a copy of its whole memory.
    pool = ProcessPoolExecutor(max_workers=jobs, mp_context=multiprocessing.get_context("spawn"))
    try:
        futures = [pool.submit(develop_file, p, out_dir, options) for p in paths]
        for future in as_completed(futures):
            yield future.result()
    finally:
        pool.shutdown(wait=True, cancel_futures=True)


def _on_dask(paths: list[str], out_dir: str, options: DevelopOptions, client: Client | str) -> Iterator[FileResult]:
    from distributed import Client, as_completed

    # A client made here from an address is closed here; the caller's stays open.
    own = isinstance(client, str)
    cluster = Client(client) if isinstance(client, str) else client
    futures = [cluster.submit(develop_file, p, out_dir, options, pure=False) for p in paths]
    try:
        for future in as_completed(futures):
            yield future.result()
    finally:
        cluster.cancel(futures)
        if own:
            cluster.close()


def develop_many(paths: Sequence[PathLike], out_dir: PathLike, *, jobs: int = 1, client: Client | str | None = None,
                 demosaic: str = "ea", wb: str | Sequence[float] = "camera", exposure: float = 0.0, format: str = "png",
                 bits: int = 8, overwrite: bool = False, look: str = "profile", space: str = "srgb",
                 dcp: PathLike | None = None, ignore_unknown_opcodes: bool = False,
                 progress: Callable[[FileResult], None] | None = None) -> list[FileResult]:
    """Develops raw files into ``out_dir`` and returns one FileResult per path, in
    the order given. For notebooks; ``pyxa develop`` is the same on the command line.
    ``wb``, ``look``, ``space``, ``dcp`` and ``ignore_unknown_opcodes`` as in
    ``pyxa.develop``; each image is written with the ICC profile of ``space``.

    >>> results = pyxa.develop_many(glob.glob("card/*.CR2"), "out", jobs=2)  # doctest: +SKIP
    >>> [r.status for r in results]                                          # doctest: +SKIP
    ['done', 'done', 'skipped']
    """
    options = DevelopOptions(demosaic=demosaic, wb=wb if isinstance(wb, str) else tuple(wb), exposure=exposure,
                             format=format, bits=bits, overwrite=overwrite, look=look, space=space,
                             dcp=None if dcp is None else os.path.abspath(os.fspath(dcp)),
                             ignore_unknown_opcodes=ignore_unknown_opcodes)
    by_source: dict[str, FileResult] = {}
    for result in iter_develop(paths, out_dir, options, jobs=jobs, client=client):
        by_source[result.source] = result
        if progress is not None:
            progress(result)
    return [by_source[os.path.abspath(os.fspath(p))] for p in paths]
