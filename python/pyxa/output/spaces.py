"""The output colour spaces a developed image can be written in: primaries,
white and transfer curve, the few numbers the ICC profiles and the container
colour tags are made from."""

from __future__ import annotations

from dataclasses import dataclass

from ..color import spaces as _colour
from ..color.colorimetry import D50_XY, D65_XY

__all__ = ["D50", "D65", "OutputSpace", "SPACES", "output_space"]

# The primaries, whites and curves are pyxa.color.spaces'; what only files
# need (a title for the profile, the AVIF colour codes) is added here.
D65 = D65_XY
D50 = D50_XY


@dataclass(frozen=True)
class OutputSpace:
    """One encoding of RGB as image files describe it: chromaticities, white
    and the decoding curve.

    The curve maps a stored value v in [0, 1] to linear light:
    ``(a·v + b) ** gamma`` for v >= d, ``c·v`` below (a pure power when
    ``d`` is 0), the parametric form ICC profiles carry."""

    name: str
    title: str
    primaries: tuple[float, float, float, float, float, float]
    white: tuple[float, float]
    gamma: float
    a: float = 1.0
    b: float = 0.0
    c: float = 0.0
    d: float = 0.0
    # Codes of the colour tags AVIF carries beside the ICC profile
    # (ITU-T H.273 colour primaries and transfer characteristics); 2 means
    # "not given", leaving the ICC profile alone to say it.
    cicp_primaries: int = 2
    cicp_transfer: int = 2

    @property
    def linear(self) -> bool:
        """True when stored values are linear light."""
        return self.gamma == 1.0 and self.d == 0.0

    def decode(self, v: "float") -> float:
        """Linear light of one stored value in [0, 1] (a reference for checks)."""
        return self.c * v if v < self.d else (self.a * v + self.b) ** self.gamma


# Title, H.273 colour primaries and transfer characteristics of each encoded
# space (its "-linear" form has transfer 8, linear).
_FILE_FACTS = {
    "srgb": ("sRGB", 1, 13),
    "display-p3": ("Display P3", 12, 13),
    "oprgb": ("opRGB", 2, 2),  # IEC 61966-2-5, the 1998 wide-gamut space
    "prophoto": ("ProPhoto RGB (ROMM)", 2, 2),
    "rec2020": ("Rec. 2020", 9, 1),
}


def _file_space(space: _colour.OutputSpace) -> OutputSpace:
    """A colour space's numbers in the decoding form ICC profiles use (see
    pyxa.color.spaces.Transfer for how its encoding curve maps onto it)."""
    base = space.name.removesuffix("-linear")
    title, primaries, transfer = _FILE_FACTS[base]
    (rx, ry), (gx, gy), (bx, by) = space.primaries
    flat = (rx, ry, gx, gy, bx, by)
    t = space.transfer
    if t.is_linear:
        return OutputSpace(space.name, title + " linear", flat, space.white, gamma=1.0,
                           cicp_primaries=primaries, cicp_transfer=8)
    curve = dict(gamma=t.gamma, a=1.0 / (1.0 + t.offset), b=t.offset / (1.0 + t.offset))
    if t.cut > 0.0:
        curve.update(c=1.0 / t.slope, d=t.slope * t.cut)
    return OutputSpace(space.name, title, flat, space.white, cicp_primaries=primaries, cicp_transfer=transfer,
                       **curve)


# Each space beside its linear form.
SPACES: dict[str, OutputSpace] = {name: _file_space(_colour.output_space(name))
                                  for base in _FILE_FACTS for name in (base, base + "-linear")}


def output_space(name: str) -> OutputSpace:
    """The space called ``name`` (see ``SPACES``), or ValueError listing them."""
    try:
        return SPACES[name]
    except KeyError:
        raise ValueError(f"output space must be one of {', '.join(SPACES)}, got {name!r}") from None
