"""The exported span and tile kernels called through ctypes on the built module:
pad against numpy.pad, orientation against numpy flips/rot90/transpose, crop."""

import ctypes

import numpy as np
import pytest

import _pyxa

LIB = ctypes.CDLL(_pyxa.__file__)
DTYPE_CODE = {np.dtype(np.uint8): 0, np.dtype(np.uint16): 1, np.dtype(np.float32): 3}
MODES = {"reflect": 0, "symmetric": 1, "edge": 2, "constant": 3}


class SpanView(ctypes.Structure):
    _fields_ = [("data", ctypes.c_void_p), ("x0", ctypes.c_int64), ("y", ctypes.c_int64),
                ("len", ctypes.c_uint64), ("channels", ctypes.c_uint64), ("dtype", ctypes.c_uint32)]


class TileView(ctypes.Structure):
    _fields_ = [("data", ctypes.c_void_p), ("x0", ctypes.c_int64), ("y0", ctypes.c_int64),
                ("width", ctypes.c_uint64), ("height", ctypes.c_uint64), ("channels", ctypes.c_uint64),
                ("dtype", ctypes.c_uint32), ("row_stride", ctypes.c_int64)]


class ByteVec(ctypes.Structure):
    _fields_ = [("capacity", ctypes.c_uint64), ("ptr", ctypes.c_void_p), ("len", ctypes.c_uint64)]


class PadParams(ctypes.Structure):
    _fields_ = [("top_fill", ByteVec), ("bottom_fill", ByteVec), ("left_fill", ByteVec),
                ("right_fill", ByteVec), ("top", ctypes.c_int64), ("bottom", ctypes.c_int64),
                ("left", ctypes.c_int64), ("right", ctypes.c_int64), ("src_width", ctypes.c_int64),
                ("src_height", ctypes.c_int64), ("mode", ctypes.c_uint8)]


class OrientationParams(ctypes.Structure):
    _fields_ = [("orientation", ctypes.c_uint32), ("src_width", ctypes.c_uint64),
                ("src_height", ctypes.c_uint64), ("dst_width", ctypes.c_uint64),
                ("dst_height", ctypes.c_uint64)]


for name, view in [("crop_span1to1_spatial", SpanView), ("pad_span1to1_spatial", SpanView),
                   ("orientation_tile1to1", TileView)]:
    fn = getattr(LIB, "tarnimg_process_" + name)
    fn.argtypes = [ctypes.c_void_p, ctypes.POINTER(view), ctypes.POINTER(view)]
    fn.restype = None


def channels_of(a):
    return a.shape[2] if a.ndim == 3 else 1


def span_of(row, x0, y, start=0, length=None):
    """A SpanView of `length` pixels of row (an array of pixels) from index `start`."""
    length = row.shape[0] - start if length is None else length
    ptr = row.ctypes.data + start * row.strides[0] if length else None
    return SpanView(ptr, x0, y, length, row.shape[1] if row.ndim == 2 else 1, DTYPE_CODE[row.dtype])


def byte_vec(buf):
    return ByteVec(len(buf), ctypes.cast(buf, ctypes.c_void_p).value, len(buf))


def sample_image(h, w, c, dtype, seed=0):
    rng = np.random.default_rng(seed)
    shape = (h, w, c) if c > 1 else (h, w)
    if dtype == np.float32:
        return rng.random(shape, dtype=np.float32)
    return rng.integers(0, np.iinfo(dtype).max, shape, endpoint=True).astype(dtype)


# ---------------------------------------------------------------- pad

