"""A RawImage (a raw file rawpy read) as the DngRecord the DNG development
graph takes, so a profile, a DCP or a white given as a temperature renders
every raw format the way it renders a DNG."""

from __future__ import annotations

import numpy as np

from .color.camera import profile_from_matrix
from .dng.records import DngRecord
from .raw import XYZ_FROM_SRGB, RawFileError, RawImage

__all__ = ["raw_image_record"]

CFA_PHOTOMETRIC = 32803


def _xyz_to_camera(raw: RawImage) -> np.ndarray:
    """The decoder's XYZ -> camera matrix; without one, the inverse of what
    its camera -> sRGB matrix says (the identity when it had none: the
    camera's RGB taken as sRGB)."""
    if raw.xyz_to_camera is not None:
        return raw.xyz_to_camera
    return np.linalg.inv(XYZ_FROM_SRGB @ raw.matrix)


def raw_image_record(raw: RawImage) -> DngRecord:
    """The record of ``raw``: its visible mosaic (not copied), the 2x2 CFA,
    per-site black levels, white level, as-shot neutral (1 / the camera
    gains) and a profile made from its colour matrix under D65."""
    mosaic = raw.mosaic
    neutral = 1.0 / np.asarray(raw.wb_camera, dtype=np.float64)
    try:
        profile = profile_from_matrix(_xyz_to_camera(raw), 21, name="colour matrix of the raw file")
    except (ValueError, np.linalg.LinAlgError) as e:
        raise RawFileError(raw.name, f"its colour matrix makes no camera profile: {e}") from e
    return DngRecord(
        name=raw.name, stored=mosaic, photometric=CFA_PHOTOMETRIC, bits_per_sample=16, stored_shape=mosaic.shape,
        cfa_repeat=(2, 2), cfa_pattern=tuple("RGB".index(c) for c in raw.cfa), cfa_plane_color=(0, 1, 2),
        active_area=(0, 0, mosaic.shape[0], mosaic.shape[1]), black_level_repeat=(2, 2),
        black_level=np.asarray(raw.black, dtype=np.float64).reshape(2, 2, 1), white_level=(float(raw.white),),
        as_shot_neutral=neutral / neutral.max(), orientation=raw.orientation, profile=profile)
