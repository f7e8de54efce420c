"""NumPy renderings of the DNG opcode rules as pyxa documents them (docs/dng.md
and the engine ops' descriptions), for the development tests to hold
pyxa.develop against. Written from the rules, in float64, sharing nothing with
pyxa.dng: images are (H, W, C) arrays; coordinates count from the image's
top-left pixel; a relative position p of an image of n pixels is pixel p * n
for the lens centres and (i + 0.5) / n for the pixel i of a gain map."""

import numpy as np

CUBIC_A = -0.75
BINS = 32


def selected(shape, area):
    """Boolean (H, W, C) mask of the samples an AREA (Top, Left, Bottom, Right,
    Plane, Planes, RowPitch, ColPitch) selects, clipped to the image."""
    h, w, c = shape
    mask = np.zeros(shape, bool)
    rows = np.arange(area.top, min(area.bottom, h), area.row_pitch)
    cols = np.arange(area.left, min(area.right, w), area.col_pitch)
    planes = np.arange(area.plane, min(area.plane + area.planes, c))
    mask[np.ix_(rows, cols, planes)] = True
    return mask


def _grid_position(n, points, spacing, origin):
    if points == 1:
        return np.zeros(n)
    return np.clip(((np.arange(n) + 0.5) / n - origin) / spacing, 0, points - 1)


def _bilinear_grid(grid, v, h):
    """grid (V, Hn) at fractional rows v (H,) and columns h (W,): (H, W)."""
    v0 = np.minimum(np.floor(v).astype(int), grid.shape[0] - 1)
    h0 = np.minimum(np.floor(h).astype(int), grid.shape[1] - 1)
    v1, h1 = np.minimum(v0 + 1, grid.shape[0] - 1), np.minimum(h0 + 1, grid.shape[1] - 1)
    fv, fh = (v - v0)[:, None], (h - h0)[None, :]
    top = grid[v0][:, h0] * (1 - fh) + grid[v0][:, h1] * fh
    bottom = grid[v1][:, h0] * (1 - fh) + grid[v1][:, h1] * fh
    return top * (1 - fv) + bottom * fv


def gain_map(img, p):
    """GainMap: each selected sample times the map's bilinear gain at its
    pixel centre, the map held at its edge points; plane k of the area reads
    map plane min(k, MapPlanes - 1); results clipped to [0, 1]."""
    h, w, c = img.shape
    v = _grid_position(h, p.points_v, p.spacing_v, p.origin_v)
    u = _grid_position(w, p.points_h, p.spacing_h, p.origin_h)
    out = img.copy()
    mask = selected(img.shape, p.area)
    for plane in range(c):
        m = min(plane - p.area.plane, p.map_planes - 1)
        if m < 0:
            continue
        gain = _bilinear_grid(p.gains[:, :, m].astype(np.float64), v, u)
        out[..., plane] = np.where(mask[..., plane], np.clip(img[..., plane] * gain, 0, 1), img[..., plane])
    return out


def _lens_geometry(h, w, cx, cy):
    """Centre in pixels, the distance to the farthest corner, and each pixel's
    offset from the centre in units of it."""
    cxp, cyp = w * cx, h * cy
    radius = max(np.hypot(cxp, cyp), np.hypot(w - cxp, cyp), np.hypot(cxp, h - cyp), np.hypot(w - cxp, h - cyp), 1)
    y, x = np.mgrid[0:h, 0:w].astype(np.float64)
    return cxp, cyp, radius, (x - cxp) / radius, (y - cyp) / radius


def _cubic(t):
    t = np.abs(t)
    a = CUBIC_A
    return np.where(t < 1, (a + 2) * t ** 3 - (a + 3) * t ** 2 + 1,
                    np.where(t < 2, a * t ** 3 - 5 * a * t ** 2 + 8 * a * t - 4 * a, 0.0))


def _window(s, n):
    """Window start and fraction bin along one axis: 4 taps from s's pixel
    minus one, moved inside the image (bin 0 there), fractions in 1/32."""
    s0 = np.floor(s).astype(int)
    start = s0 - 1
    frac_bin = np.floor((s - s0) * BINS).astype(int)
    low, high = start < 0, start > n - 4
    return np.clip(start, 0, n - 4), np.where(low | high, 0, frac_bin)


def bicubic(plane, sx, sy):
    """The warp's bicubic sampling of plane at (sx, sy), clipped to [0, 1]."""
    h, w = plane.shape
    bx, jx = _window(sx, w)
    by, jy = _window(sy, h)
    out = np.zeros(sx.shape)
    total = np.zeros(sx.shape)
    for r in range(4):
        wy = _cubic(r - 1 - jy / BINS)
        for c in range(4):
            weight = wy * _cubic(c - 1 - jx / BINS)
            out += plane[by + r, bx + c] * weight
            total += weight
    return np.clip(out / total, 0, 1)


def _sample(plane, sx, sy):
    h, w = plane.shape
    return bicubic(plane, np.clip(sx, 0, w - 1), np.clip(sy, 0, h - 1))


def warp_rectilinear(img, p):
    """WarpRectilinear: the output pixel at offset (dx, dy) from the centre (in
    units of the farthest-corner distance R) reads the input at centre +
    (dx f + tx, dy f + ty) R, f = kr0 + kr1 r^2 + kr2 r^4 + kr3 r^6, tx =
    kt0 2 dx dy + kt1 (r^2 + 2 dx^2), ty = kt1 2 dx dy + kt0 (r^2 + 2 dy^2)."""
    h, w, c = img.shape
    cxp, cyp, radius, dx, dy = _lens_geometry(h, w, p.center_x, p.center_y)
    r2 = dx * dx + dy * dy
    out = np.empty_like(img)
    for plane in range(c):
        kr0, kr1, kr2, kr3, kt0, kt1 = p.coefficients[min(plane, len(p.coefficients) - 1)]
        f = kr0 + kr1 * r2 + kr2 * r2 ** 2 + kr3 * r2 ** 3
        sx = cxp + radius * (dx * f + kt0 * 2 * dx * dy + kt1 * (r2 + 2 * dx * dx))
        sy = cyp + radius * (dy * f + kt1 * 2 * dx * dy + kt0 * (r2 + 2 * dy * dy))
        out[..., plane] = _sample(img[..., plane], sx, sy)
    return out


