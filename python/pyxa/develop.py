"""Developing a raw mosaic to a finished RGB image: the usual development graph
(normalise, demosaic, white balance with highlight clipping and colour matrix,
output curve, orientation) built for an array or a raw file, run as one call."""

from __future__ import annotations

import math
from collections.abc import Sequence
from contextlib import AbstractContextManager, nullcontext
from typing import Any, Literal, Union, overload

import numpy as np
import numpy.typing as npt

from ._types import NodeTimings
from ._white_balance import positive_gains, relative_to_smallest
from .graph import Graph
from .raw import CFA_ORDERS, RawImage, Source, read_raw

__all__ = ["DEMOSAIC_CHOICES", "WB_CHOICES", "develop", "develop_mosaic", "curve_table"]

# The demosaic= names, each a demosaic op of the graph (the command offers the same).
DEMOSAIC_CHOICES = ("ea", "ea_full", "bilinear")
# The white balances a raw file records, by the names wb= takes.
WB_CHOICES = ("camera", "daylight")
Curve = Union[str, tuple[float, float]]
BlackLevels = Union[float, Sequence[float], npt.NDArray[np.floating[Any]]]
Gains = Union[Sequence[float], npt.NDArray[np.floating[Any]]]


def _toe_power(gamma: float, slope: float) -> tuple[float, float]:
    """The junction x0 and offset a of a curve that is slope*x below x0 and
    (1 + a) * x**(1/gamma) - a above it, joined with the same value and slope.

    That is how camera raw converters build a "gamma with a linear toe" from a
    (gamma, toe slope) pair; (2.4, 12.92) lands on x0 = 0.00304, a = 0.0550,
    within rounding of sRGB's published constants."""
    p = 1.0 / gamma
    if slope <= 0 or p >= 1:
        return 0.0, 0.0

    # Equal values and equal slopes at x0 leave one equation in x0:
    # slope * x0 * (1/p - 1) == slope * x0**(1 - p) / p - 1, solved by bisection.
    def excess(x0: float) -> float:
        return slope * math.pow(x0, 1 - p) / p - 1 - slope * x0 * (1 / p - 1)

    lo, hi = 1e-12, 1.0
    for _ in range(100):
        mid = (lo + hi) / 2
        if excess(mid) < 0:
            lo = mid
        else:
            hi = mid
    x0 = (lo + hi) / 2
    return x0, slope * x0 * (1 / p - 1)


_CURVES: dict[tuple[Curve, int], np.ndarray] = {}


def _curve_values(curve: Curve, entries: int) -> np.ndarray:
    """The curve sampled at ``entries`` points over [0, 1], kept for the next call."""
    key = (curve, entries)
    if key not in _CURVES:
        if len(_CURVES) >= 16:
            _CURVES.clear()
        _CURVES[key] = _sample_curve(curve, entries)
    return _CURVES[key]


def _sample_curve(curve: Curve, entries: int) -> np.ndarray:
    x = np.linspace(0.0, 1.0, entries)
    if curve == "linear":
        y = x
    elif curve == "srgb":
        y = np.where(x <= 0.0031308, 12.92 * x, 1.055 * np.power(x, 1 / 2.4) - 0.055)
    else:
        assert not isinstance(curve, str)
        gamma, slope = curve
        x0, a = _toe_power(float(gamma), float(slope))
        y = np.where(x < x0, slope * x, (1 + a) * np.power(x, 1 / gamma) - a)
    y.flags.writeable = False
    return y


