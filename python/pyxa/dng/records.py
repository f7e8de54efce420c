"""What a DNG (or a DCP profile) says, as plain typed records: the reader fills
them from tags, the development graph is built from them (the opcodes'
records are in ``opcode_records``).
No pixels are touched here and nothing refers back to a file handle.

Names follow the DNG tags and opcodes, so a reader of the format's own
documentation finds each field under the name it has there. Coordinates are
(row, column) unless a tag stores them the other way, as noted."""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Optional

import numpy as np
import numpy.typing as npt

if TYPE_CHECKING:
    from .opcode_records import Opcode

__all__ = ["ProfileTable", "CameraProfile", "ProfileGainTableMap", "DngRecord", "STAGE_TAGS"]

FloatArray = npt.NDArray[np.float32]
DoubleArray = npt.NDArray[np.float64]

# The tags of the three opcode lists, by the stage each list runs at.
STAGE_TAGS = {1: "OpcodeList1", 2: "OpcodeList2", 3: "OpcodeList3"}

@dataclass(frozen=True)
class ProfileTable:
    """A HueSatMap or LookTable: per point a hue shift in degrees, a
    saturation scale and a value scale. ``encoding`` 0 takes the value axis
    linearly, 1 through the sRGB curve."""

    hue_divs: int
    sat_divs: int
    val_divs: int
    data: FloatArray  # (val_divs, hue_divs, sat_divs, 3): value outermost, saturation fastest
    encoding: int = 0


@dataclass(frozen=True)
class CameraProfile:
    """A camera profile, from a DNG's IFD0 or a DCP file. Matrices are as
    stored: colour matrices map XYZ to camera (planes x 3), forward matrices
    white-balanced camera to XYZ D50 (3 x planes). Illuminants are EXIF
    light-source codes (17 standard light A, 21 D65, 23 D50, ...); 0 unknown."""

    name: Optional[str] = None
    illuminant1: int = 0
    illuminant2: int = 0
    color_matrix1: Optional[DoubleArray] = None
    color_matrix2: Optional[DoubleArray] = None
    camera_calibration1: Optional[DoubleArray] = None
    camera_calibration2: Optional[DoubleArray] = None
    forward_matrix1: Optional[DoubleArray] = None
    forward_matrix2: Optional[DoubleArray] = None
    hue_sat_map1: Optional[ProfileTable] = None
    hue_sat_map2: Optional[ProfileTable] = None
    look_table: Optional[ProfileTable] = None
    tone_curve: Optional[DoubleArray] = None  # (n, 2): x, y from (0, 0) to (1, 1)
    baseline_exposure_offset: float = 0.0
    default_black_render: Optional[int] = None  # 0 auto, 1 none
    copyright: Optional[str] = None
    embed_policy: Optional[int] = None
    source: str = ""  # where it came from: "embedded", a DCP path, "matrix only"


@dataclass(frozen=True)
class ProfileGainTableMap:
    """The ProfileGainTableMap tag: at each of points_v x points_h grid points a
    table of num_table_points gains indexed by a brightness measure made from
    the weights (red, green, blue, minimum, maximum)."""

    points_v: int
    points_h: int
    spacing_v: float
    spacing_h: float
    origin_v: float
    origin_h: float
    num_table_points: int
    weights: tuple[float, float, float, float, float]
    gains: FloatArray  # (points_v, points_h, num_table_points)
    gamma: float = 1.0


@dataclass(frozen=True)
class DngRecord:
    """What a DNG says about its main image and how to render it.

    ``stored`` is the main image as decoded, the whole stored area: (H, W)
    for a CFA image, (H, W, samples) for a linear one; uint16 for integer
    samples of up to 16 bits, float32 for floating-point ones."""

    name: str
    stored: np.ndarray
    photometric: int  # 32803 CFA, 34892 linear raw
    bits_per_sample: int
    # The stored image's shape as its tags give it, also when ``stored`` was
    # left empty by a read without pixels: (H, W) or (H, W, samples).
    stored_shape: tuple[int, ...] = ()
    # CFA layout (CFA images only): pattern of colour indices into cfa_plane_color.
    cfa_repeat: tuple[int, int] = (2, 2)
    cfa_pattern: tuple[int, ...] = ()
    cfa_plane_color: tuple[int, ...] = (0, 1, 2)
    # ActiveArea as top, left, bottom, right of the stored image.
    active_area: tuple[int, int, int, int] = (0, 0, 0, 0)
    # DefaultCropOrigin and DefaultCropSize, relative to the active area, as the
    # tags store them: horizontal first.
    default_crop_origin: tuple[float, float] = (0.0, 0.0)
    default_crop_size: Optional[tuple[float, float]] = None
    linearization_table: Optional[npt.NDArray[np.uint16]] = None
    black_level_repeat: tuple[int, int] = (1, 1)
    black_level: DoubleArray = field(default_factory=lambda: np.zeros((1, 1, 1)))  # (rows, cols, samples)
    black_level_delta_h: Optional[DoubleArray] = None  # one per active-area column
    black_level_delta_v: Optional[DoubleArray] = None  # one per active-area row
    white_level: tuple[float, ...] = (65535.0,)  # one per sample
    analog_balance: Optional[DoubleArray] = None
    as_shot_neutral: Optional[DoubleArray] = None
    as_shot_white_xy: Optional[tuple[float, float]] = None
    baseline_exposure: float = 0.0
    orientation: int = 1
    opcode_lists: dict[int, tuple[Opcode, ...]] = field(default_factory=dict)  # stage -> opcodes
    profile: Optional[CameraProfile] = None
    profile_gain_table_map: Optional[ProfileGainTableMap] = None
    make: str = ""
    model: str = ""
    unique_camera_model: str = ""
    warnings: tuple[str, ...] = ()  # tags treated as absent, and why

    @property
    def samples_per_pixel(self) -> int:
        return 1 if self.stored.ndim == 2 else int(self.stored.shape[2])

    @property
    def is_cfa(self) -> bool:
        return self.photometric == 32803
