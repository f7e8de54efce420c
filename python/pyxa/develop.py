"""Developing raw images to finished RGB images, each in one engine call: a
raw file through its camera profile or the linear look (``develop``: DNG
files through pyxa.dng, other formats through rawpy), and a bare mosaic
through the linear look's graph (``develop_mosaic``: normalise, demosaic,
white balance with highlight clipping and colour matrix, output curve,
orientation)."""

from __future__ import annotations

import math
from collections.abc import Sequence
from typing import Any, Literal, Optional, Union, overload

import numpy as np
import numpy.typing as npt

from ._curves import Curve, curve_table
from ._develop_route import DevelopRequest, develop_source
from ._types import NodeTimings, PathLike
from ._white_balance import positive_gains, relative_to_smallest
from .color.white import WhiteSetting
from .dng.records import CameraProfile, DngRecord
from .graph import Graph
from .raw import CFA_ORDERS, RawImage, Source

__all__ = ["DEMOSAIC_CHOICES", "WB_CHOICES", "LOOK_CHOICES", "develop", "develop_mosaic", "curve_table"]

# The demosaic= names, each a demosaic op of the graph (the command offers the same).
# "half" makes one pixel of each 2 x 2 CFA cell: a half-size image, fast, for previews.
DEMOSAIC_CHOICES = ("ea", "ea_full", "bilinear", "half")
# The white balances a raw file records, by the names wb= takes.
WB_CHOICES = ("camera", "daylight")
LOOK_CHOICES = ("profile", "linear")
BlackLevels = Union[float, Sequence[float], npt.NDArray[np.floating[Any]]]
Gains = Union[Sequence[float], npt.NDArray[np.floating[Any]]]


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
        detail), "bilinear", or "half" (one pixel per 2 x 2 cell: a half-size
        image for previews, about four times less work after the first step).
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


def _check_levels(black: Sequence[float], white: float) -> None:
    """Levels the engine would turn into a black image: refused with what to fix."""
    if not math.isfinite(white):
        raise ValueError(f"white must be a finite level, got {white!r}")
    for b in black:
        if not math.isfinite(b):
            raise ValueError(f"black levels must be finite, got {list(black)!r}")
        if b >= white:
            raise ValueError(f"black level {b:g} is not below the white level {white:g}: every pixel would be "
                             "black; check the levels (white is the raw value of a clipped highlight)")


def development_graph(mosaic: np.ndarray, *, cfa: str, black: BlackLevels, white: float | None,
                      matrix: npt.ArrayLike | None, wb: Gains | None, curve: Curve, dtype: npt.DTypeLike,
                      demosaic: str, orientation: int, exposure: float) -> Graph:
    """The Graph ``develop_mosaic`` runs, with ``mosaic`` bound as its input."""
    if not isinstance(mosaic, np.ndarray) or mosaic.ndim != 2:
        raise ValueError(f"mosaic must be a 2-D array (height, width), got {getattr(mosaic, 'shape', mosaic)!r}")
    if mosaic.dtype not in (np.uint16, np.float32):
        raise ValueError(f"mosaic must be uint16 or float32, got {mosaic.dtype}; convert it first, e.g. "
                         "mosaic.astype(np.uint16)")
    if not isinstance(cfa, str) or cfa.upper() not in CFA_ORDERS:
        raise ValueError(f"cfa must be one of {', '.join(CFA_ORDERS)} (any case), got {cfa!r}")
    cfa = cfa.upper()
    if demosaic not in DEMOSAIC_CHOICES:
        raise ValueError(f"demosaic must be one of {', '.join(DEMOSAIC_CHOICES)}, got {demosaic!r}")
    if isinstance(orientation, bool) or not isinstance(orientation, (int, np.integer)) or not 1 <= orientation <= 8:
        raise ValueError(f"orientation must be an integer from 1 to 8, got {orientation!r}")
    out_dtype = np.dtype(dtype)
    if white is None:
        white = float(np.iinfo(mosaic.dtype).max) if mosaic.dtype.kind == "u" else 1.0
    repeat, levels = _black_levels(black)
    _check_levels(levels, white)
    gains = _graph_gains(wb)
    cam = np.eye(3) if matrix is None else np.asarray(matrix, dtype=np.float64)
    if cam.shape != (3, 3):
        raise ValueError(f"matrix must be 3x3, got shape {cam.shape}")
    if not np.all(np.isfinite(cam)):
        raise ValueError(f"matrix must hold finite numbers, got {cam.tolist()}")
    if not math.isfinite(exposure):
        raise ValueError(f"exposure must be a finite number of stops, got {exposure!r}")

    g = Graph()
    x = g.input(mosaic)
    x = g.normalize_raw(x, black_repeat_rows=repeat, black_repeat_cols=repeat, black_level=levels,
                        white_level=[float(white)])
    if demosaic == "bilinear":
        x = g.bilinear_demosaic(x, cfa_pattern=cfa)
    elif demosaic == "half":
        x = g.half_demosaic(x, cfa_pattern=cfa)
    else:
        x = g.ea_demosaic(x, cfa_pattern=cfa, fast=True if demosaic == "ea" else None)
    x = g.clip_and_transform_color(x, clip_max=1.0 / gains,
                                   matrix=(2.0 ** exposure) * (cam @ np.diag(gains)))
    x = g.transform_color(x, dest_dtype=out_dtype, output_lut=curve_table(curve, out_dtype))
    if orientation != 1:
        x = g.orientation(x, orientation=int(orientation))
    return g


# develop() takes a white as "camera", "daylight", a setting such as
# "5200K,+8" or "D50", three gains, or a pyxa.color WhiteSetting.
White = Union[str, Gains, WhiteSetting]
# Stops, or "auto" (pyxa.auto_exposure's rule).
Exposure = Union[float, Literal["auto"]]
Profile = Union[CameraProfile, PathLike, None]


