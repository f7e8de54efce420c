"""A two-stage pipeline in one process: while one image is encoded in a
thread of its own (the codecs release the GIL), the next file is decoded and
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
                  in_flight: int = 2) -> Iterator[PipelineResult[Item, Value]]:
    """Develops and encodes every item, overlapping the two, and yields one
    ``PipelineResult`` per item in input order as soon as it is finished.

    ``develop_one(item)`` runs in the caller's thread (decoding and the
    engine); ``encode_one(item, image)`` in one encoder thread. At most
    ``in_flight`` images exist at once, counting the one being developed and
    the one being encoded, so memory stays bounded whatever the number of
    files. An ``Exception`` of either side becomes that item's result and the
    run goes on; anything else (KeyboardInterrupt, SystemExit) from the
    development stops the run. A stop, or a caller that leaves the loop
    early, cancels the items not yet encoded and waits for the encode under
    way to finish, so no write is cut off halfway (the writers then leave
    either the whole file or none); the stop is then raised again.

    >>> for r in run_pipelined(paths, develop_file, write_file):   # doctest: +SKIP
    ...     print(r.item, "ok" if r.ok else r.error)
    """
    if isinstance(in_flight, bool) or not isinstance(in_flight, int) or in_flight < 1:
        raise ValueError(f"in_flight must be a whole number of images, at least 1, got {in_flight!r}")
    return _run(items, develop_one, encode_one, in_flight)


def _run(items: Iterable[Item], develop_one: Callable[[Item], Image], encode_one: Callable[[Item, Image], Value],
         in_flight: int) -> Iterator[PipelineResult[Item, Value]]:
    slots = threading.Semaphore(in_flight)
    work: queue.SimpleQueue[_Work[Item, Image]] = queue.SimpleQueue()
    done: queue.SimpleQueue[PipelineResult[Item, Value]] = queue.SimpleQueue()
    cancel = threading.Event()
    encoder = threading.Thread(target=_encode_all, args=(work, done, encode_one, slots, cancel),
                               name="pyxa-encoder", daemon=True)
    encoder.start()
    submitted = finished = 0
    try:
        for index, item in enumerate(items):
            # No free slot means `in_flight` images are under way: the next
            # thing to happen is one of them finishing, and its result comes.
            while not slots.acquire(blocking=False):
                finished += 1
                yield done.get()
            while not done.empty():
                finished += 1
                yield done.get()
            image = _develop(develop_one, item)
            if isinstance(image, _Failed):
                _drop_locals(image.error)
            work.put((index, item, image))
            del image
            submitted += 1
        while finished < submitted:
            finished += 1
            yield done.get()
    finally:
        if finished < submitted:
            cancel.set()
        work.put(None)
        encoder.join()


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
    """The encoder thread: encodes in arrival order until told to end; after
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