def curve_table(curve: Curve, dtype: npt.DTypeLike) -> np.ndarray:
    """The output curve as the float32 table the colour transform looks up.

    ``curve`` is "srgb", "linear" or a (gamma, toe slope) pair such as
    (2.4, 12.92). Integer outputs get half a step added to every entry: the
    engine truncates toward zero when it stores an integer, so this makes the
    stored value the nearest one instead of the one below."""
    if isinstance(curve, str):
        if curve not in ("srgb", "linear"):
            raise ValueError(f'curve must be "srgb", "linear" or a (gamma, slope) pair, got {curve!r}')
        key: Curve = curve
    else:
        try:
            gamma, slope = (float(v) for v in curve)
        except (TypeError, ValueError):
            raise ValueError(f'curve must be "srgb", "linear" or a (gamma, slope) pair, got {curve!r}') from None
        if not (gamma >= 1 and slope >= 0 and math.isfinite(gamma) and math.isfinite(slope)):
            raise ValueError(f"curve (gamma, slope) needs gamma >= 1 and slope >= 0, got {curve!r}")
        key = (gamma, slope)
    dt = np.dtype(dtype)
    # Linear needs only its two ends; a gamma curve is steep near black, where
    # 16-bit and float outputs need a fine table to stay within a step.
    entries = 2 if key == "linear" else 4096 if dt == np.uint8 else 65536
    table = _curve_values(key, entries)
    if dt.kind == "u":
        table = table + 0.5 / np.iinfo(dt).max
    return table.astype(np.float32)


def _black_levels(black: BlackLevels) -> tuple[int, list[float]]:
    levels = np.asarray(black, dtype=np.float64).ravel()
    if levels.size == 1:
        return 1, [float(levels[0])]
    if levels.size == 4:
        return 2, [float(v) for v in levels]
    raise ValueError(f"black must be one value or four (one per CFA site), got {levels.size}")


def _graph_gains(wb: Gains | None) -> npt.NDArray[np.float64]:
    if wb is None:
        return np.ones(3)
    gains = positive_gains(wb)
    if gains is None:
        raise ValueError(f"wb needs three positive gains (red, green, blue), got {wb!r}")
    return relative_to_smallest(gains)


# What develop_mosaic and develop return follows ``profile``: the array
# alone, or the array and the per-node timings (a bool variable: either).
@overload
def develop_mosaic(mosaic: np.ndarray, cfa: str = ..., black: BlackLevels = ..., white: float | None = ...,
                   matrix: npt.ArrayLike | None = ..., wb: Gains | None = ..., curve: Curve = ...,
                   dtype: npt.DTypeLike = ..., demosaic: str = ..., orientation: int = ..., *,
                   exposure: float = ..., out: np.ndarray | None = ...,
                   profile: Literal[False] = ...) -> np.ndarray: ...


@overload
def develop_mosaic(mosaic: np.ndarray, cfa: str = ..., black: BlackLevels = ..., white: float | None = ...,
                   matrix: npt.ArrayLike | None = ..., wb: Gains | None = ..., curve: Curve = ...,
                   dtype: npt.DTypeLike = ..., demosaic: str = ..., orientation: int = ..., *,
                   exposure: float = ..., out: np.ndarray | None = ...,
                   profile: Literal[True]) -> tuple[np.ndarray, NodeTimings]: ...


@overload
def develop_mosaic(mosaic: np.ndarray, cfa: str = ..., black: BlackLevels = ..., white: float | None = ...,
                   matrix: npt.ArrayLike | None = ..., wb: Gains | None = ..., curve: Curve = ...,
                   dtype: npt.DTypeLike = ..., demosaic: str = ..., orientation: int = ..., *,
                   exposure: float = ..., out: np.ndarray | None = ...,
                   profile: bool) -> np.ndarray | tuple[np.ndarray, NodeTimings]: ...


