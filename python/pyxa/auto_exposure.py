"""Automatic exposure: the brightening, in stops, that takes a small share of
an image's samples to white, measured on a subsample of the raw data the
development graph reads (a Bayer mosaic, or the samples of a linear DNG)."""

from __future__ import annotations

import math
from collections.abc import Sequence
from typing import Any, Union

import numpy as np
import numpy.typing as npt

from ._white_balance import positive_gains, relative_to_smallest
from .raw import CFA_ORDERS

__all__ = ["DEFAULT_LIMITS", "DEFAULT_SHARE", "exposure_for_linear", "exposure_for_mosaic", "stops_to_white"]

# The share of samples that reaches white. Half a percent lets specular
# highlights and light sources clip, as they do in a well exposed photograph,
# while the rest of the image keeps its tones; a larger share would wash out
# skies, a smaller one would let a few hot pixels hold the whole image down.
DEFAULT_SHARE = 0.005
# The extra stops allowed on top of the file's baseline exposure. Never darker
# than the baseline: a file whose highlights already clip was exposed for
# them, and darkening it to save a few more would sink everything else.
# At most four stops up: beyond that an underexposed capture is mostly noise,
# and an all-black frame (a lens cap) should not be lifted without bound.
DEFAULT_LIMITS = (0.0, 4.0)
# About this many samples are measured, whatever the image size: the
# quantile of 2^18 samples is within a fraction of a percent of the whole
# image's, and costs a few milliseconds at 24 Mpx.
SAMPLE_TARGET = 1 << 18

Levels = Union[float, Sequence[float], npt.NDArray[Any]]
Gains = Union[Sequence[float], npt.NDArray[Any]]
_COLOUR = {"R": 0, "G": 1, "B": 2}


def stops_to_white(values: npt.NDArray[Any], *, baseline: float = 0.0, share: float = DEFAULT_SHARE,
                   limits: tuple[float, float] = DEFAULT_LIMITS) -> float:
    """The stops to add on top of ``baseline`` so that ``share`` of ``values`` reach white.

    ``values`` are samples already normalised (black 0, white 1) and white
    balanced, as the development graph scales them before its exposure: a
    sample v reaches white at e stops when v * 2**e >= 1. The answer is
    log2(1 / q) - baseline, q being the value that ``share`` of the samples
    reach, clamped to ``limits``; samples beyond white count as white, since
    the graph clips them there. NaN samples are left out. With no sample
    above black (an all-black frame) no brightening is enough: the upper
    limit. With ``share`` of them already at white (an all-clipped frame),
    none is needed: -baseline, clamped. With no number at all: 0, no change."""
    lo, hi = _limits(limits)
    if not (0 < share < 1):
        raise ValueError(f"share must lie between 0 and 1 (a fraction of the samples), got {share!r}")
    if not math.isfinite(baseline):
        raise ValueError(f"baseline must be a finite number of stops, got {baseline!r}")
    flat = np.asarray(values, dtype=np.float32).ravel()
    flat = flat[~np.isnan(flat)]
    if flat.size == 0:
        return min(max(0.0, lo), hi)
    # The k-th largest sample: k samples (share of them, at least one) reach it.
    k = max(1, math.ceil(share * flat.size))
    # The graph clips every balanced sample at white before its exposure, so
    # nothing is brighter than white: at most no brightening is needed.
    q = min(float(np.partition(flat, flat.size - k)[flat.size - k]), 1.0)
    needed = math.inf if q <= 0 else -math.log2(q)
    return min(max(needed - baseline, lo), hi)


def exposure_for_mosaic(mosaic: np.ndarray, cfa: str, black: Levels, white: Levels, wb: Gains | None = None, *,
                        baseline: float = 0.0, share: float = DEFAULT_SHARE,
                        limits: tuple[float, float] = DEFAULT_LIMITS,
                        linearization: npt.ArrayLike | None = None) -> float:
    """Automatic exposure of a Bayer mosaic, in stops on top of ``baseline``.

    ``mosaic`` (H, W) uint16 or float32 and ``cfa`` ("RGGB", ...) as the
    development graph takes them; ``black`` one level or four (one per site
    of the 2x2 cell, row-major), ``white`` one level or four; ``wb`` the
    white-balance gains (red, green, blue) the graph applies (default none);
    ``linearization`` a DNG's LinearizationTable, through which samples are
    looked up before the levels apply, as normalize_raw does. Every k-th 2x2 cell along the rows and the columns is measured, k chosen
    so that about ``SAMPLE_TARGET`` samples are read. Pass the result as
    ``exposure = baseline + result`` (plus any compensation the user asks
    for): see ``stops_to_white`` for the rule, the limits and the edge cases.

    >>> stops = exposure_for_mosaic(raw.mosaic, raw.cfa, raw.black, raw.white, raw.wb_camera)  # doctest: +SKIP
    """
    if not isinstance(mosaic, np.ndarray) or mosaic.ndim != 2 or mosaic.shape[0] < 2 or mosaic.shape[1] < 2:
        raise ValueError(f"mosaic must be a 2-D array of at least 2 x 2 samples, "
                         f"got {getattr(mosaic, 'shape', type(mosaic).__name__)}")
    if cfa not in CFA_ORDERS:
        raise ValueError(f"cfa must be one of {', '.join(CFA_ORDERS)}, got {cfa!r}")
    blacks, whites = _levels("black", black, 4), _levels("white", white, 4)
    _check_range(blacks, whites)
    gains = _gains(wb, 3)
    table = _table(linearization)
    height, width = mosaic.shape
    k = _step(height * width)
    parts = []
    for site in range(4):
        dy, dx = divmod(site, 2)
        samples = _linearized(mosaic[dy::2 * k, dx::2 * k], table)
        scale = np.float32(gains[_COLOUR[cfa[site]]] / (whites[site] - blacks[site]))
        parts.append(((samples - np.float32(blacks[site])) * scale).ravel())
    return stops_to_white(np.concatenate(parts), baseline=baseline, share=share, limits=limits)


