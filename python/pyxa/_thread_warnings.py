"""Warnings collected per thread. A batch develops one file while its encoder
threads write others, and each file's warnings belong in that file's summary.
The standard ``warnings.catch_warnings`` swaps process-wide state: two
threads using it at once take each other's warnings, and the one that leaves
first puts back filters the other still relies on, so a later repeat of a
warning is dropped."""

from __future__ import annotations

import threading
import warnings
from collections.abc import Iterator
from contextlib import contextmanager
from typing import Any, Optional, TextIO

__all__ = ["thread_warnings"]

_lock = threading.Lock()
_local = threading.local()
# While any thread collects: how many do, and the handler and filters to put
# back when the last one leaves.
_collecting = 0
_saved_handler: Any = None
_saved_filters: Any = None


@contextmanager
def thread_warnings() -> Iterator[list[warnings.WarningMessage]]:
    """Collects every warning the calling thread raises inside the block,
    each one, also a repeat from the same place (as the "always" filter).
    Warnings of other threads meanwhile go where they went before the block,
    under the same "always" filter; the handler and filters come back when the
    last collecting thread leaves."""
    caught: list[warnings.WarningMessage] = []
    outer = getattr(_local, "caught", None)
    _start()
    _local.caught = caught
    try:
        yield caught
    finally:
        _local.caught = outer
        _stop()


def _start() -> None:
    global _collecting, _saved_handler, _saved_filters
    with _lock:
        if _collecting == 0:
            _saved_handler = warnings.showwarning
            _saved_filters = warnings.filters
            warnings.filters = list(_saved_filters)
            warnings.simplefilter("always")
            warnings.showwarning = _route
        _collecting += 1


def _stop() -> None:
    global _collecting, _saved_handler, _saved_filters
    with _lock:
        _collecting -= 1
        if _collecting == 0:
            warnings.showwarning = _saved_handler
            warnings.filters = _saved_filters
            _filters_changed()
            _saved_filters = None
            # The handler stays named: a thread that began its warning
            # just before may still be on its way to it.


def _filters_changed() -> None:
    # The interpreter caches which warnings were already shown per filter
    # list; catch_warnings tells it the list changed the same way.
    mutated = getattr(warnings, "_filters_mutated", None)
    if mutated is not None:
        mutated()


def _route(message: Warning | str, category: type[Warning], filename: str, lineno: int,
           file: Optional[TextIO] = None, line: Optional[str] = None) -> None:
    caught = getattr(_local, "caught", None)
    if caught is not None:
        caught.append(warnings.WarningMessage(message, category, filename, lineno, file, line))
    else:
        _saved_handler(message, category, filename, lineno, file, line)
