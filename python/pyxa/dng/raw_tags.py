"""The main image's own tags: CFA layout, ActiveArea and default crop,
LinearizationTable, black and white levels. Each is checked against the image
and the others; an impossible one is ignored with a warning when it has a
default, and refused when the image cannot be read without it."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Optional

import numpy as np
import numpy.typing as npt

from .tags import Findings, Ifd, TagProblem, describe_bad, finite

__all__ = ["CfaLayout", "Levels", "read_cfa", "read_active_area", "read_default_crop",
           "read_linearization_table", "read_levels"]

# CFAPlaneColor codes: red, green, blue, cyan, magenta, yellow, white.
MAX_PLANE_COLOR = 6
MAX_PLANES = 4
MAX_LINEARIZATION_ENTRIES = 65536  # one per value a 16-bit sample can take


def _numbers(ifd: Ifd, name: str, findings: Findings, *, required: bool = False) -> Optional[npt.NDArray[np.float64]]:
    """The tag's numbers, or None when absent; an unreadable value is refused
    when ``required`` and ignored with a warning otherwise."""
    try:
        return ifd.numbers(name)
    except TagProblem as e:
        if required:
            findings.refuse(name, str(e))
        findings.ignore(name, str(e))
        return None


def _whole(values: npt.NDArray[np.float64]) -> bool:
    return finite(values) and bool(np.all(values == np.round(values)))


@dataclass(frozen=True)
class CfaLayout:
    """CFARepeatPatternDim, CFAPattern and CFAPlaneColor once checked."""

    repeat: tuple[int, int]
    pattern: tuple[int, ...]
    plane_color: tuple[int, ...]


def read_cfa(ifd: Ifd, findings: Findings) -> CfaLayout:
    """The CFA layout of a CFA image; refused when the pattern is unusable."""
    layout = _numbers(ifd, "CFALayout", findings, required=True)
    if layout is not None and (layout.size != 1 or layout[0] != 1):
        findings.refuse("CFALayout", f"is {', '.join(f'{v:g}' for v in layout[:4])}; only the rectangular "
                                     "layout (1) is read")
    plane_color = _plane_color(ifd, findings)
    dims = _numbers(ifd, "CFARepeatPatternDim", findings, required=True)
    if dims is None:
        findings.refuse("CFARepeatPatternDim", "is missing; a CFA image needs it")
    if dims.size != 2 or not _whole(dims) or np.any(dims < 1):
        findings.refuse("CFARepeatPatternDim", f"must be 2 whole numbers of at least 1, found "
                                               f"{', '.join(f'{v:g}' for v in dims[:4])}")
    rows, cols = int(dims[0]), int(dims[1])
    pattern = _numbers(ifd, "CFAPattern", findings, required=True)
    if pattern is None:
        findings.refuse("CFAPattern", "is missing; a CFA image needs it")
    if pattern.size != rows * cols:
        findings.refuse("CFAPattern", f"has {pattern.size} values, CFARepeatPatternDim {rows} x {cols} "
                                      f"needs {rows * cols}")
    if not _whole(pattern) or np.any(pattern < 0) or np.any(pattern >= len(plane_color)):
        findings.refuse("CFAPattern", f"holds a value outside 0 to {len(plane_color) - 1}, the indices of "
                                      f"the {len(plane_color)} CFAPlaneColor planes")
    return CfaLayout(repeat=(rows, cols), pattern=tuple(int(v) for v in pattern), plane_color=plane_color)


def _plane_color(ifd: Ifd, findings: Findings) -> tuple[int, ...]:
    colors = _numbers(ifd, "CFAPlaneColor", findings)
    if colors is None:
        return (0, 1, 2)
    if not 1 <= colors.size <= MAX_PLANES:
        findings.ignore("CFAPlaneColor", f"has {colors.size} values, 1 to {MAX_PLANES} planes expected")
        return (0, 1, 2)
    if not _whole(colors) or np.any(colors < 0) or np.any(colors > MAX_PLANE_COLOR) or \
            len(set(colors.tolist())) != colors.size:
        findings.ignore("CFAPlaneColor", f"is {', '.join(f'{v:g}' for v in colors)}; distinct colour codes "
                                         f"0 to {MAX_PLANE_COLOR} expected")
        return (0, 1, 2)
    return tuple(int(v) for v in colors)


def read_active_area(ifd: Ifd, height: int, width: int, findings: Findings) -> tuple[int, int, int, int]:
    """ActiveArea (top, left, bottom, right), or the whole image."""
    whole = (0, 0, height, width)
    area = _numbers(ifd, "ActiveArea", findings)
    if area is None:
        return whole
    if area.size != 4 or not _whole(area):
        findings.ignore("ActiveArea", f"must be 4 whole numbers, found {area.size} values")
        return whole
    top, left, bottom, right = (int(v) for v in area)
    if not (0 <= top < bottom <= height and 0 <= left < right <= width):
        findings.ignore("ActiveArea", f"({top}, {left}, {bottom}, {right}) is empty or reaches outside the "
                                      f"{width} x {height} image")
        return whole
    return (top, left, bottom, right)


def read_default_crop(ifd: Ifd, active: tuple[int, int, int, int], findings: Findings
                      ) -> tuple[tuple[float, float], Optional[tuple[float, float]]]:
    """DefaultCropOrigin and DefaultCropSize (horizontal first, as stored),
    inside the active area."""
    active_w, active_h = active[3] - active[1], active[2] - active[0]
    origin = (0.0, 0.0)
    values = _numbers(ifd, "DefaultCropOrigin", findings)
    if values is not None:
        if values.size != 2 or not finite(values) or np.any(values < 0) or \
                values[0] >= active_w or values[1] >= active_h:
            findings.ignore("DefaultCropOrigin", f"({', '.join(f'{v:g}' for v in values[:4])}) is not a point "
                                                 f"of the {active_w} x {active_h} active area")
        else:
            origin = (float(values[0]), float(values[1]))
    size = None
    values = _numbers(ifd, "DefaultCropSize", findings)
    if values is not None:
        if values.size != 2 or not finite(values) or np.any(values <= 0):
            findings.ignore("DefaultCropSize", f"({', '.join(f'{v:g}' for v in values[:4])}) is not a width "
                                               "and height")
        elif origin[0] + values[0] > active_w or origin[1] + values[1] > active_h:
            findings.ignore("DefaultCropSize", f"{values[0]:g} x {values[1]:g} at ({origin[0]:g}, "
                                               f"{origin[1]:g}) reaches outside the {active_w} x {active_h} "
                                               "active area")
        else:
            size = (float(values[0]), float(values[1]))
    return origin, size


def read_linearization_table(ifd: Ifd, findings: Findings) -> Optional[npt.NDArray[np.uint16]]:
    """LinearizationTable as uint16, or None."""
    table = _numbers(ifd, "LinearizationTable", findings)
    if table is None:
        return None
    if not 1 <= table.size <= MAX_LINEARIZATION_ENTRIES:
        findings.ignore("LinearizationTable", f"has {table.size} entries, 1 to {MAX_LINEARIZATION_ENTRIES} "
                                              "expected")
        return None
    if not _whole(table) or np.any(table < 0) or np.any(table > 65535):
        findings.ignore("LinearizationTable", "holds values outside 0 to 65535")
        return None
    return table.astype(np.uint16)


@dataclass(frozen=True)
class Levels:
    """Black and white levels once checked, in the record's shapes."""

    black_repeat: tuple[int, int]
    black: npt.NDArray[np.float64]  # (rows, cols, samples)
    delta_h: Optional[npt.NDArray[np.float64]]
    delta_v: Optional[npt.NDArray[np.float64]]
    white: tuple[float, ...]


