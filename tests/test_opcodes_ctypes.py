"""The correction library's C interface called through ctypes on the built module:
the exported lookup and version, and an opcode reached through the lookup."""

import ctypes

import numpy as np
import pytest

import _pyxa
from pyxa import OPS

LIB = ctypes.CDLL(_pyxa.__file__)
OPCODES = [op.name for op in OPS if op.kind == "opcode"]
DTYPE_CODE = {np.dtype(np.uint8): 0, np.dtype(np.uint16): 1, np.dtype(np.float32): 3}


class ImageView(ctypes.Structure):
    _fields_ = [("data", ctypes.c_void_p), ("height", ctypes.c_uint64), ("width", ctypes.c_uint64),
                ("channels", ctypes.c_uint64), ("dtype", ctypes.c_int32), ("row_stride", ctypes.c_uint64)]


class AttrValue(ctypes.Union):
    _fields_ = [("i32", ctypes.c_int32), ("f32", ctypes.c_float), ("f64", ctypes.c_double),
                ("ptr", ctypes.c_void_p), ("bits", ctypes.c_uint64)]


class AttrItem(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("type", ctypes.c_int32), ("count", ctypes.c_uint64),
                ("value", AttrValue)]


OPCODE_FN = ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.POINTER(ImageView), ctypes.c_uint64,
                             ctypes.POINTER(ImageView), ctypes.c_uint64, ctypes.POINTER(AttrItem),
                             ctypes.c_uint64)
LIB.tarnimg_lookup_opcode.argtypes = [ctypes.c_char_p]
LIB.tarnimg_lookup_opcode.restype = ctypes.c_void_p
LIB.tarnimg_version.restype = ctypes.c_char_p


def view(a):
    return ImageView(a.ctypes.data, a.shape[0], a.shape[1], a.shape[2] if a.ndim == 3 else 1,
                     DTYPE_CODE[a.dtype], a.strides[0])


ARRAY_TYPE = {np.dtype(np.int32): 4, np.dtype(np.float32): 5, np.dtype(np.float64): 6}


class NullArray:
    """An array item that claims `count` elements of `dtype` behind a null pointer."""

    def __init__(self, dtype, count):
        self.dtype, self.count = np.dtype(dtype), count


def items(**attrs):
    """AttrItems from keyword values: int32, float32 or float64 arrays (or NullArray),
    floats (sent as float64) or Python ints (sent as int32)."""
    keep, out = [], []
    for name, v in attrs.items():
        it = AttrItem(name.encode(), 3, 1)
        if isinstance(v, NullArray):
            it.type, it.count, it.value.ptr = ARRAY_TYPE[v.dtype], v.count, None
        elif isinstance(v, np.ndarray):
            it.type, it.count, it.value.ptr = ARRAY_TYPE[v.dtype], v.size, v.ctypes.data
            keep.append(v)
        elif isinstance(v, int):
            it.type, it.value.i32 = 1, v
        else:
            it.value.f64 = v
        out.append(it)
    return (AttrItem * len(out))(*out), keep


def run(op, src, dst, **attrs):
    fn = OPCODE_FN(LIB.tarnimg_lookup_opcode(op.encode()))
    arr, _keep = items(**attrs)
    return fn(ctypes.byref(view(src)), 1, ctypes.byref(view(dst)), 1, arr, len(arr))


def test_version_and_lookup():
    assert LIB.tarnimg_version() == b"1.0.0"
    found = [LIB.tarnimg_lookup_opcode(n.encode()) for n in OPCODES]
    assert all(found) and len(set(found)) == len(OPCODES)
    assert LIB.tarnimg_lookup_opcode(b"Fix_vignette") is None
    assert LIB.tarnimg_lookup_opcode(None) is None


@pytest.mark.parametrize("channels,params,center", [
    (1, [0.4], (0.5, 0.5)), (3, [0.2, -0.1, 0.3], (0.25, 0.8)), (2, [1, 1, 1, 1, 1, 50.0], (1.5, 0.0))])
def test_fix_vignette_matches_numpy(channels, params, center):
    rng = np.random.default_rng(channels)
    src = rng.uniform(-0.1, 1.1, (12, 17, channels)).astype(np.float32)
    dst = np.zeros_like(src)
    assert run("fix_vignette", src, dst, params=np.array(params, np.float64),
               center_x=center[0], center_y=center[1]) == 0
    h, w = src.shape[:2]
    cx, cy = w * center[0], h * center[1]
    r = max(1.0, *(np.hypot(px - cx, py - cy) for px in (0, w) for py in (0, h)))
    yy, xx = np.mgrid[0:h, 0:w]
    s = ((xx - cx) ** 2 + (yy - cy) ** 2) / r ** 2
    gain = 1 + sum(k * s ** (i + 1) for i, k in enumerate(params[:5]))
    want = np.clip(src * gain.astype(np.float32)[..., None], 0, 1)
    np.testing.assert_allclose(dst, want, atol=2e-6)