@overload
def develop(source: RawImage | DngRecord | Source, *, look: str | None = ..., wb: White = ...,
            exposure: Exposure = ..., demosaic: str = ..., curve: Curve | None = ..., dtype: npt.DTypeLike = ...,
            orientation: int | None = ..., space: str = ..., dcp: Profile = ..., ignore_unknown_opcodes: bool = ...,
            out: np.ndarray | None = ..., profile: Literal[False] = ...) -> np.ndarray: ...


@overload
def develop(source: RawImage | DngRecord | Source, *, look: str | None = ..., wb: White = ...,
            exposure: Exposure = ..., demosaic: str = ..., curve: Curve | None = ..., dtype: npt.DTypeLike = ...,
            orientation: int | None = ..., space: str = ..., dcp: Profile = ..., ignore_unknown_opcodes: bool = ...,
            out: np.ndarray | None = ..., profile: Literal[True]) -> tuple[np.ndarray, NodeTimings]: ...


@overload
def develop(source: RawImage | DngRecord | Source, *, look: str | None = ..., wb: White = ...,
            exposure: Exposure = ..., demosaic: str = ..., curve: Curve | None = ..., dtype: npt.DTypeLike = ...,
            orientation: int | None = ..., space: str = ..., dcp: Profile = ..., ignore_unknown_opcodes: bool = ...,
            out: np.ndarray | None = ..., profile: bool) -> np.ndarray | tuple[np.ndarray, NodeTimings]: ...


def develop(source: RawImage | DngRecord | Source, *, look: str | None = None, wb: White = "camera",
            exposure: Exposure = 0.0, demosaic: str = "ea", curve: Curve | None = None, dtype: npt.DTypeLike = "uint8",
            orientation: int | None = None, space: str = "srgb", dcp: Profile = None,
            ignore_unknown_opcodes: bool = False, out: np.ndarray | None = None,
            profile: bool = False) -> np.ndarray | tuple[np.ndarray, NodeTimings]:
    """Develops a camera raw file into an RGB array, in one engine call.

    ``source`` is a path or binary file object (a ``.dng`` is read with
    pyxa.dng.read_dng, any other raw format with rawpy), a ``DngRecord``
    from read_dng, or a ``RawImage`` from read_raw. A DNG develops as the
    file says: its opcode lists run at their stages and its DefaultCrop and
    Orientation apply (docs/dng.md).

    look : "profile" (default): the camera profile the file embeds, or the
        DCP given as ``dcp``, renders through linear ProPhoto, its HueSatMap,
        LookTable and tone curve into ``space``; a file with only a colour
        matrix gets a profile made from it and the default look's base
        curve. "linear": white balance, one camera -> sRGB matrix and
        ``curve``, no tone shaping (the rendering rawpy gives; giving
        ``curve`` alone selects it).
    wb : "camera" (as shot), "daylight", a temperature "5200K" or
        "5200K,+8" (tint), "x,y", a light source ("D50", "tungsten"...),
        or (red, green, blue) gains.
    exposure : stops, added to the file's BaselineExposure in the profile look;
        "auto" brightens until 0.5 % of the white-balanced raw samples reach
        white, on top of the baseline, never darker than it and at most 4
        stops brighter (pyxa.auto_exposure).
    demosaic : "ea", "ea_full" or "bilinear". curve : "srgb", "linear" or a
        (gamma, toe slope) pair (linear look). dtype : "uint8", "uint16" or
        "float32". orientation : default the file's own; the pixels are
        turned, so the result is upright. space : "srgb", "display-p3",
        "oprgb", "prophoto", "rec2020" or their "-linear" forms (profile
        look). dcp : a DCP file (or a CameraProfile) replacing the file's
        profile. ignore_unknown_opcodes : develop a DNG whose opcode lists
        hold an opcode this renderer cannot run and the file does not mark
        optional, without it (with a warning) instead of refusing it.
    ``out`` and ``profile`` as in ``develop_mosaic``. A file opened here is
    closed before the return; a ``RawImage`` passed in stays open.

    >>> rgb = pyxa.develop("photo.dng", dtype="uint16")   # doctest: +SKIP
    >>> rgb = pyxa.develop("photo.CR2", wb="5200K,+8", space="display-p3", dcp="camera.dcp")  # doctest: +SKIP
    """
    if isinstance(source, np.ndarray):
        raise TypeError("develop() takes a raw file (a path or a binary file object), a RawImage or a DngRecord; "
                        "for a mosaic array use pyxa.develop_mosaic(mosaic, cfa, black=..., white=...)")
    if look is None:
        look = "linear" if curve is not None else "profile"
    if look not in LOOK_CHOICES:
        raise ValueError(f'look must be "profile" or "linear", got {look!r}')
    if look == "profile" and curve is not None:
        raise ValueError('curve= is the linear look\'s output curve; the profile look takes its tone from the '
                         'profile (use look="linear", or space= for the output encoding)')
    if exposure != "auto" and (isinstance(exposure, str) or not math.isfinite(float(exposure))):
        raise ValueError(f'exposure must be a finite number of stops or "auto", got {exposure!r}')
    request = DevelopRequest(look=look, wb=wb, exposure=exposure if exposure == "auto" else float(exposure),
                             demosaic=demosaic,
                             curve="srgb" if curve is None else curve, dtype=np.dtype(dtype).name,
                             orientation=orientation, space=space, dcp=dcp,
                             ignore_unknown_opcodes=bool(ignore_unknown_opcodes))
    rgb, timings = develop_source(source, request, out=out, profile=profile)
    return (rgb, timings) if profile else rgb
