"""The profile look's stages as a NumPy user writes them (vectorised float32):
normalise, bilinear demosaic, clip and camera -> ProPhoto matrix, the
HueSatMap and the LookTable as trilinear lookups in HSV, the exposure ramp,
the hue-preserving tone curve, the output matrix and curve. The benchmark's
peer of the engine's profile graph; it takes the same ColorPlan numbers."""

import numpy as np

from graphs import BLACK, WHITE

F32 = np.float32


def lookup(table, x):
    """Interpolated table lookup over [0, 1]: one gather per neighbour and a blend."""
    t = np.append(table, table[-1]).astype(F32)
    z = np.clip(x, 0.0, 1.0) * F32(len(table) - 1)
    i = z.astype(np.int32)
    z -= i
    v = t[i]
    v += z * (t[i + 1] - v)
    return v


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
    data = m.map_data.reshape(m.val_divs, m.hue_divs, m.sat_divs, 3)
    r, g, b = rgb[..., 0], rgb[..., 1], rgb[..., 2]
    v = rgb.max(axis=-1)
    span = v - rgb.min(axis=-1)
    safe = np.where(span > 0, span, F32(1))
    h = np.where(r == v, (g - b) / safe, np.where(g == v, (b - r) / safe + 2, (r - g) / safe + 4))
    h = np.where(h < 0, h + 6, h) * F32(m.hue_divs / 6.0)
    s = np.where(v > 0, span / np.where(v > 0, v, F32(1)), F32(0)) * F32(m.sat_divs - 1)
    h0 = np.minimum(h.astype(np.int32), m.hue_divs - 1)
    s0 = np.minimum(s.astype(np.int32), m.sat_divs - 2)
    fh, fs = (h - h0)[..., None], (s - s0)[..., None]
    h1 = np.where(h0 + 1 == m.hue_divs, 0, h0 + 1)
    if m.val_divs > 1:
        vv = np.clip(v, 0, 1) * F32(m.val_divs - 1)
        v0 = np.minimum(vv.astype(np.int32), m.val_divs - 2)
        fv = (vv - v0)[..., None]
        slabs = [(v0, 1 - fv), (v0 + 1, fv)]
    else:
        slabs = [(np.zeros_like(h0), F32(1))]
    point = 0
    for vi, wv in slabs:
        for hi, wh in ((h0, 1 - fh), (h1, fh)):
            point = point + wv * wh * ((1 - fs) * data[vi, hi, s0] + fs * data[vi, hi, s0 + 1])
    h2 = np.mod(h * F32(6.0 / m.hue_divs) + point[..., 0] / F32(60), 6)
    s2 = np.minimum(span / np.where(v > 0, v, F32(1)) * point[..., 1], 1)
    v2 = np.clip(v * point[..., 2], 0, 1)
    out = np.empty_like(rgb)
    for k, shift in enumerate((5.0, 3.0, 1.0)):
        q = np.mod(h2 + F32(shift), 6)
        out[..., k] = v2 * (1 - s2 * np.clip(np.minimum(q, 4 - q), 0, 1))
    return out


def tone_keep_hue(rgb, table):
    """The tone curve on the largest and smallest channel, the middle one kept between them."""
    rgb = np.clip(rgb, 0, 1)
    hi, lo = rgb.max(axis=-1), rgb.min(axis=-1)
    hi2, lo2 = lookup(table, hi), lookup(table, lo)
    span = hi - lo
    scale = np.where(span > 1e-10, (hi2 - lo2) / np.where(span > 1e-10, span, F32(1)), F32(0))
    return lo2[..., None] + (rgb - lo[..., None]) * scale[..., None]


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
        rgb = lookup(exposure, rgb)
        if plan.look_table is not None:
            rgb = hsv_map(rgb, plan.look_table)
        rgb = tone_keep_hue(rgb, plan.tone_table) @ to_output.T
        return (lookup(output, rgb) * F32(255)).astype(np.uint8)

    def run(mosaic, out):
        x = np.clip((mosaic.astype(F32) - F32(BLACK)) * F32(1.0 / (WHITE - BLACK)), 0, 1)
        rgb = bilinear_rggb(x)
        for top in range(0, rgb.shape[0], band):
            out[top:top + band] = colour(rgb[top:top + band])
        return out
    return run
