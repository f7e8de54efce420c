"""Camera profiles: the profile tags of a DNG's IFD0 (``camera_profile``) or of
a DCP file (``read_profile``) into a CameraProfile record. Matrices and
scalars that are impossible are ignored with a warning; a hue/sat map or look
table whose size disagrees with its dimensions is refused."""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any, Optional

import numpy as np
import numpy.typing as npt

from ..raw import RawFileError
from .records import CameraProfile, ProfileTable
from .tags import Findings, Ifd, TagProblem, describe_bad, finite
from .tiff_files import Source, ifd_of, library_errors, name_of, open_tiff

__all__ = ["camera_profile", "read_profile", "PROFILE_TAGS"]

PROFILE_TAGS = (
    "ProfileName", "CalibrationIlluminant1", "CalibrationIlluminant2", "ColorMatrix1", "ColorMatrix2",
    "CameraCalibration1", "CameraCalibration2", "ForwardMatrix1", "ForwardMatrix2", "ProfileHueSatMapDims",
    "ProfileHueSatMapData1", "ProfileHueSatMapData2", "ProfileHueSatMapEncoding", "ProfileLookTableDims",
    "ProfileLookTableData", "ProfileLookTableEncoding", "ProfileToneCurve", "BaselineExposureOffset",
    "DefaultBlackRender", "ProfileCopyright", "ProfileEmbedPolicy",
)
DCP_MAGIC = 0x4352  # "RC" where a TIFF has 42
MAX_PLANES = 4


class _ProfileIfds:
    """Looks a profile tag up in the IFDs that may hold it, first one first,
    turning an unreadable value into a warning or a refusal."""

    def __init__(self, ifds: Sequence[Ifd], findings: Findings):
        self.ifds, self.findings = ifds, findings

    def where(self, name: str) -> Optional[Ifd]:
        return next((ifd for ifd in self.ifds if ifd.has(name)), None)

    def numbers(self, name: str, *, required: bool = False) -> Optional[npt.NDArray[np.float64]]:
        ifd = self.where(name)
        if ifd is None:
            return None
        try:
            return ifd.numbers(name)
        except TagProblem as e:
            if required:
                self.findings.refuse(name, str(e))
            self.findings.ignore(name, str(e))
            return None

    def text(self, name: str) -> Optional[str]:
        ifd = self.where(name)
        if ifd is None:
            return None
        try:
            return ifd.text(name)
        except TagProblem as e:
            self.findings.ignore(name, str(e))
            return None


def camera_profile(ifds: Sequence[Ifd], planes: int, findings: Findings, source: str) -> Optional[CameraProfile]:
    """The profile the IFDs hold (``ifds`` in the order to look in: IFD0 first),
    for a camera of ``planes`` colour planes; None when they hold no profile tag."""
    tags = _ProfileIfds(ifds, findings)
    if not any(tags.where(name) for name in PROFILE_TAGS):
        return None
    return _profile(tags, planes, source)


def read_profile(path: Source) -> CameraProfile:
    """A DCP camera profile file: byte order II, magic 0x4352, one IFD of
    profile tags and no image. Raises RawFileError naming the file and tag."""
    file = name_of(path)
    findings = Findings(file)
    with open_tiff(path, file) as (tif, size):
        with library_errors(file, "the profile's header"):
            magic = _magic(tif)
        if magic != DCP_MAGIC:
            raise RawFileError(file, f"not a DCP camera profile: magic number {magic:#06x} where a profile "
                                     f"has {DCP_MAGIC:#06x}", not_raw=True)
        with library_errors(file, "the profile's IFD"):
            ifd = ifd_of(tif, tif.pages[0], "IFD0", size, file)
        tags = _ProfileIfds([ifd], findings)
        planes = _dcp_planes(tags)
        with library_errors(file, "the profile's tags"):
            profile = _profile(tags, planes, file)
    if profile.color_matrix1 is None:
        findings.refuse("ColorMatrix1", "a camera profile needs a usable ColorMatrix1")
    return profile


def _dcp_planes(tags: _ProfileIfds) -> int:
    """A DCP names no image, so ColorMatrix1 (planes x 3) says how many colour
    planes the camera has."""
    matrix = tags.numbers("ColorMatrix1", required=True)
    if matrix is None:
        tags.findings.refuse("ColorMatrix1", "is missing; a camera profile needs it")
    if matrix.size % 3 or not 1 <= matrix.size // 3 <= MAX_PLANES:
        tags.findings.refuse("ColorMatrix1", f"has {matrix.size} values, a multiple of 3 from 3 to "
                                             f"{3 * MAX_PLANES} expected")
    return matrix.size // 3


def _magic(tif: Any) -> int:
    fh = tif.filehandle
    fh.seek(0)
    head = fh.read(4)
    return int.from_bytes(head[2:4], "little" if head[:2] == b"II" else "big")


