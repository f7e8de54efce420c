"""The matrix math of a camera profile: the weight between its two
calibration illuminants, the matrices at that weight, camera neutral <-> xy,
camera RGB -> XYZ D50 (forward-matrix or colour-matrix path), and profiles
made from a bare XYZ -> camera matrix."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Optional

import numpy as np
import numpy.typing as npt

from ..dng.records import CameraProfile
from ._types import Matrix3, Vector3
from .colorimetry import D50_XY, D50_XYZ, bradford, light_source, xy_to_temperature_tint, xy_to_xyz, xyz_to_xy

__all__ = ["ProfileMatrices", "NeutralSearch", "is_dual", "illuminant_weight", "profile_matrices", "check_neutral",
           "neutral_to_xy", "xy_to_neutral", "camera_to_xyz_d50", "profile_from_matrix",
           "NEUTRAL_ITERATIONS", "NEUTRAL_TOLERANCE"]

# The white search stops when xy moves less than NEUTRAL_TOLERANCE, or after
# NEUTRAL_ITERATIONS rounds (it usually settles in under ten: the matrices
# change slowly with temperature).
NEUTRAL_ITERATIONS = 50
NEUTRAL_TOLERANCE = 1e-10


def _matrix(value: Optional[npt.ArrayLike], what: str) -> Optional[Matrix3]:
    if value is None:
        return None
    m = np.asarray(value, dtype=np.float64)
    if m.size != 9:
        raise ValueError(f"{what} must be 3 x 3 (three-colour cameras only), got {m.size} values")
    m = m.reshape(3, 3)
    if not np.all(np.isfinite(m)):
        raise ValueError(f"{what} holds a value that is not finite")
    return m


def _invert(m: Matrix3, what: str) -> Matrix3:
    if not abs(float(np.linalg.det(m))) > 1e-12 * float(np.abs(m).max()) ** 3:
        raise ValueError(f"{what} cannot be inverted (it is singular)")
    result: Matrix3 = np.asarray(np.linalg.inv(m), dtype=np.float64)
    return result


def is_dual(profile: CameraProfile) -> bool:
    """True when the profile has a second calibration (ColorMatrix2)."""
    return profile.color_matrix2 is not None


def _illuminant_temperatures(profile: CameraProfile) -> tuple[float, float]:
    return light_source(profile.illuminant1).temperature, light_source(profile.illuminant2).temperature


def illuminant_weight(profile: CameraProfile, temperature: float) -> float:
    """Weight of the first calibration (1 - weight goes to the second), linear
    in reciprocal temperature between the two illuminants' temperatures and
    clamped outside them. One calibration, or two at one temperature: 1."""
    if not is_dual(profile):
        return 1.0
    t1, t2 = _illuminant_temperatures(profile)
    if abs(t1 - t2) < 1e-6 * max(t1, t2):
        return 1.0
    w = (1.0 / temperature - 1.0 / t2) / (1.0 / t1 - 1.0 / t2)
    return min(1.0, max(0.0, w))


def _normalize_color_matrix(cm: Matrix3) -> Matrix3:
    """Scaled so that D50 maps to a camera neutral whose largest channel is 1:
    the two colour matrices then mix on a common scale, whatever scale each
    was stored at."""
    top = float(np.max(cm @ D50_XYZ))
    if not top > 0.0:
        raise ValueError("ColorMatrix maps the D50 white to no positive camera channel")
    result: Matrix3 = cm / top
    return result


def _normalize_forward_matrix(fm: Matrix3) -> Matrix3:
    """Rows scaled so that the white-balanced camera white (1, 1, 1) lands
    exactly on XYZ D50, which the forward-matrix path relies on."""
    rows = fm @ np.ones(3)
    if not np.all(rows > 0.0):
        raise ValueError("ForwardMatrix maps the camera white (1, 1, 1) outside positive XYZ")
    result: Matrix3 = fm * (D50_XYZ / rows)[:, None]
    return result


@dataclass(frozen=True)
class ProfileMatrices:
    """The profile's matrices at one illuminant weight: colour matrix (XYZ ->
    reference camera, normalized), camera calibration (identity when absent),
    forward matrix (None when the profile has none), analog balance."""

    weight: float
    color_matrix: Matrix3
    camera_calibration: Matrix3
    forward_matrix: Optional[Matrix3]
    analog_balance: Matrix3

    @property
    def xyz_to_camera(self) -> Matrix3:
        """AnalogBalance * CameraCalibration * ColorMatrix: XYZ -> raw camera RGB."""
        result: Matrix3 = self.analog_balance @ self.camera_calibration @ self.color_matrix
        return result


def _mix(first: Optional[Matrix3], second: Optional[Matrix3], weight: float) -> Optional[Matrix3]:
    if first is None or second is None:
        return first if first is not None else second
    result: Matrix3 = weight * first + (1.0 - weight) * second
    return result


def _analog_balance(value: Optional[npt.ArrayLike]) -> Matrix3:
    if value is None:
        return np.eye(3)
    ab = np.asarray(value, dtype=np.float64).ravel()
    if ab.size != 3 or not np.all(np.isfinite(ab)) or not np.all(ab > 0.0):
        raise ValueError(f"AnalogBalance needs three positive finite values, got {ab.tolist()}")
    result: Matrix3 = np.diag(ab)
    return result


def profile_matrices(profile: CameraProfile, weight: float,
                     analog_balance: Optional[npt.ArrayLike] = None) -> ProfileMatrices:
    """The matrices at ``weight`` of the first calibration: each pair mixed
    linearly (a missing camera calibration is the identity; a forward matrix
    present for one calibration only is used alone)."""
    cm1 = _matrix(profile.color_matrix1, "ColorMatrix1")
    if cm1 is None:
        raise ValueError("camera profile has no ColorMatrix1")
    cm2 = _matrix(profile.color_matrix2, "ColorMatrix2")
    cm = _mix(_normalize_color_matrix(cm1), None if cm2 is None else _normalize_color_matrix(cm2), weight)
    cc1 = _matrix(profile.camera_calibration1, "CameraCalibration1")
    cc2 = _matrix(profile.camera_calibration2, "CameraCalibration2")
    if cm2 is not None:
        cc1 = np.eye(3) if cc1 is None else cc1
        cc2 = np.eye(3) if cc2 is None else cc2
    cc = _mix(cc1, cc2, weight)
    fm1 = _matrix(profile.forward_matrix1, "ForwardMatrix1")
    fm2 = _matrix(profile.forward_matrix2, "ForwardMatrix2")
    fm = _mix(None if fm1 is None else _normalize_forward_matrix(fm1),
              None if fm2 is None else _normalize_forward_matrix(fm2), weight)
    assert cm is not None
    return ProfileMatrices(weight, cm, np.eye(3) if cc is None else cc, fm, _analog_balance(analog_balance))


def check_neutral(value: npt.ArrayLike, what: str = "AsShotNeutral") -> Vector3:
    """Three positive finite values, scaled so the largest is 1."""
    n = np.asarray(value, dtype=np.float64).ravel()
    if n.size != 3 or not np.all(np.isfinite(n)) or not np.all(n > 0.0):
        raise ValueError(f"{what} needs three positive finite values, got {n.tolist()}")
    result: Vector3 = n / n.max()
    return result


def _temperature(xy: tuple[float, float]) -> float:
    return xy_to_temperature_tint(xy)[0]


def xy_to_neutral(profile: CameraProfile, xy: tuple[float, float],
                  analog_balance: Optional[npt.ArrayLike] = None) -> Vector3:
    """The raw camera's response to white light of chromaticity ``xy``,
    scaled so its largest channel is 1."""
    m = profile_matrices(profile, illuminant_weight(profile, _temperature(xy)), analog_balance)
    n = m.xyz_to_camera @ xy_to_xyz(xy)
    if not np.all(n > 0.0):
        raise ValueError(f"white ({xy[0]:.4f}, {xy[1]:.4f}) gives the camera a neutral without a positive "
                         f"value in every channel ({n.tolist()}); the white lies outside what it can see")
    result: Vector3 = n / n.max()
    return result


@dataclass(frozen=True)
class NeutralSearch:
    """Where the white search from a camera neutral ended."""

    xy: tuple[float, float]
    iterations: int
    converged: bool


def neutral_to_xy(profile: CameraProfile, neutral: npt.ArrayLike,
                  analog_balance: Optional[npt.ArrayLike] = None) -> NeutralSearch:
    """Chromaticity of the light a camera neutral stands for. The matrices
    depend on the light's temperature, so: guess D50, take the matrices at the
    guess's temperature, map the neutral to xy, and repeat until xy moves
    less than NEUTRAL_TOLERANCE or NEUTRAL_ITERATIONS rounds have passed (then
    the midpoint of the last two guesses, for a search caught between two)."""
    n = check_neutral(neutral)
    xy = D50_XY
    previous = xy
    for i in range(1, NEUTRAL_ITERATIONS + 1):
        m = profile_matrices(profile, illuminant_weight(profile, _temperature(xy)), analog_balance)
        xyz = _invert(m.xyz_to_camera, "AnalogBalance * CameraCalibration * ColorMatrix") @ n
        try:
            new = xyz_to_xy(xyz)
        except ValueError:
            raise ValueError(f"camera neutral {n.tolist()} maps to no colour through the profile "
                             f"(XYZ {xyz.tolist()})") from None
        if not new[1] > 0.0:
            raise ValueError(f"camera neutral {n.tolist()} maps to chromaticity {new}, outside the visible range")
        if max(abs(new[0] - xy[0]), abs(new[1] - xy[1])) < NEUTRAL_TOLERANCE:
            return NeutralSearch(new, i, True)
        previous, xy = xy, new
    return NeutralSearch((0.5 * (xy[0] + previous[0]), 0.5 * (xy[1] + previous[1])), NEUTRAL_ITERATIONS, False)


def camera_to_xyz_d50(matrices: ProfileMatrices, neutral: Vector3, white_xy: tuple[float, float]) -> Matrix3:
    """Raw camera RGB -> XYZ D50, scaled so the camera neutral maps to Y = 1.

    With a forward matrix: FM * diag(1 / ReferenceNeutral) * (AB * CC)^-1, where
    ReferenceNeutral = (AB * CC)^-1 * CameraNeutral; the forward matrix already
    holds the adaptation to D50. Without: (AB * CC * CM)^-1, then Bradford from
    the white to D50."""
    ab_cc = matrices.analog_balance @ matrices.camera_calibration
    if matrices.forward_matrix is not None:
        ab_cc_inv = _invert(ab_cc, "AnalogBalance * CameraCalibration")
        reference = ab_cc_inv @ neutral
        if not np.all(reference > 0.0):
            raise ValueError(f"camera neutral {neutral.tolist()} has no positive reference neutral")
        m = matrices.forward_matrix @ np.diag(1.0 / reference) @ ab_cc_inv
    else:
        m = bradford(white_xy, D50_XY) @ _invert(matrices.xyz_to_camera,
                                                 "AnalogBalance * CameraCalibration * ColorMatrix")
    y = float((m @ neutral)[1])
    if not y > 0.0:
        raise ValueError("the camera neutral maps to no positive luminance through the profile")
    result: Matrix3 = m / y
    return result


def profile_from_matrix(xyz_to_camera: npt.ArrayLike, illuminant: int = 21,
                        name: str = "matrix only") -> CameraProfile:
    """A camera profile from a bare XYZ -> camera matrix (a raw reader's
    colour matrix, or a DNG holding only ColorMatrix1) calibrated under the
    EXIF light source ``illuminant`` (D65 unless stated). It has no maps
    and no tone curve, so it renders with the default look's base curve.
    rawpy's ``rgb_xyz_matrix`` (4 x 3, the last row zero for three-colour
    cameras) is taken as it comes."""
    m = np.asarray(xyz_to_camera, dtype=np.float64)
    if m.shape == (4, 3):
        if np.any(m[3] != 0.0):
            raise ValueError("colour matrix has a fourth colour (a four-colour camera); only RGB cameras are handled")
        m = m[:3]
    cm = _matrix(m, "colour matrix")
    assert cm is not None
    if not np.any(cm != 0.0):
        raise ValueError("colour matrix is all zeros: the raw file gives no camera colour matrix")
    _invert(cm, "colour matrix")
    return CameraProfile(name=name, illuminant1=int(illuminant), color_matrix1=cm, source="matrix only")
