"""What a user's type checker sees from the entry points whose result follows
``profile=`` or a ``with`` block. Never run: scripts/check_types.py has mypy
read it, and each assert_type fails the check when the type differs (Any
included)."""

from typing import Any, assert_type

import numpy as np
import numpy.typing as npt

import pyxa

Array = np.ndarray[tuple[Any, ...], np.dtype[Any]]
Timings = list[dict[str, Any]]


def develop_mosaic_follows_profile(mosaic: npt.NDArray[np.uint16], flag: bool) -> None:
    assert_type(pyxa.develop_mosaic(mosaic), Array)
    assert_type(pyxa.develop_mosaic(mosaic, "GRBG", 256, 4095, profile=False), Array)
    assert_type(pyxa.develop_mosaic(mosaic, profile=True), tuple[Array, Timings])
    assert_type(pyxa.develop_mosaic(mosaic, profile=flag), Array | tuple[Array, Timings])


def develop_follows_profile(flag: bool) -> None:
    assert_type(pyxa.develop("photo.dng"), Array)
    assert_type(pyxa.develop("photo.dng", wb=(2.0, 1.0, 1.5), profile=True), tuple[Array, Timings])
    assert_type(pyxa.develop("photo.dng", profile=flag), Array | tuple[Array, Timings])
    rgb, timings = pyxa.develop("photo.dng", profile=True)
    assert_type(rgb, Array)
    assert_type(timings[0]["exclusive_ns"], Any)


def graph_run_is_an_array_either_way(mosaic: npt.NDArray[np.uint16]) -> None:
    g = pyxa.Graph()
    g.normalize_raw(g.input(mosaic), black_level=256, white_level=4095)
    assert_type(g.run(mosaic, profile=True), Array)
    assert_type(g.run_all(mosaic), tuple[Array, ...])
    assert_type(g.last_profile, Timings | None)


def raw_image_is_a_context_manager() -> None:
    with pyxa.read_raw("photo.dng") as raw:
        assert_type(raw, pyxa.RawImage)
        assert_type(raw.mosaic, npt.NDArray[np.uint16])
        assert_type(pyxa.develop(raw, dtype="uint16"), Array)
    assert_type(raw.closed, bool)