def warp_one_by_one(buf, src_at, dst_at, shape, coeffs, center):
    """Bilinear warp_rectilinear over a flat float32 buffer, one sample after
    another (row, then plane, then column), each read seeing every earlier
    write: what a call whose output shares memory with its input must give."""
    h, w, ch = shape
    cx, cy = w * center[0], h * center[1]
    r = max(1.0, *(np.hypot(px - cx, py - cy) for px in (0, w) for py in (0, h)))
    at = lambda base, x, y, k: base + (y * w + x) * ch + k
    for y in range(h):
        for k in range(ch):
            for x in range(w):
                dx, dy = (x - cx) / r, (y - cy) / r
                s = min(dx * dx + dy * dy, 1.0)
                ratio = coeffs[0] + coeffs[1] * s
                sx = min(max(cx + ratio * (x - cx), 0.0), w - 1.0)
                sy = min(max(cy + ratio * (y - cy), 0.0), h - 1.0)
                x0, y0 = int(sx), int(sy)
                x1, y1 = min(x0 + 1, w - 1), min(y0 + 1, h - 1)
                fx, fy = sx - x0, sy - y0
                a, b = float(buf[at(src_at, x0, y0, k)]), float(buf[at(src_at, x1, y0, k)])
                c, d = float(buf[at(src_at, x0, y1, k)]), float(buf[at(src_at, x1, y1, k)])
                top, bottom = a * (1.0 - fx) + b * fx, c * (1.0 - fx) + d * fx
                buf[at(dst_at, x, y, k)] = np.float32(top * (1.0 - fy) + bottom * fy)


# The output is the input itself or starts `shift` rows after (or before) it:
# the chunked sampling must still read each sample as written by the pixels
# before it.
@pytest.mark.parametrize("channels,shift", [(1, 0), (2, 0), (1, -1), (3, 1)])
def test_warp_whose_output_overlaps_its_input(channels, shift):
    h, w = 9, 300  # wider than one sampling chunk
    coeffs, center = [0.85, 0.3], (0.4, 0.6)
    rng = np.random.default_rng(channels + shift)
    src_row, dst_row = max(-shift, 0), max(shift, 0)
    buf = rng.uniform(0, 1, (h + abs(shift)) * w * channels).astype(np.float32)
    want = buf.copy()
    warp_one_by_one(want, src_row * w * channels, dst_row * w * channels, (h, w, channels), coeffs, center)
    whole = buf.reshape(h + abs(shift), w, channels)
    src, dst = whole[src_row:src_row + h], whole[dst_row:dst_row + h]
    apart = np.zeros_like(src)
    attrs = dict(radial_params=np.array(coeffs * channels), num_planes=channels, num_coeffs=2,
                 center_x=center[0], center_y=center[1], use_bicubic=0)
    assert run("warp_rectilinear", src, apart, **attrs) == 0
    assert run("warp_rectilinear", src, dst, **attrs) == 0
    assert buf.tobytes() == want.tobytes()
    assert not np.array_equal(dst, apart)  # the overlap changes what is read


AREA = dict(top=0, left=0, bottom=0, right=0, start_plane=0, num_planes=3, row_pitch=1, col_pitch=1)


# (opcode, image dtype, channels, attributes with one null array, whether the
# copy step has run before the array is looked at)
NULL_ARRAYS = [
    ("fix_bad_pixels_list", np.uint16, 1, dict(bayer_phase=0, points=NullArray(np.int32, 2)), False),
    ("fix_bad_pixels_list", np.float32, 1, dict(bayer_phase=0, rects=NullArray(np.int32, 4)), False),
    ("map_table", np.uint16, 3, dict(AREA, table=NullArray(np.int32, 2)), True),
    ("delta_per_row", np.float32, 3, dict(AREA, deltas=NullArray(np.float32, 6)), True),
    ("scale_per_column", np.float32, 3, dict(AREA, scales=NullArray(np.float32, 7)), True),
    ("warp_fisheye", np.float32, 1, dict(radial_params=NullArray(np.float64, 1), num_planes=1, num_coeffs=1,
                                         center_x=0.5, center_y=0.5, use_bicubic=0), False),
]


@pytest.mark.parametrize("op,dtype,channels,attrs,copied", NULL_ARRAYS, ids=[n[0] for n in NULL_ARRAYS])
def test_array_item_with_a_null_pointer_is_refused(op, dtype, channels, attrs, copied):
    shape = (6, 7, channels) if channels > 1 else (6, 7)
    src = (np.random.default_rng(1).uniform(0, 1, shape) * (1000 if dtype == np.uint16 else 1)).astype(dtype)
    dst = np.full(shape, 3, dtype)
    assert run(op, src, dst, **attrs) == 1
    np.testing.assert_array_equal(dst, src if copied else np.full(shape, 3, dtype))


# The trimmed rectangle written into memory that overlaps its input at the
# same row stride: the output starting at the input's first row (rows read
# from below the ones written) or further down (rows read from above).
@pytest.mark.parametrize("dst_row,src_row,bounds", [
    (0, 0, (2, 1, 9, 5)), (3, 0, (0, 0, 7, 6)), (0, 2, (1, 2, 8, 6)), (1, 0, (0, 1, 9, 4))])
def test_trim_bounds_into_memory_overlapping_its_input(dst_row, src_row, bounds):
    top, left, bottom, right = bounds
    buf = np.random.default_rng(dst_row + src_row).uniform(0, 1, (12, 6)).astype(np.float32)
    src = buf[src_row:src_row + 9]
    want = src[top:bottom, left:right].copy()
    dst = buf[dst_row:dst_row + bottom - top, :right - left]
    assert run("trim_bounds", src, dst, top=top, left=left, bottom=bottom, right=right) == 0
    np.testing.assert_array_equal(dst, want)