def warp_fisheye(img, p):
    """WarpFisheye: the output pixel at distance r (units of R) reads the input
    on the same ray at kr0 t + kr1 t^3 + kr2 t^5 + kr3 t^7, t = atan(r)."""
    h, w, c = img.shape
    cxp, cyp, radius, dx, dy = _lens_geometry(h, w, p.center_x, p.center_y)
    r = np.hypot(dx, dy)
    t = np.arctan(r)
    out = np.empty_like(img)
    for plane in range(c):
        k0, k1, k2, k3 = p.coefficients[min(plane, len(p.coefficients) - 1)]
        reach = k0 * t + k1 * t ** 3 + k2 * t ** 5 + k3 * t ** 7
        ratio = np.where(r > 0, reach / np.where(r > 0, r, 1), k0)
        out[..., plane] = _sample(img[..., plane], cxp + ratio * dx * radius, cyp + ratio * dy * radius)
    return out


def fix_vignette(img, p):
    """FixVignetteRadial: gain 1 + k0 r^2 + k1 r^4 + ... + k4 r^10 (r in units of
    the farthest-corner distance), results clipped to [0, 1]."""
    h, w, c = img.shape
    _, _, _, dx, dy = _lens_geometry(h, w, p.center_x, p.center_y)
    s = dx * dx + dy * dy
    gain = 1 + sum(k * s ** (i + 1) for i, k in enumerate(p.k))
    return np.clip(img * gain[..., None], 0, 1)


def map_polynomial(img, p):
    """MapPolynomial: selected samples v become sum c_i v^i (v >= 0 here),
    clipped to [-1, 1]."""
    value = sum(c * img ** i for i, c in enumerate(p.coefficients))
    return np.where(selected(img.shape, p.area), np.clip(value, -1, 1), img)


# The 2 x 2 cell of each DNG BayerPhase (0 red, 1 green, 2 blue): 0 red at the
# top-left, 1 green then red, 2 green then blue, 3 blue.
PHASE_CELLS = {0: ((0, 1), (1, 2)), 1: ((1, 0), (2, 1)), 2: ((1, 2), (0, 1)), 3: ((2, 1), (1, 0))}


def site_colour(y, x, bayer_phase):
    """The colour (0 red, 1 green, 2 blue) of mosaic pixel (y, x) under a BayerPhase."""
    return PHASE_CELLS[bayer_phase][y % 2][x % 2]


def _candidates(y, x, ring, green):
    if green:
        return [(y - ring, x - ring), (y - ring, x + ring), (y + ring, x - ring), (y + ring, x + ring)]
    return [(y - 2 * ring, x), (y + 2 * ring, x), (y, x - 2 * ring), (y, x + 2 * ring)]


def repair(mosaic, bad, bayer_phase, rings=1):
    """Bad pixels (a boolean mask) of a 2-D uint16 mosaic replaced by the mean
    of the good same-colour candidates on the nearest ring that has one
    (green: diagonal, red and blue: straight), rounded half up; a pixel
    without one keeps its value."""
    out = mosaic.copy()
    h, w = mosaic.shape
    for y, x in zip(*np.nonzero(bad)):
        green = site_colour(y, x, bayer_phase) == 1
        for ring in range(1, rings + 1):
            good = [int(mosaic[j, i]) for j, i in _candidates(y, x, ring, green)
                    if 0 <= j < h and 0 <= i < w and not bad[j, i]]
            if good:
                out[y, x] = (sum(good) + len(good) // 2) // len(good)
                break
    return out


def map_table_integer(img, p):
    """MapTable on stored integers: v becomes Table[min(v, n - 1)]."""
    looked = p.table[np.minimum(img, len(p.table) - 1)]
    return np.where(selected(img.shape, p.area), looked, img)


def map_table_fraction(img, p):
    """MapTable on [0, 1] values: the table at the 16-bit value u = v * 65535
    (held at its last entry past its end), linear between whole u, over 65535."""
    u = np.clip(img, 0, 1) * 65535
    lo = np.floor(u).astype(np.int64)
    f = u - lo
    last = len(p.table) - 1
    table = p.table.astype(np.float64)
    value = (table[np.minimum(lo, last)] * (1 - f) + table[np.minimum(lo + 1, last)] * f) / 65535
    return np.where(selected(img.shape, p.area), value, img)


def per_line(img, p, rows, add):
    """DeltaPerRow/Column (add) and ScalePerRow/Column: value k of the list for
    the k-th selected row (column), clipped to [0, 1]."""
    values = np.asarray(p.deltas if add else p.scales, np.float64)
    h, w, _ = img.shape
    lines = np.arange(p.area.top, min(p.area.bottom, h), p.area.row_pitch) if rows else \
        np.arange(p.area.left, min(p.area.right, w), p.area.col_pitch)
    per = np.zeros(h if rows else w) if add else np.ones(h if rows else w)
    per[lines] = values[:len(lines)]
    per = per[:, None, None] if rows else per[None, :, None]
    value = np.clip(img + per if add else img * per, 0, 1)
    return np.where(selected(img.shape, p.area), value, img)
