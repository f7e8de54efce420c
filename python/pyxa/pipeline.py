"""A two-stage pipeline in one process: while images are encoded in threads
of their own (the codecs release the GIL), the next file is decoded and
developed, with at most two images alive at once and results in input order."""

from __future__ import annotations

import queue
import threading
import traceback
from collections.abc import Callable, Iterable, Iterator
from dataclasses import dataclass
from typing import Generic, Literal, TypeVar, Union

__all__ = ["PipelineResult", "run_pipelined"]

Item = TypeVar("Item")
Image = TypeVar("Image")
Value = TypeVar("Value")
Stage = Literal["develop", "encode"]


@dataclass(frozen=True)
class PipelineResult(Generic[Item, Value]):
    """What became of one item: ``value`` is what ``encode_one`` returned, or
    ``error`` the exception either side raised and ``stage`` which side."""

    index: int
    item: Item
    value: Value | None = None
    error: BaseException | None = None
    stage: Stage | None = None

    @property
    def ok(self) -> bool:
        """True when the item was developed and encoded."""
        return self.error is None


@dataclass(frozen=True)
class _Failed:
    """A development that raised, passed through the encoder so that its
    result keeps its place in the input order."""

    error: BaseException


# One entry of the encoder's queue: the item's place, the item, and its image
# or the failure of its development; None tells the encoder that no more comes.
_Work = Union[tuple[int, Item, Union[Image, _Failed]], None]


def run_pipelined(items: Iterable[Item], develop_one: Callable[[Item], Image],
                  encode_one: Callable[[Item, Image], Value], *,
                  in_flight: int = 2, encoders: int = 1) -> Iterator[PipelineResult[Item, Value]]:
    """Develops and encodes every item, overlapping the two, and yields one
    ``PipelineResult`` per item in input order as soon as it is finished.

    ``develop_one(item)`` runs in the caller's thread (decoding and the
    engine); ``encode_one(item, image)`` in ``encoders`` threads (more than
    one when encoding is the slow side and ``encode_one`` may run
    concurrently with itself). At most ``in_flight`` images exist at once,
    counting the one being developed and those being encoded, so memory
    stays bounded whatever the number of files. An ``Exception`` of either
    side becomes that item's result and the run goes on; anything else (KeyboardInterrupt, SystemExit) from the
    development stops the run. A stop, or a caller that leaves the loop
    early, cancels the items not yet encoded and waits for the encodes under
    way to finish, so no write is cut off halfway (the writers then leave
    either the whole file or none); the stop is then raised again.

    >>> for r in run_pipelined(paths, develop_file, write_file):   # doctest: +SKIP
    ...     print(r.item, "ok" if r.ok else r.error)
    """
    if isinstance(in_flight, bool) or not isinstance(in_flight, int) or in_flight < 1:
        raise ValueError(f"in_flight must be a whole number of images, at least 1, got {in_flight!r}")
    if isinstance(encoders, bool) or not isinstance(encoders, int) or encoders < 1:
        raise ValueError(f"encoders must be a whole number of threads, at least 1, got {encoders!r}")
    return _run(items, develop_one, encode_one, in_flight, encoders)


def _run(items: Iterable[Item], develop_one: Callable[[Item], Image], encode_one: Callable[[Item, Image], Value],
         in_flight: int, encoders: int) -> Iterator[PipelineResult[Item, Value]]:
    slots = threading.Semaphore(in_flight)
    work: queue.SimpleQueue[_Work[Item, Image]] = queue.SimpleQueue()
    done: queue.SimpleQueue[PipelineResult[Item, Value]] = queue.SimpleQueue()
    cancel = threading.Event()
    threads = [threading.Thread(target=_encode_all, args=(work, done, encode_one, slots, cancel),
                                name="pyxa-encoder", daemon=True) for _ in range(encoders)]
    for thread in threads:
        thread.start()
    results = _InOrder(done)
    submitted = 0
    try:
        for index, item in enumerate(items):
            # No free slot means `in_flight` images are under way: the next
            # thing to happen is one of them finishing, which frees its slot.
            while not slots.acquire(blocking=False):
                yield from results.after_one()
            yield from results.finished()
            image = _develop(develop_one, item)
            if isinstance(image, _Failed):
                _drop_locals(image.error)
            work.put((index, item, image))
            del image
            submitted += 1
        while results.given < submitted:
            yield from results.after_one()
    finally:
        if results.given < submitted:
            cancel.set()
        for _ in threads:
            work.put(None)
        for thread in threads:
            thread.join()


class _InOrder(Generic[Item, Value]):
    """Results as the encoders finish them, handed on in input order: one
    that finishes before an earlier one waits here for it."""

    def __init__(self, done: queue.SimpleQueue[PipelineResult[Item, Value]]) -> None:
        self.done = done
        self.early: dict[int, PipelineResult[Item, Value]] = {}
        self.given = 0

    def after_one(self) -> list[PipelineResult[Item, Value]]:
        """Waits for one result to finish; then those now next in order."""
        self._keep(self.done.get())
        return self.finished()

    def finished(self) -> list[PipelineResult[Item, Value]]:
        """The results that are finished and next in order, without waiting."""
        while not self.done.empty():
            self._keep(self.done.get())
        out = []
        while self.given in self.early:
            out.append(self.early.pop(self.given))
            self.given += 1
        return out

    def _keep(self, result: PipelineResult[Item, Value]) -> None:
        self.early[result.index] = result


def _develop(develop_one: Callable[[Item], Image], item: Item) -> Union[Image, _Failed]:
    try:
        return develop_one(item)
    except Exception as error:
        return _Failed(error)


def _drop_locals(error: BaseException | None) -> None:
    """Empties the frames of an error's tracebacks (and of the errors it
    chains) of their variables: a result the caller keeps must not keep alive
    the image or the raw file the failing side was holding. Called once the
    frame that caught the error has returned, as a running frame cannot be emptied."""
    seen: set[int] = set()
    pending = [error]
    while pending:
        e = pending.pop()
        if e is None or id(e) in seen:
            continue
        seen.add(id(e))
        traceback.clear_frames(e.__traceback__)
        pending += [e.__cause__, e.__context__]


def _encode_all(work: queue.SimpleQueue[_Work[Item, Image]], done: queue.SimpleQueue[PipelineResult[Item, Value]],
                encode_one: Callable[[Item, Image], Value], slots: threading.Semaphore,
                cancel: threading.Event) -> None:
    """An encoder thread: encodes in arrival order until told to end; after
    a cancel it only frees the slots of what is left."""
    while True:
        entry = work.get()
        if entry is None:
            return
        index, item, image = entry
        del entry
        if cancel.is_set():
            del image
            slots.release()
            continue
        result = _encode(encode_one, index, item, image)
        # The image goes before its slot is freed, so the next development
        # cannot start while this one is still held.
        del image
        _drop_locals(result.error)
        slots.release()
        done.put(result)


def _encode(encode_one: Callable[[Item, Image], Value], index: int, item: Item,
            image: Union[Image, _Failed]) -> PipelineResult[Item, Value]:
    if isinstance(image, _Failed):
        return PipelineResult(index, item, error=image.error, stage="develop")
    try:
        return PipelineResult(index, item, value=encode_one(item, image))
    except BaseException as error:  # a thread's exception has nowhere else to go
        return PipelineResult(index, item, error=error, stage="encode")
