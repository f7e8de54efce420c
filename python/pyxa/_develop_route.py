"""Which way ``develop`` takes a raw file: a DNG (by its name, or a record
from read_dng) through pyxa.dng's development graph; any other format
through rawpy, either as the linear look's mosaic graph (exactly what it
always was) or, for a profile, a DCP or a white given as a temperature, as
a record for the same DNG development graph."""

from __future__ import annotations

import dataclasses
import os
import warnings
from dataclasses import dataclass
from typing import Any, Optional, Union

import numpy as np

from ._curves import Curve
from ._types import NodeTimings, PathLike
from ._white_balance import positive_gains
from .color.white import Chromaticity, Gains, Temperature, WhiteSetting, parse_white_setting
from .dng.records import CameraProfile, DngRecord
from .dng.tags import DngTagWarning
from .raw import RawImage, Source, read_raw

__all__ = ["DevelopRequest", "develop_source", "is_dng", "white_setting", "load_profile"]

WHITE_SETTINGS = (Temperature, Chromaticity, Gains)


@dataclass(frozen=True)
class DevelopRequest:
    """develop()'s arguments once the look is settled."""

    look: str
    wb: Any
    exposure: Union[float, str]  # stops, or "auto" (auto_exposure.py's rule, on top of the file's baseline)
    demosaic: str
    curve: Curve
    dtype: str
    orientation: Optional[int]
    space: str
    dcp: Union[CameraProfile, PathLike, None]
    ignore_unknown_opcodes: bool


def is_dng(source: Source) -> bool:
    """A path or file object whose name ends in .dng (any case)."""
    name = os.fspath(source) if isinstance(source, (str, os.PathLike)) else getattr(source, "name", "")
    return isinstance(name, str) and name.lower().endswith(".dng")


def white_setting(wb: Any, daylight: Optional[tuple[float, float, float]] = None) -> Optional[WhiteSetting]:
    """The WhiteSetting of develop()'s ``wb``: None for "camera" (the file's
    as-shot white); "daylight" as the file's daylight gains when the reader
    gives them, else the daylight light source; other text through
    parse_white_setting; three numbers as gains."""
    if isinstance(wb, WHITE_SETTINGS):
        return wb
    if isinstance(wb, str):
        if wb == "camera":
            return None
        if wb == "daylight" and daylight is not None:
            return Gains(*daylight)
        return parse_white_setting(wb)
    gains = positive_gains(wb)
    if gains is None:
        raise ValueError(f"wb needs three positive gains (red, green, blue), got {wb!r}")
    return Gains(float(gains[0]), float(gains[1]), float(gains[2]))


def load_profile(dcp: Union[CameraProfile, PathLike, None]) -> Optional[CameraProfile]:
    """The DCP's profile: read from a path, or a CameraProfile as given."""
    if dcp is None or isinstance(dcp, CameraProfile):
        return dcp
    from .dng import read_profile

    return read_profile(dcp)


def develop_source(source: Union[RawImage, DngRecord, Source], request: DevelopRequest, *,
                   out: Optional[np.ndarray], profile: bool) -> tuple[np.ndarray, NodeTimings]:
    """Develops ``source`` as ``request`` asks; returns the image and the
    per-node timings (empty unless ``profile``)."""
    if isinstance(source, DngRecord):
        return _develop_record(source, request, white_setting(request.wb), out, profile)
    if isinstance(source, RawImage):
        return _develop_raw_image(source, request, out, profile)
    if is_dng(source):
        from .dng import read_dng

        return _develop_record(read_dng(source), request, white_setting(request.wb), out, profile)
    with read_raw(source) as raw:
        return _develop_raw_image(raw, request, out, profile)