def exposure_for_linear(samples: np.ndarray, black: Levels, white: Levels, wb: Gains | None = None, *,
                        baseline: float = 0.0, share: float = DEFAULT_SHARE,
                        limits: tuple[float, float] = DEFAULT_LIMITS,
                        linearization: npt.ArrayLike | None = None) -> float:
    """Automatic exposure of linear samples (a linear DNG's (H, W, C) pixels,
    or (H, W) for one channel), in stops on top of ``baseline``.

    ``black`` and ``white`` hold one level or one per channel; ``wb`` one
    gain per channel (default none); ``linearization`` as for
    ``exposure_for_mosaic``. Every k-th row and column is measured,
    about ``SAMPLE_TARGET`` samples. See ``exposure_for_mosaic`` for how to
    pass the result on."""
    if not isinstance(samples, np.ndarray) or samples.ndim not in (2, 3) or 0 in samples.shape:
        raise ValueError(f"samples must be a non-empty (height, width) or (height, width, channels) array, "
                         f"got {getattr(samples, 'shape', type(samples).__name__)}")
    pixels = samples if samples.ndim == 3 else samples[:, :, np.newaxis]
    channels = pixels.shape[2]
    blacks, whites = _levels("black", black, channels), _levels("white", white, channels)
    _check_range(blacks, whites)
    gains = _gains(wb, channels)
    table = _table(linearization)
    k = _step(pixels.shape[0] * pixels.shape[1] * channels)
    picked = _linearized(pixels[::k, ::k, :], table)
    scale = (gains / (whites - blacks)).astype(np.float32)
    values = (picked - blacks.astype(np.float32)) * scale
    return stops_to_white(values, baseline=baseline, share=share, limits=limits)


def _table(linearization: npt.ArrayLike | None) -> npt.NDArray[np.float32] | None:
    if linearization is None:
        return None
    table = np.asarray(linearization, dtype=np.float64).ravel()
    if table.size == 0 or not np.all(np.isfinite(table)):
        raise ValueError(f"linearization needs a non-empty table of finite values, got {table.size} values")
    return table.astype(np.float32)


def _linearized(samples: np.ndarray, table: npt.NDArray[np.float32] | None) -> npt.NDArray[np.float32]:
    """The samples as float32, looked up in the table first when there is one,
    with normalize_raw's index: the sample truncated toward zero; NaN,
    negatives and floats beyond the 32-bit range 0; the last entry for every
    index past the table's end."""
    if table is None:
        return samples.astype(np.float32)
    values = samples.astype(np.float64)
    inside = (values >= 0) & (values < 2.0**31)  # False for NaN
    index = np.minimum(np.where(inside, np.trunc(np.where(inside, values, 0)), 0), table.size - 1)
    return table[index.astype(np.int64)]


def _step(count: int) -> int:
    """Every k-th row and column (or 2x2 cell) leaves about SAMPLE_TARGET of ``count`` samples."""
    return max(1, math.ceil(math.sqrt(count / SAMPLE_TARGET)))


def _limits(limits: tuple[float, float]) -> tuple[float, float]:
    try:
        lo, hi = (float(v) for v in limits)
    except (TypeError, ValueError):
        raise ValueError(f"limits must be a (lowest, highest) pair of stops, got {limits!r}") from None
    if math.isnan(lo) or math.isnan(hi) or lo > hi:
        raise ValueError(f"limits must be a (lowest, highest) pair of stops with lowest <= highest, "
                         f"got {limits!r}")
    return lo, hi


def _levels(name: str, levels: Levels, count: int) -> npt.NDArray[np.float64]:
    values = np.asarray(levels, dtype=np.float64).ravel()
    if values.size == 1:
        values = np.repeat(values, count)
    if values.size != count or not np.all(np.isfinite(values)):
        raise ValueError(f"{name} needs one finite level or {count}, got {levels!r}")
    return values


def _check_range(blacks: npt.NDArray[np.float64], whites: npt.NDArray[np.float64]) -> None:
    if np.any(whites <= blacks):
        raise ValueError(f"each white level must lie above its black level, got black {blacks.tolist()} "
                         f"and white {whites.tolist()}")


def _gains(wb: Gains | None, count: int) -> npt.NDArray[np.float64]:
    if wb is None:
        return np.ones(count)
    values = positive_gains(wb) if count == 3 else np.asarray(wb, dtype=np.float64).ravel()
    if values is None or values.size != count or not np.all(np.isfinite(values)) or np.any(values <= 0):
        raise ValueError(f"wb needs {count} positive gains, one per channel, got {wb!r}")
    # Scaled as the development graph scales them: the smallest gain is 1.
    return relative_to_smallest(values)
