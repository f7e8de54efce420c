"""The profile look's stages as a NumPy user writes them (vectorised float32):
normalise, bilinear demosaic, clip and camera -> ProPhoto matrix, the
HueSatMap and the LookTable as trilinear lookups in HSV, the exposure ramp,
the hue-preserving tone curve, the output matrix and curve. The benchmark's
peer of the engine's profile graph; it takes the same ColorPlan numbers."""

import numpy as np

from graphs import BLACK, WHITE
from profile_graph import F32, np_keep_hue, np_lookup, np_map


def bilinear_rggb(x):
    h, w = x.shape
    p = np.pad(x, 1, mode="reflect")
    c = lambda dy, dx: p[1 + dy:1 + dy + h, 1 + dx:1 + dx + w]  # noqa: E731
    cross = (c(0, -1) + c(0, 1) + c(-1, 0) + c(1, 0)) * F32(0.25)
    diag = (c(-1, -1) + c(-1, 1) + c(1, -1) + c(1, 1)) * F32(0.25)
    horiz, vert = (c(0, -1) + c(0, 1)) * F32(0.5), (c(-1, 0) + c(1, 0)) * F32(0.5)
    rgb = np.empty((h, w, 3), F32)
    for (sy, sx), planes in {(0, 0): (x, cross, diag), (0, 1): (horiz, x, vert),
                             (1, 0): (vert, x, horiz), (1, 1): (diag, cross, x)}.items():
        for k, plane in enumerate(planes):
            rgb[sy::2, sx::2, k] = plane[sy::2, sx::2]
    return rgb


def hsv_map(rgb, m):
    """An EngineMap (hue x sat [x linear value] points of hue shift in degrees,
    saturation and value scales) applied in HSV, trilinear, hue wrapping."""
    return np_map(m.map_data.reshape(m.val_divs, m.hue_divs, m.sat_divs, 3).astype(F32), rgb)


def numpy_profile(plan, band=256):
    """The whole profile graph in NumPy, from a uint16 RGGB mosaic to uint8;
    the colour stages run on bands of rows, which keeps their temporaries small."""
    to_prophoto = plan.camera_to_prophoto.astype(F32)
    to_output = plan.prophoto_to_output.astype(F32)
    exposure, output = plan.exposure_table(), plan.output_table(np.uint8)

    def colour(rgb):
        rgb = np.clip(np.minimum(rgb, plan.clip_max.astype(F32)) @ to_prophoto.T, 0, 1)
        if plan.hue_sat_map is not None:
            rgb = hsv_map(rgb, plan.hue_sat_map)
        rgb = np_lookup(exposure, rgb)
        if plan.look_table is not None:
            rgb = hsv_map(rgb, plan.look_table)
        rgb = np_keep_hue(plan.tone_table, rgb) @ to_output.T
        return (np_lookup(output, rgb) * F32(255)).astype(np.uint8)

    def run(mosaic, out):
        x = np.clip((mosaic.astype(F32) - F32(BLACK)) * F32(1.0 / (WHITE - BLACK)), 0, 1)
        rgb = bilinear_rggb(x)
        for top in range(0, rgb.shape[0], band):
            out[top:top + band] = colour(rgb[top:top + band])
        return out
    return run
