"""The user's side of a DNG rendering (look, demosaic, output type and space,
white, exposure, curve, orientation, a replacing profile, the opcode rule),
checked before any file data is used: a choice that makes no sense is the
caller's ValueError, never a refusal of the file."""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Optional

from .._curves import Curve
from ..color.spaces import output_space
from ..color.white import WhiteSetting
from .records import CameraProfile

__all__ = ["DevelopChoices", "check_choices", "LOOKS", "DEMOSAIC_OPS"]

LOOKS = ("profile", "linear")
# demosaic= name -> (op, its "fast" flag)
# "half" makes one pixel of each 2 x 2 CFA cell: a half-size image, fast, for previews.
DEMOSAIC_OPS = {"ea": ("ea_demosaic", True), "ea_full": ("ea_demosaic", None), "bilinear": ("bilinear_demosaic", None),
                "half": ("half_demosaic", None)}


@dataclass(frozen=True)
class DevelopChoices:
    """The user's side of a rendering.

    look : "profile" (the camera profile's rendering) or "linear" (white
        balance, a camera -> sRGB matrix and ``curve``, no tone shaping).
    white : None for the file's as-shot white, else a WhiteSetting.
    exposure : stops added to the file's BaselineExposure (profile look) or
        applied alone (linear look). space : output colour space (profile look).
    profile : a camera profile replacing the file's (a DCP).
    exact_maps : the engine's direct hue/sat map routines (True) or its
        precomputed colour tables (off by up to 2e-2, 8-bit pixels up to 11
        levels; at 24 Mpx no faster than the direct routines on the
        processors measured, see docs/performance.md)."""

    look: str = "profile"
    demosaic: str = "ea"
    dtype: str = "uint8"
    space: str = "srgb"
    white: Optional[WhiteSetting] = None
    exposure: float = 0.0
    curve: Curve = "srgb"
    orientation: Optional[int] = None
    profile: Optional[CameraProfile] = None
    ignore_unknown_opcodes: bool = False
    exact_maps: bool = True


def check_choices(c: DevelopChoices) -> None:
    """Refuses choices that make no sense, with a ValueError naming the argument."""
    if c.look not in LOOKS:
        raise ValueError(f"look must be one of {', '.join(LOOKS)}, got {c.look!r}")
    if c.demosaic not in DEMOSAIC_OPS:
        raise ValueError(f"demosaic must be one of {', '.join(DEMOSAIC_OPS)}, got {c.demosaic!r}")
    if c.orientation is not None and (isinstance(c.orientation, bool) or c.orientation not in range(1, 9)):
        raise ValueError(f"orientation must be an integer from 1 to 8, got {c.orientation!r}")
    if not math.isfinite(c.exposure):
        raise ValueError(f"exposure must be a finite number of stops, got {c.exposure!r}")
    if c.look == "linear" and c.space != "srgb":
        raise ValueError(f"the linear look renders sRGB; space={c.space!r} needs look=\"profile\"")
    output_space(c.space)  # an unknown name is the caller's mistake, refused before any file data is used
    if c.dtype not in ("uint8", "uint16", "float32"):
        raise ValueError(f"dtype must be uint8, uint16 or float32, got {c.dtype}")
