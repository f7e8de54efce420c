"""Output colour spaces: primaries, white and transfer function of each, the
matrix from XYZ D50 (Bradford-adapted), and the output-curve table the
engine's colour transform looks up. The parameters stay explicit so that ICC
profiles can be written from the same records."""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

from ._types import Doubles, Floats, Matrix3
from .colorimetry import D50_XY, D65_XY, bradford, xy_to_xyz

__all__ = ["Transfer", "OutputSpace", "SPACE_NAMES", "output_space", "rgb_to_xyz_matrix",
           "output_curve_table", "PROPHOTO", "xyz_d50_to_prophoto"]


@dataclass(frozen=True)
class Transfer:
    """An encoding curve of the common two-part form: ``slope * x`` below
    ``cut`` and ``(1 + offset) * x ** (1 / gamma) - offset`` from ``cut`` up.
    gamma 1 with no offset and no slope is linear. (The decoding side is the
    ICC parametric curve of type 3 with g = gamma, a = 1 / (1 + offset),
    b = offset / (1 + offset), c = 1 / slope, d = slope * cut.)"""

    gamma: float
    offset: float = 0.0
    slope: float = 0.0
    cut: float = 0.0

    @property
    def is_linear(self) -> bool:
        """True when the curve is the identity."""
        return self.gamma == 1.0 and self.offset == 0.0 and self.cut == 0.0

    def encode(self, linear: npt.ArrayLike) -> Doubles:
        """Encoded values of linear ones (clipped to [0, 1] first)."""
        x = np.clip(np.asarray(linear, dtype=np.float64), 0.0, 1.0)
        power = (1.0 + self.offset) * np.power(x, 1.0 / self.gamma) - self.offset
        result: Doubles = np.where(x < self.cut, self.slope * x, power)
        return result

    def decode(self, encoded: npt.ArrayLike) -> Doubles:
        """Linear values of encoded ones (clipped to [0, 1] first)."""
        e = np.clip(np.asarray(encoded, dtype=np.float64), 0.0, 1.0)
        power = np.power((e + self.offset) / (1.0 + self.offset), self.gamma)
        toe = e / self.slope if self.slope > 0.0 else e
        result: Doubles = np.where(e < self.slope * self.cut, toe, power)
        return result


LINEAR = Transfer(1.0)
SRGB_TRANSFER = Transfer(2.4, 0.055, 12.92, 0.0031308)
# BT.2020's curve with its exact constants (value and slope continuous at the
# cut); 10-bit systems round them to (1.099, 0.018), 12-bit ones to (1.0993,
# 0.0181).
REC2020_TRANSFER = Transfer(1.0 / 0.45, 0.09929682680944, 4.5, 0.018053968510807)
# ROMM RGB: gamma 1.8, a straight segment of slope 16 below 1/512.
PROPHOTO_TRANSFER = Transfer(1.8, 0.0, 16.0, 1.0 / 512.0)
# opRGB (IEC 61966-2-5): a pure power of 563/256.
OPRGB_TRANSFER = Transfer(563.0 / 256.0)


@dataclass(frozen=True)
class OutputSpace:
    """An RGB output space: chromaticities of its red, green and blue
    primaries, its white, and its encoding curve."""

    name: str
    primaries: tuple[tuple[float, float], tuple[float, float], tuple[float, float]]
    white: tuple[float, float]
    transfer: Transfer

    @property
    def rgb_to_xyz(self) -> Matrix3:
        """Linear RGB -> XYZ (the white maps to Y = 1)."""
        return rgb_to_xyz_matrix(self.primaries, self.white)

    @property
    def xyz_d50_to_rgb(self) -> Matrix3:
        """XYZ D50 -> linear RGB of this space, adapting D50 to its white with Bradford."""
        result: Matrix3 = np.linalg.inv(self.rgb_to_xyz) @ bradford(D50_XY, self.white)
        return result

    def linear(self) -> OutputSpace:
        """The same primaries and white with no encoding curve."""
        name = self.name if self.name.endswith("-linear") else self.name + "-linear"
        return OutputSpace(name, self.primaries, self.white, LINEAR)


