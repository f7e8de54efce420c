"""What a user would write instead of the engine, in NumPy and OpenCV: the
development graph and the nearest equivalent of each single op. Each returns
a callable that does the whole work once, allocation included where the
library allocates its result."""

import numpy as np

from graphs import BLACK, MATRIX, WHITE

F32 = np.float32


def numpy_develop(lut):
    """The development graph as vectorised NumPy in float32."""
    table = np.append(lut, lut[-1]).astype(F32)
    scale = F32(len(lut) - 1)

    def run(mosaic, out):
        x = (mosaic.astype(F32) - F32(BLACK)) * F32(1.0 / (WHITE - BLACK))
        np.clip(x, 0.0, 1.0, out=x)
        p = np.pad(x, 1, mode="reflect")
        h, w = x.shape
        c = lambda dy, dx: p[1 + dy:1 + dy + h, 1 + dx:1 + dx + w]  # noqa: E731
        cross = (c(0, -1) + c(0, 1) + (c(-1, 0) + c(1, 0))) * F32(0.25)
        diag = (c(-1, -1) + c(-1, 1) + (c(1, -1) + c(1, 1))) * F32(0.25)
        horiz = (c(0, -1) + c(0, 1)) * F32(0.5)
        vert = (c(-1, 0) + c(1, 0)) * F32(0.5)
        rgb = np.empty((h, w, 3), F32)
        r, g, b = rgb[..., 0], rgb[..., 1], rgb[..., 2]
        for (sy, sx), (rr, gg, bb) in {(0, 0): (x, cross, diag), (0, 1): (horiz, x, vert),
                                       (1, 0): (vert, x, horiz), (1, 1): (diag, cross, x)}.items():
            r[sy::2, sx::2] = rr[sy::2, sx::2]
            g[sy::2, sx::2] = gg[sy::2, sx::2]
            b[sy::2, sx::2] = bb[sy::2, sx::2]
        for k in range(3):
            z = MATRIX[k, 0] * r + MATRIX[k, 1] * g
            z += MATRIX[k, 2] * b
            np.clip(z, 0.0, 1.0, out=z)
            z *= scale
            i = z.astype(np.int32)
            z -= i
            v = table[i]
            v += z * (table[i + 1] - v)
            v *= F32(255.0)
            out[..., k] = v
        return out
    return run


def opencv_develop(cv2, lut, code=None):
    """The development graph with OpenCV calls: its bilinear Bayer conversion
    runs on the 16-bit mosaic, the normalisation on the RGB result (the same
    affine map), the matrix with cv2.transform; OpenCV has no float or 16-bit
    table lookup, so the output table is a 65536-entry uint8 table indexed
    by the clamped value scaled to 16 bits."""
    fine = np.linspace(0.0, 1.0, 65536, dtype=np.float64)
    table16 = np.clip(np.interp(fine, np.linspace(0, 1, len(lut)), lut) * 255.0, 0, 255).astype(np.uint8)
    scale = 1.0 / (WHITE - BLACK)
    m = MATRIX.astype(F32)
    code = cv2.COLOR_BayerRG2RGB if code is None else code

    work = {}

    def buffers(h, w):
        """The intermediate images, made at the first call of a size (as the
        engine's output is made once), so no timed call zeroes fresh pages."""
        if (h, w) not in work:
            work.clear()
            work[h, w] = (np.empty((h, w, 3), np.uint16), np.empty((h, w, 3), F32), np.empty((h, w, 3), F32),
                          np.empty((h, w, 3), np.uint16))
        return work[h, w]

    def run(mosaic, out):
        rgb16, f, mixed, q16 = buffers(*mosaic.shape)
        cv2.cvtColor(mosaic, code, dst=rgb16)
        cv2.subtract(rgb16, (BLACK,) * 3, dtype=cv2.CV_32F, dst=f)
        cv2.multiply(f, (scale,) * 3, dst=f)
        cv2.transform(f, m, dst=mixed)
        cv2.threshold(mixed, 1.0, 1.0, cv2.THRESH_TRUNC, dst=mixed)
        cv2.threshold(mixed, 0.0, 0.0, cv2.THRESH_TOZERO, dst=mixed)
        cv2.multiply(mixed, (65535.0,) * 3, dtype=cv2.CV_16U, dst=q16)
        np.take(table16, q16, out=out)
        return out
    return run