def _develop_record(record: DngRecord, request: DevelopRequest, white: Optional[WhiteSetting],
                    out: Optional[np.ndarray], profile: bool) -> tuple[np.ndarray, NodeTimings]:
    from .dng.develop_graph import DevelopChoices, dng_graph

    choices = DevelopChoices(
        look=request.look, demosaic=request.demosaic, dtype=request.dtype, space=request.space,
        white=white, exposure=0.0 if request.exposure == "auto" else float(request.exposure),
        curve=request.curve, orientation=request.orientation, profile=load_profile(request.dcp),
        ignore_unknown_opcodes=request.ignore_unknown_opcodes)
    built = dng_graph(record, choices)
    if request.exposure == "auto":
        # Measured with the graph's own white balance and baseline, then built again.
        stops = _record_auto_exposure(record, built)
        built = dng_graph(record, dataclasses.replace(choices, exposure=stops))
    for note in built.notes:
        warnings.warn(f"{record.name}: {note}", DngTagWarning, stacklevel=4)
    rgb = built.graph.run(out=out, profile=profile)
    if request.demosaic == "half" and not record.is_cfa:
        from .resize import resize

        rgb = resize(rgb, scale=0.5)  # a linear image has no CFA cells to make half-size pixels of
    return rgb, list(built.graph.last_profile or []) if profile else []


def _record_auto_exposure(record: DngRecord, built: Any) -> float:
    """The stops "auto" asks for: the share of the active area's white-balanced
    samples that reaches white, on top of the exposure the graph already gives."""
    from .auto_exposure import exposure_for_linear, exposure_for_mosaic
    from .dng.develop_graph import cfa_order

    gains = tuple(1.0 / built.clip_max)
    baseline = built.plan.exposure if built.plan is not None else 0.0
    top, left, bottom, right = record.active_area
    image = record.stored[top:bottom, left:right]
    rows, cols = record.black_level_repeat
    white = record.white_level
    if record.is_cfa:
        black = [float(record.black_level[y % rows, x % cols, 0]) for y in (0, 1) for x in (0, 1)]
        return exposure_for_mosaic(image, cfa_order(record), black, float(white[0]), gains, baseline=baseline,
                                   linearization=record.linearization_table)
    samples = image.shape[2]
    whites = [white[i % len(white)] for i in range(samples)]
    return exposure_for_linear(image, list(record.black_level[0, 0, :]), whites, gains, baseline=baseline,
                               linearization=record.linearization_table)


def _develop_raw_image(raw: RawImage, request: DevelopRequest, out: Optional[np.ndarray],
                       profile: bool) -> tuple[np.ndarray, NodeTimings]:
    plain_white = isinstance(request.wb, str) and request.wb in ("camera", "daylight") or \
        not isinstance(request.wb, (str, *WHITE_SETTINGS))
    if request.look == "linear" and request.dcp is None and plain_white:
        return _develop_mosaic(raw, request, out, profile)
    from ._raw_record import raw_image_record

    white = white_setting(request.wb, daylight=raw.wb_daylight)
    return _develop_record(raw_image_record(raw), request, white, out, profile)


def _develop_mosaic(raw: RawImage, request: DevelopRequest, out: Optional[np.ndarray],
                    profile: bool) -> tuple[np.ndarray, NodeTimings]:
    from .develop import develop_mosaic

    if request.space != "srgb":
        raise ValueError(f"the linear look renders sRGB; space={request.space!r} needs look=\"profile\"")
    gains: Any = request.wb
    if isinstance(gains, str):
        gains = raw.wb_camera if gains == "camera" else raw.wb_daylight
    exposure = request.exposure
    if exposure == "auto":
        from ._white_balance import relative_to_smallest
        from .auto_exposure import exposure_for_mosaic

        valid = positive_gains(gains)  # invalid gains are refused by develop_mosaic below
        exposure = 0.0 if valid is None else exposure_for_mosaic(raw.mosaic, raw.cfa, raw.black, raw.white,
                                                                 tuple(relative_to_smallest(valid)))
    result = develop_mosaic(raw.mosaic, raw.cfa, black=raw.black, white=raw.white, matrix=raw.matrix, wb=gains,
                            curve=request.curve, dtype=request.dtype, demosaic=request.demosaic,
                            orientation=raw.orientation if request.orientation is None else request.orientation,
                            exposure=float(exposure), out=out, profile=profile)
    return result if isinstance(result, tuple) else (result, [])