def _profile(tags: _ProfileIfds, planes: int, source: str) -> CameraProfile:
    # Both hue/sat maps share one encoding tag: read once, warned about once.
    hue_sat_encoding = _choice(tags, "ProfileHueSatMapEncoding", (0, 1)) or 0
    look_encoding = _choice(tags, "ProfileLookTableEncoding", (0, 1)) or 0
    return CameraProfile(
        name=tags.text("ProfileName"),
        illuminant1=_illuminant(tags, "CalibrationIlluminant1"),
        illuminant2=_illuminant(tags, "CalibrationIlluminant2"),
        color_matrix1=_matrix(tags, "ColorMatrix1", planes, 3),
        color_matrix2=_matrix(tags, "ColorMatrix2", planes, 3),
        camera_calibration1=_matrix(tags, "CameraCalibration1", planes, planes),
        camera_calibration2=_matrix(tags, "CameraCalibration2", planes, planes),
        forward_matrix1=_matrix(tags, "ForwardMatrix1", 3, planes),
        forward_matrix2=_matrix(tags, "ForwardMatrix2", 3, planes),
        hue_sat_map1=_table(tags, "ProfileHueSatMapData1", "ProfileHueSatMapDims", hue_sat_encoding),
        hue_sat_map2=_table(tags, "ProfileHueSatMapData2", "ProfileHueSatMapDims", hue_sat_encoding),
        look_table=_table(tags, "ProfileLookTableData", "ProfileLookTableDims", look_encoding),
        tone_curve=_tone_curve(tags),
        baseline_exposure_offset=_baseline_exposure_offset(tags),
        default_black_render=_choice(tags, "DefaultBlackRender", (0, 1)),
        copyright=tags.text("ProfileCopyright"),
        embed_policy=_choice(tags, "ProfileEmbedPolicy", (0, 1, 2, 3)),
        source=source,
    )


def _single(tags: _ProfileIfds, name: str) -> Optional[float]:
    values = tags.numbers(name)
    if values is None:
        return None
    if values.size != 1:
        tags.findings.ignore(name, f"has {values.size} values, 1 expected")
        return None
    if not finite(values):
        tags.findings.ignore(name, describe_bad(values))
        return None
    return float(values[0])


def _choice(tags: _ProfileIfds, name: str, allowed: tuple[int, ...]) -> Optional[int]:
    value = _single(tags, name)
    if value is None:
        return None
    if value not in allowed:
        tags.findings.ignore(name, f"is {value:g}, not one of {', '.join(map(str, allowed))}")
        return None
    return int(value)


def _illuminant(tags: _ProfileIfds, name: str) -> int:
    value = _single(tags, name)
    if value is None:
        return 0
    # EXIF light-source codes fit a byte (255: "other light source").
    if value != int(value) or not 0 <= value <= 255:
        tags.findings.ignore(name, f"is {value:g}, not a light-source code 0 to 255")
        return 0
    return int(value)


def _matrix(tags: _ProfileIfds, name: str, rows: int, cols: int) -> Optional[npt.NDArray[np.float64]]:
    values = tags.numbers(name)
    if values is None:
        return None
    if values.size != rows * cols:
        tags.findings.ignore(name, f"has {values.size} values, a {rows} x {cols} matrix needs {rows * cols}")
        return None
    if not finite(values):
        tags.findings.ignore(name, describe_bad(values))
        return None
    if not np.any(values):
        tags.findings.ignore(name, "is all zeros")
        return None
    return values.reshape(rows, cols).copy()


def _table(tags: _ProfileIfds, data_tag: str, dims_tag: str, encoding: int) -> Optional[ProfileTable]:
    f = tags.findings
    data = tags.numbers(data_tag, required=True)
    if data is None:
        return None
    dims = tags.numbers(dims_tag, required=True)
    if dims is None:
        f.refuse(data_tag, f"is present but {dims_tag} is missing")
    if dims.size != 3 or not finite(dims) or np.any(dims < 1) or np.any(dims != np.round(dims)):
        f.refuse(dims_tag, f"must be 3 whole numbers of at least 1 (hue, saturation, value divisions), "
                           f"found {', '.join(f'{d:g}' for d in dims[:6])}")
    hue, sat, val = (int(d) for d in dims)
    if data.size != hue * sat * val * 3:
        f.refuse(data_tag, f"has {data.size} values, {dims_tag} {hue} x {sat} x {val} needs "
                           f"{hue * sat * val * 3} (3 per point)")
    if not finite(data):
        f.refuse(data_tag, describe_bad(data))
    return ProfileTable(hue_divs=hue, sat_divs=sat, val_divs=val,
                        data=data.astype(np.float32).reshape(val, hue, sat, 3), encoding=encoding)


def _tone_curve(tags: _ProfileIfds) -> Optional[npt.NDArray[np.float64]]:
    name, f = "ProfileToneCurve", tags.findings
    values = tags.numbers(name)
    if values is None:
        return None
    if values.size < 4 or values.size % 2:
        f.ignore(name, f"has {values.size} values, (x, y) pairs of at least 2 points expected")
        return None
    if not finite(values):
        f.ignore(name, describe_bad(values))
        return None
    curve = values.reshape(-1, 2)
    x, y = curve[:, 0], curve[:, 1]
    if x[0] != 0 or x[-1] != 1 or np.any(np.diff(x) <= 0):
        f.ignore(name, "x values do not rise from 0 to 1")
        return None
    if np.any(y < 0) or np.any(y > 1):
        f.ignore(name, "has y values outside 0 to 1")
        return None
    return curve.copy()


def _baseline_exposure_offset(tags: _ProfileIfds) -> float:
    value = _single(tags, "BaselineExposureOffset")
    return 0.0 if value is None else value