def develop_mosaic(
        mosaic: np.ndarray,
        cfa: str = "RGGB",
        black: BlackLevels = 0,
        white: float | None = None,
        matrix: npt.ArrayLike | None = None,
        wb: Gains | None = None,
        curve: Curve = "srgb",
        dtype: npt.DTypeLike = "uint8",
        demosaic: str = "ea",
        orientation: int = 1,
        *,
        exposure: float = 0.0,
        out: np.ndarray | None = None,
        profile: bool = False,
) -> np.ndarray | tuple[np.ndarray, NodeTimings]:
    """Develops a Bayer mosaic into an RGB image in one fused engine call.

    The graph: normalize_raw (black and white level) -> demosaic ->
    clip_and_transform_color (white balance, highlight clipping, camera to
    output matrix, exposure) -> transform_color (output curve, output dtype)
    -> orientation. No intermediate image is made.

    Parameters
    ----------
    mosaic : (H, W) uint16 or float32 array, the visible sensor area. A view
        with padded rows (such as rawpy's ``raw_image_visible``) is read in place.
    cfa : "RGGB", "GRBG", "GBRG" or "BGGR", the 2x2 cell from the top-left pixel.
    black : one black level, or four, one per site of the 2x2 cell (row-major).
    white : the white level; default the dtype's maximum (65535, or 1.0 for float32).
    matrix : 3x3 camera RGB -> output RGB (rows summing to 1 keep white white);
        default identity.
    wb : white-balance gains (red, green, blue), scaled so the smallest is 1;
        each channel is clipped at the sensor's white before the gains mix the
        channels, so highlights stay neutral. Default (1, 1, 1).
    curve : "srgb", "linear" or a (gamma, toe slope) pair such as (2.4, 12.92).
    dtype : "uint8", "uint16" or "float32" (NumPy dtypes accepted).
    demosaic : "ea" (edge-aware, fast), "ea_full" (edge-aware, better on fine
        detail) or "bilinear".
    orientation : the TIFF/EXIF orientation 1-8 to apply to the pixels;
        5-8 swap height and width.
    exposure : brightening in stops, applied with the matrix.
    out : an array of the result's shape and dtype to write into.
    profile : also return the per-node times (dicts with "node_id", "op",
        "exclusive_ns").

    Returns the (H, W, 3) array (W, H for orientations 5-8), or
    ``(array, profile)`` with ``profile=True``.

    >>> import numpy as np, pyxa
    >>> mosaic = np.full((8, 8), 2048, np.uint16)       # a grey 12-bit capture
    >>> rgb = pyxa.develop_mosaic(mosaic, "RGGB", black=256, white=4095)
    >>> rgb.shape, rgb.dtype, rgb[4, 4].tolist()
    ((8, 8, 3), dtype('uint8'), [182, 182, 182])
    """
    graph = development_graph(mosaic, cfa=cfa, black=black, white=white, matrix=matrix, wb=wb, curve=curve,
                              dtype=dtype, demosaic=demosaic, orientation=orientation, exposure=exposure)
    result = graph.run(mosaic, out=out, profile=profile)
    if profile:
        return result, graph.last_profile or []
    return result


def development_graph(mosaic: np.ndarray, *, cfa: str, black: BlackLevels, white: float | None,
                      matrix: npt.ArrayLike | None, wb: Gains | None, curve: Curve, dtype: npt.DTypeLike,
                      demosaic: str, orientation: int, exposure: float) -> Graph:
    """The Graph ``develop_mosaic`` runs, with ``mosaic`` bound as its input."""
    if not isinstance(mosaic, np.ndarray) or mosaic.ndim != 2:
        raise ValueError(f"mosaic must be a 2-D array (height, width), got {getattr(mosaic, 'shape', mosaic)!r}")
    if cfa not in CFA_ORDERS:
        raise ValueError(f"cfa must be one of {', '.join(CFA_ORDERS)}, got {cfa!r}")
    if demosaic not in DEMOSAIC_CHOICES:
        raise ValueError(f"demosaic must be one of {', '.join(DEMOSAIC_CHOICES)}, got {demosaic!r}")
    if isinstance(orientation, bool) or not isinstance(orientation, (int, np.integer)) or not 1 <= orientation <= 8:
        raise ValueError(f"orientation must be an integer from 1 to 8, got {orientation!r}")
    out_dtype = np.dtype(dtype)
    if white is None:
        white = float(np.iinfo(mosaic.dtype).max) if mosaic.dtype.kind == "u" else 1.0
    repeat, levels = _black_levels(black)
    gains = _graph_gains(wb)
    cam = np.eye(3) if matrix is None else np.asarray(matrix, dtype=np.float64)
    if cam.shape != (3, 3):
        raise ValueError(f"matrix must be 3x3, got shape {cam.shape}")
    if not math.isfinite(exposure):
        raise ValueError(f"exposure must be a finite number of stops, got {exposure!r}")

    g = Graph()
    x = g.input(mosaic)
    x = g.normalize_raw(x, black_repeat_rows=repeat, black_repeat_cols=repeat, black_level=levels,
                        white_level=[float(white)])
    if demosaic == "bilinear":
        x = g.bilinear_demosaic(x, cfa_pattern=cfa)
    else:
        x = g.ea_demosaic(x, cfa_pattern=cfa, fast=True if demosaic == "ea" else None)
    x = g.clip_and_transform_color(x, clip_max=1.0 / gains,
                                   matrix=(2.0 ** exposure) * (cam @ np.diag(gains)))
    x = g.transform_color(x, dest_dtype=out_dtype, output_lut=curve_table(curve, out_dtype))
    if orientation != 1:
        x = g.orientation(x, orientation=int(orientation))
    return g