def rgb_to_xyz_matrix(primaries: tuple[tuple[float, float], ...], white: tuple[float, float]) -> Matrix3:
    """The RGB -> XYZ matrix of a space: columns are the primaries' XYZ scaled
    so that RGB (1, 1, 1) lands on the white with Y = 1."""
    p = np.stack([xy_to_xyz(xy) for xy in primaries], axis=1)
    scale = np.linalg.solve(p, xy_to_xyz(white))
    result: Matrix3 = p * scale
    return result


_SRGB_PRIMARIES = ((0.64, 0.33), (0.30, 0.60), (0.15, 0.06))
_P3_PRIMARIES = ((0.680, 0.320), (0.265, 0.690), (0.150, 0.060))
_OPRGB_PRIMARIES = ((0.64, 0.33), (0.21, 0.71), (0.15, 0.06))
_ROMM_PRIMARIES = ((0.7347, 0.2653), (0.1596, 0.8404), (0.0366, 0.0001))
_REC2020_PRIMARIES = ((0.708, 0.292), (0.170, 0.797), (0.131, 0.046))

_ENCODED = (
    OutputSpace("srgb", _SRGB_PRIMARIES, D65_XY, SRGB_TRANSFER),
    OutputSpace("display-p3", _P3_PRIMARIES, D65_XY, SRGB_TRANSFER),
    OutputSpace("oprgb", _OPRGB_PRIMARIES, D65_XY, OPRGB_TRANSFER),
    OutputSpace("prophoto", _ROMM_PRIMARIES, D50_XY, PROPHOTO_TRANSFER),
    OutputSpace("rec2020", _REC2020_PRIMARIES, D65_XY, REC2020_TRANSFER),
)
_SPACES: dict[str, OutputSpace] = {s.name: s for s in _ENCODED}
_SPACES.update({s.linear().name: s.linear() for s in _ENCODED})
SPACE_NAMES: tuple[str, ...] = tuple(_SPACES)

# The profiles' working space: linear ROMM RGB (ProPhoto) on the D50 white.
PROPHOTO = _SPACES["prophoto-linear"]


def xyz_d50_to_prophoto() -> Matrix3:
    """XYZ D50 -> linear ProPhoto; D50 is the space's own white, so no adaptation."""
    result: Matrix3 = np.asarray(np.linalg.inv(PROPHOTO.rgb_to_xyz), dtype=np.float64)
    return result


def output_space(name: str) -> OutputSpace:
    """The output space a user names: "srgb", "display-p3", "oprgb",
    "prophoto", "rec2020", each also with "-linear" (case and "_" for "-" are
    forgiven)."""
    key = str(name).strip().lower().replace("_", "-")
    if key not in _SPACES:
        raise ValueError(f"unknown output colour space {name!r}; choose one of {', '.join(SPACE_NAMES)}")
    return _SPACES[key]


def output_curve_table(space: OutputSpace, dtype: npt.DTypeLike) -> Floats:
    """The encoding curve as the float32 table transform_color's "output_lut"
    takes, spanning [0, 1]. Integer outputs get half a step added to every
    entry: the engine truncates toward zero when it stores an integer, so the
    stored value becomes the nearest one. A linear curve needs its two ends;
    a curve with a straight toe gets 4096 entries for 8-bit outputs and
    65536 for deeper ones, which keeps every level the nearest one. A pure
    power (opRGB) is infinitely steep at black and gets 65536 entries at any
    depth: in its first cells a 16-bit level can still land 0.55 steps from
    the exact value."""
    dt = np.dtype(dtype)
    if dt not in (np.dtype(np.uint8), np.dtype(np.uint16), np.dtype(np.float32)):
        raise ValueError(f"output dtype must be uint8, uint16 or float32, got {dt.name}")
    t = space.transfer
    entries = 2 if t.is_linear else 4096 if dt == np.uint8 and t.cut > 0.0 else 65536
    table = space.transfer.encode(np.linspace(0.0, 1.0, entries))
    if dt.kind == "u":
        table = table + 0.5 / np.iinfo(dt).max
    result: Floats = table.astype(np.float32)
    return result
