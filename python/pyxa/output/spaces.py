"""The output colour spaces a developed image can be written in: primaries,
white and transfer curve, the few numbers the ICC profiles and the container
colour tags are made from."""

from __future__ import annotations

from dataclasses import dataclass

__all__ = ["D50", "D65", "OutputSpace", "SPACES", "output_space"]

# Kept here so the writers stand alone; on merge the lead points this table at
# pyxa.color.spaces, which holds the same primaries, whites and curves.
D65 = (0.3127, 0.3290)
D50 = (0.3457, 0.3585)


@dataclass(frozen=True)
class OutputSpace:
    """One encoding of RGB: chromaticities, white and the decoding curve.

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


_SRGB_CURVE = dict(gamma=2.4, a=1 / 1.055, b=0.055 / 1.055, c=1 / 12.92, d=0.04045)
# The BT.2020 camera curve at its 12-bit precision, inverted: the stored
# value is 1.0993·L^0.45 − 0.0993 above L = 0.018054, 4.5·L below.
_ALPHA_2020, _BETA_2020 = 1.09929682680944, 0.018053968510807
_REC2020_CURVE = dict(gamma=1 / 0.45, a=1 / _ALPHA_2020, b=(_ALPHA_2020 - 1) / _ALPHA_2020, c=1 / 4.5,
                      d=4.5 * _BETA_2020)
# ROMM RGB: 1.8 power with a linear toe of slope 16 below 1/512 of linear light.
_ROMM_CURVE = dict(gamma=1.8, c=1 / 16, d=16 / 512)

_BASE = {
    "srgb": ("sRGB", (0.64, 0.33, 0.30, 0.60, 0.15, 0.06), D65, _SRGB_CURVE, 1, 13),
    "display-p3": ("Display P3", (0.680, 0.320, 0.265, 0.690, 0.150, 0.060), D65, _SRGB_CURVE, 12, 13),
    # IEC 61966-2-5 (the 1998 wide-gamut space): a pure 563/256 power.
    "oprgb": ("opRGB", (0.64, 0.33, 0.21, 0.71, 0.15, 0.06), D65, dict(gamma=563 / 256), 2, 2),
    "prophoto": ("ProPhoto RGB (ROMM)", (0.7347, 0.2653, 0.1596, 0.8404, 0.0366, 0.0001), D50, _ROMM_CURVE, 2, 2),
    "rec2020": ("Rec. 2020", (0.708, 0.292, 0.170, 0.797, 0.131, 0.046), D65, _REC2020_CURVE, 9, 1),
}


def _table() -> dict[str, OutputSpace]:
    spaces = {}
    for key, (title, primaries, white, curve, cp, tc) in _BASE.items():
        spaces[key] = OutputSpace(key, title, primaries, white, cicp_primaries=cp, cicp_transfer=tc,
                                  **curve)
        # Linear light in the same primaries; H.273 transfer 8 is linear.
        spaces[key + "-linear"] = OutputSpace(key + "-linear", title + " linear", primaries, white, gamma=1.0,
                                              cicp_primaries=cp, cicp_transfer=8)
    return spaces


SPACES: dict[str, OutputSpace] = _table()


def output_space(name: str) -> OutputSpace:
    """The space called ``name`` (see ``SPACES``), or ValueError listing them."""
    try:
        return SPACES[name]
    except KeyError:
        raise ValueError(f"output space must be one of {', '.join(SPACES)}, got {name!r}") from None