@overload
def develop(source: RawImage | Source, *, wb: str | Gains = ..., exposure: float = ..., demosaic: str = ...,
            curve: Curve = ..., dtype: npt.DTypeLike = ..., orientation: int | None = ...,
            out: np.ndarray | None = ..., profile: Literal[False] = ...) -> np.ndarray: ...


@overload
def develop(source: RawImage | Source, *, wb: str | Gains = ..., exposure: float = ..., demosaic: str = ...,
            curve: Curve = ..., dtype: npt.DTypeLike = ..., orientation: int | None = ...,
            out: np.ndarray | None = ..., profile: Literal[True]) -> tuple[np.ndarray, NodeTimings]: ...


@overload
def develop(source: RawImage | Source, *, wb: str | Gains = ..., exposure: float = ..., demosaic: str = ...,
            curve: Curve = ..., dtype: npt.DTypeLike = ..., orientation: int | None = ...,
            out: np.ndarray | None = ..., profile: bool) -> np.ndarray | tuple[np.ndarray, NodeTimings]: ...


def develop(source: RawImage | Source, *, wb: str | Gains = "camera", exposure: float = 0.0, demosaic: str = "ea",
            curve: Curve = "srgb", dtype: npt.DTypeLike = "uint8", orientation: int | None = None,
            out: np.ndarray | None = None, profile: bool = False) -> np.ndarray | tuple[np.ndarray, NodeTimings]:
    """Develops a camera raw file (a path, a binary file object, or a
    ``RawImage`` from ``read_raw``) into an RGB array, in one engine call.

    wb : "camera" (as shot), "daylight", or explicit (red, green, blue) gains.
    exposure : brightening in stops. demosaic : "ea", "ea_full" or "bilinear".
    curve : "srgb", "linear" or a (gamma, toe slope) pair. dtype : "uint8",
    "uint16" or "float32". orientation : default the file's own; the pixels are
    turned, so the result is upright. ``out`` and ``profile`` as in
    ``develop_mosaic``. A file opened here is closed before the return; a
    ``RawImage`` passed in stays open.

    >>> rgb = pyxa.develop("photo.dng", dtype="uint16")   # doctest: +SKIP
    """
    with _opened(source) as raw:
        gains: Gains
        if isinstance(wb, str):
            if wb not in WB_CHOICES:
                raise ValueError(f'wb must be "camera", "daylight" or three gains, got {wb!r}')
            gains = raw.wb_camera if wb == "camera" else raw.wb_daylight
        else:
            gains = wb
        return develop_mosaic(raw.mosaic, raw.cfa, black=raw.black, white=raw.white, matrix=raw.matrix, wb=gains,
                              curve=curve, dtype=dtype, demosaic=demosaic,
                              orientation=raw.orientation if orientation is None else orientation,
                              exposure=exposure, out=out, profile=profile)


def _opened(source: RawImage | Source) -> AbstractContextManager[RawImage]:
    """The record to develop, as a context: a file is read here and closed at
    the end; a RawImage the caller holds is left open."""
    if isinstance(source, RawImage):
        return nullcontext(source)
    return read_raw(source)