def run_pad(src, top, bottom, left, right, mode, constants=None, pieces=1):
    """Pads `src` row by row with the exported kernel. Each output row is cut into
    `pieces` spans; each span gets the whole source row it maps to (or none for
    constant rows outside the image)."""
    h, w = src.shape[:2]
    out = np.full((h + top + bottom, w + left + right) + src.shape[2:], 0x5A, dtype=src.dtype)
    keep = []
    p = PadParams(top=top, bottom=bottom, left=left, right=right, src_width=w, src_height=h, mode=MODES[mode])
    if constants is not None:
        for field, v in zip(("top_fill", "bottom_fill", "left_fill", "right_fill"), constants):
            buf = ctypes.create_string_buffer(np.array([v], dtype=src.dtype).tobytes(), src.dtype.itemsize)
            keep.append(buf)
            setattr(p, field, byte_vec(buf))
    # Source row of every output row from numpy's own border rule.
    rows = np.arange(h)
    src_rows = np.pad(rows, (top, bottom), mode=mode) if mode != "constant" else \
        np.pad(rows, (top, bottom), constant_values=-1)
    cuts = np.linspace(0, out.shape[1], pieces + 1).astype(int)
    for y in range(out.shape[0]):
        sy = src_rows[y]
        inp = span_of(src[sy], 0, sy) if sy >= 0 else SpanView(None, 0, 0, 0, channels_of(src), DTYPE_CODE[src.dtype])
        for a, b in zip(cuts[:-1], cuts[1:]):
            if b > a:
                o = span_of(out[y], int(a), y, int(a), int(b - a))
                LIB.tarnimg_process_pad_span1to1_spatial(ctypes.byref(p), ctypes.byref(inp), ctypes.byref(o))
    return out


PAD_CASES = [  # (h, w, top, bottom, left, right)
    (1, 1, 2, 1, 3, 2),
    (2, 2, 1, 1, 1, 1),
    (5, 7, 2, 2, 2, 2),
    (4, 6, 0, 0, 0, 0),
    (3, 4, 9, 11, 13, 10),   # borders several times wider than the image
    (6, 5, 1, 4, 0, 7),
]


@pytest.mark.parametrize("mode", ["reflect", "symmetric", "edge", "constant"])
@pytest.mark.parametrize("case", PAD_CASES)
@pytest.mark.parametrize("dtype,channels", [(np.uint8, 1), (np.uint16, 3), (np.float32, 2)])
@pytest.mark.parametrize("pieces", [1, 3])
def test_pad_matches_numpy(mode, case, dtype, channels, pieces):
    h, w, top, bottom, left, right = case
    src = sample_image(h, w, channels, dtype, seed=h * 31 + w)
    extra = ((0, 0),) if channels > 1 else ()
    widths = ((top, bottom), (left, right)) + extra
    if mode == "constant":
        got = run_pad(src, top, bottom, left, right, mode, constants=[1, 2, 3, 4], pieces=pieces)
        want = np.pad(src, widths, mode="constant", constant_values=((1, 2), (3, 4)) + extra)
    else:
        got = run_pad(src, top, bottom, left, right, mode, pieces=pieces)
        want = np.pad(src, widths, mode=mode)
    assert np.array_equal(got.view(np.uint8), want.view(np.uint8))


def test_pad_constant_without_fills_is_zero():
    src = sample_image(2, 3, 1, np.uint8) + 1
    got = run_pad(src, 1, 1, 2, 2, "constant")
    assert np.array_equal(got, np.pad(src, ((1, 1), (2, 2))))


def test_pad_missing_source_columns_become_zeros():
    """A mirrored column that the input span does not hold is never read from
    outside the span (nor from the output row): it is written as zero."""
    src = np.arange(1, 5, dtype=np.uint8)  # [1 2 3 4]
    p = PadParams(left=2, src_width=4, src_height=1, mode=MODES["reflect"])
    part = src[1:3]  # columns 1..2 only
    inp = span_of(part, 1, 0)
    out = np.full(6, 0xEE, np.uint8)
    o = span_of(out, 0, 0)
    LIB.tarnimg_process_pad_span1to1_spatial(ctypes.byref(p), ctypes.byref(inp), ctypes.byref(o))
    # want c b a b c d = 3 2 1 2 3 4, with columns 0 and 3 missing from the span
    assert out.tolist() == [3, 2, 0, 2, 3, 0]


# ---------------------------------------------------------------- orientation

NUMPY_ORIENT = {
    1: lambda a: a,
    2: lambda a: a[:, ::-1],
    3: lambda a: a[::-1, ::-1],
    4: lambda a: a[::-1],
    5: lambda a: a.swapaxes(0, 1),
    6: lambda a: np.rot90(a, -1),
    7: lambda a: np.rot90(a, 2).swapaxes(0, 1),
    8: lambda a: np.rot90(a, 1),
}


def tile_of(a, x0, y0, rows=None, cols=None):
    """A TileView of a[rows, cols] labelled with its position (x0, y0)."""
    sub = a[rows or slice(None), cols or slice(None)]
    return TileView(sub.ctypes.data, x0, y0, sub.shape[1], sub.shape[0], channels_of(a),
                    DTYPE_CODE[a.dtype], a.strides[0])