def read_levels(ifd: Ifd, samples: int, default_white: float, active: tuple[int, int, int, int],
                findings: Findings) -> Levels:
    """BlackLevelRepeatDim, BlackLevel, BlackLevelDeltaH/V and WhiteLevel."""
    white = _white(ifd, samples, default_white, findings)
    repeat, black = _black(ifd, samples, findings)
    if np.any(black.max(axis=(0, 1)) >= np.asarray(white)):
        findings.ignore("BlackLevel", f"reaches {black.max():g}, at or above the WhiteLevel "
                                      f"{', '.join(f'{w:g}' for w in white)}")
        repeat, black = (1, 1), np.zeros((1, 1, samples))
    delta_h = _deltas(ifd, "BlackLevelDeltaH", active[3] - active[1], "active-area column", findings)
    delta_v = _deltas(ifd, "BlackLevelDeltaV", active[2] - active[0], "active-area row", findings)
    return Levels(black_repeat=repeat, black=black, delta_h=delta_h, delta_v=delta_v, white=white)


def _white(ifd: Ifd, samples: int, default: float, findings: Findings) -> tuple[float, ...]:
    values = _numbers(ifd, "WhiteLevel", findings)
    if values is None:
        return (default,) * samples
    if values.size not in (1, samples):
        findings.ignore("WhiteLevel", f"has {values.size} values, {samples} (one per sample) expected")
        return (default,) * samples
    if not finite(values) or np.any(values <= 0):
        findings.ignore("WhiteLevel", describe_bad(values) if not finite(values) else "is not above 0")
        return (default,) * samples
    return tuple(float(v) for v in np.broadcast_to(values, (samples,)))


def _black(ifd: Ifd, samples: int, findings: Findings) -> tuple[tuple[int, int], npt.NDArray[np.float64]]:
    none = ((1, 1), np.zeros((1, 1, samples)))
    dims = _numbers(ifd, "BlackLevelRepeatDim", findings)
    rows = cols = 1
    if dims is not None:
        if dims.size != 2 or not _whole(dims) or np.any(dims < 1):
            findings.ignore("BlackLevelRepeatDim", f"must be 2 whole numbers of at least 1, found "
                                                   f"{', '.join(f'{v:g}' for v in dims[:4])}")
            if ifd.has("BlackLevel"):
                findings.ignore("BlackLevel", "cannot be laid out without its BlackLevelRepeatDim")
            return none
        rows, cols = int(dims[0]), int(dims[1])
    black = _numbers(ifd, "BlackLevel", findings)
    if black is None:
        return none
    if black.size != rows * cols * samples:
        findings.ignore("BlackLevel", f"has {black.size} values, BlackLevelRepeatDim {rows} x {cols} with "
                                      f"{samples} samples needs {rows * cols * samples}")
        return none
    if not finite(black) or np.any(black < 0):
        findings.ignore("BlackLevel", describe_bad(black) if not finite(black) else "is negative")
        return none
    return (rows, cols), black.reshape(rows, cols, samples)


def _deltas(ifd: Ifd, name: str, expected: int, unit: str, findings: Findings
            ) -> Optional[npt.NDArray[np.float64]]:
    values = _numbers(ifd, name, findings)
    if values is None:
        return None
    if values.size != expected:
        findings.ignore(name, f"has {values.size} values, one per {unit} ({expected}) expected")
        return None
    if not finite(values):
        findings.ignore(name, describe_bad(values))
        return None
    return values