def orient(src, o, out, x0=0, y0=0, w=None, h=None, region=None):
    h_src, w_src = src.shape[:2]
    dst_w, dst_h = (h_src, w_src) if o >= 5 else (w_src, h_src)
    p = OrientationParams(o, w_src, h_src, dst_w, dst_h)
    w = dst_w - x0 if w is None else w
    h = dst_h - y0 if h is None else h
    t_out = tile_of(out, x0, y0, slice(y0, y0 + h), slice(x0, x0 + w))
    if region is None:
        t_in = tile_of(src, 0, 0)
    else:
        (r0, r1), (c0, c1) = region
        t_in = tile_of(src, c0, r0, slice(r0, r1), slice(c0, c1))
    LIB.tarnimg_process_orientation_tile1to1(ctypes.byref(p), ctypes.byref(t_in), ctypes.byref(t_out))


def nan_payload_image(h, w, c, seed=3):
    """float32 pixels with arbitrary bit patterns, NaN payloads included."""
    bits = np.random.default_rng(seed).integers(0, 2**32, (h, w, c), dtype=np.uint64).astype(np.uint32)
    bits[0, 0, 0] = 0x7FC01234
    bits[-1, -1, -1] = 0xFFA5A5A5
    return bits.view(np.float32) if c > 1 else bits.view(np.float32)[:, :, 0]


@pytest.mark.parametrize("o", range(1, 9))
@pytest.mark.parametrize("shape,dtype", [((2, 3, 1), np.uint8), ((37, 70, 3), np.float32),
                                         ((65, 9, 16), np.float32), ((130, 67, 3), np.uint16),
                                         ((17, 23, 5), np.uint8)])
def test_orientation_whole_image(o, shape, dtype):
    h, w, c = shape
    src = nan_payload_image(h, w, c) if dtype == np.float32 else sample_image(h, w, c, dtype)
    want = NUMPY_ORIENT[o](src)
    out = np.zeros_like(want, shape=want.shape)
    out = np.ascontiguousarray(out)
    orient(src, o, out)
    assert np.array_equal(out.view(np.uint8), np.ascontiguousarray(want).view(np.uint8))


@pytest.mark.parametrize("o", range(1, 9))
@pytest.mark.parametrize("tile", [(3, 5, 10, 7), (0, 0, 1, 1), (20, 11, 9, 30)])
def test_orientation_tile_reads_only_its_source_region(o, tile):
    """A tile of the output from an input tile holding exactly its source region;
    pixels outside the tile stay untouched."""
    src = nan_payload_image(41, 33, 3)
    want = np.ascontiguousarray(NUMPY_ORIENT[o](src))
    x0, y0, w, h = tile
    w, h = min(w, want.shape[1] - x0), min(h, want.shape[0] - y0)
    # Source region from orienting an index image the same way.
    idx = NUMPY_ORIENT[o](np.arange(41 * 33).reshape(41, 33))[y0:y0 + h, x0:x0 + w]
    rows, cols = np.divmod(idx, 33)
    region = ((rows.min(), rows.max() + 1), (cols.min(), cols.max() + 1))
    out = np.full_like(want, 7.0)
    orient(src, o, out, x0, y0, w, h, region=region)
    expect = np.full_like(want, 7.0)
    expect[y0:y0 + h, x0:x0 + w] = want[y0:y0 + h, x0:x0 + w]
    assert np.array_equal(out.view(np.uint32), expect.view(np.uint32))


def test_orientation_refuses_input_not_covering_source():
    src = sample_image(6, 5, 1, np.uint8)
    out = np.full((5, 6), 9, np.uint8)
    orient(src, 6, out, region=((1, 6), (0, 5)))  # row 0 of the source is missing
    assert (out == 9).all()


# ---------------------------------------------------------------- crop

@pytest.mark.parametrize("in_len,want", [(4, [7, 8, 9, 10]), (2, [7, 8, 0, 0])])
def test_crop_copies_and_never_reads_past_a_short_input(in_len, want):
    src = np.arange(5, 14, dtype=np.uint16)
    out = np.full(4, 0xEE, np.uint16)
    LIB.tarnimg_process_crop_span1to1_spatial(None, ctypes.byref(span_of(src, 2, 0, 2, in_len)),
                                              ctypes.byref(span_of(out, 0, 0)))
    assert out.tolist() == want
