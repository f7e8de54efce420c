"""Image writers: every format and sample type read back by another reader
(exact where lossless, a PSNR floor where lossy), the ICC profile of the
output space found where each container keeps it, the refusals, and what a
full disk or a missing codec says."""

import errno
import io
import os
import struct
import threading
import time

import numpy as np
import pytest

imagecodecs = pytest.importorskip("imagecodecs")
tifffile = pytest.importorskip("tifffile")
pyxa = pytest.importorskip("pyxa")
from pyxa.output import SPACES  # noqa: E402


def photo(dtype, height=48, width=64):
    """Smooth gradients with some noise, like a developed photograph (pure
    noise would make every lossy codec look broken)."""
    y, x = np.mgrid[0:height, 0:width] / max(height, width)
    rng = np.random.default_rng(3)
    rgb = np.stack([0.2 + 0.6 * x, 0.3 + 0.5 * y, 0.8 - 0.5 * x * y], axis=-1) + rng.normal(0, 0.01, (height, width, 3))
    rgb = np.clip(rgb, 0, 1)
    if dtype == np.float32:
        return rgb.astype(np.float32)
    return np.round(rgb * np.iinfo(dtype).max).astype(dtype)


def read_png(path):
    png = pytest.importorskip("png")  # pypng: a reader apart from the encoder's libpng
    width, height, rows, info = png.Reader(filename=str(path)).asDirect()
    dtype = np.uint16 if info["bitdepth"] == 16 else np.uint8
    return np.vstack([np.asarray(r, dtype) for r in rows]).reshape(height, width, 3)


def read_pillow(path):
    Image = pytest.importorskip("PIL.Image")
    with Image.open(path) as im:
        return np.asarray(im.convert("RGB"))


READERS = {".png": read_png, ".tif": tifffile.imread, ".jpg": read_pillow, ".webp": read_pillow,
           ".avif": read_pillow, ".jxl": imagecodecs.jpegxl_decode}


def psnr(a, b, peak):
    return 10 * np.log10(peak ** 2 / np.mean((a.astype(np.float64) - b) ** 2))


@pytest.mark.parametrize("suffix, dtype, quality, floor", [
    (".png", np.uint8, None, None), (".png", np.uint16, None, None),
    (".tif", np.uint8, None, None), (".tif", np.uint16, None, None), (".tif", np.float32, None, None),
    (".jxl", np.uint8, None, None), (".jxl", np.uint16, None, None),
    (".webp", np.uint8, 100, None),
    (".avif", np.uint8, 100, None),
    (".jpg", np.uint8, None, 38), (".jpg", np.uint8, 60, 32),
    (".webp", np.uint8, None, 36),
    (".avif", np.uint8, None, 36),
])
def test_every_format_reads_back(tmp_path, suffix, dtype, quality, floor):
    rgb = photo(dtype)
    path = tmp_path / ("x" + suffix)
    if suffix == ".jxl":
        path.write_bytes(b"")  # the reader below takes bytes
    pyxa.write_image(path, rgb, quality=quality, overwrite=True)
    back = READERS[suffix](path.read_bytes() if suffix == ".jxl" else path)
    assert back.shape == rgb.shape and back.dtype == rgb.dtype
    if floor is None:
        assert np.array_equal(back, rgb)
    else:
        assert psnr(back, rgb, 255) > floor
    assert os.listdir(tmp_path) == [path.name]


@pytest.mark.parametrize("bound", [None, 100])
def test_png_through_a_reused_output_buffer_is_the_same_file(tmp_path, monkeypatch, bound):
    # A larger image, then a smaller one into the same buffer (the file takes
    # only what the encoder wrote); a bound too small falls back to the
    # codec's own memory.
    from pyxa.output import OutputBuffer
    from pyxa.output import encode

    if bound is not None:
        monkeypatch.setattr(encode, "_png_bound", lambda rgb: bound)
    buffer = OutputBuffer()
    for dtype, size in ((np.uint16, (96, 128)), (np.uint8, (40, 56))):
        rgb = photo(dtype, *size)
        pyxa.write_image(tmp_path / "plain.png", rgb, overwrite=True)
        pyxa.write_image(tmp_path / "reused.png", rgb, overwrite=True, buffer=buffer)
        assert (tmp_path / "reused.png").read_bytes() == (tmp_path / "plain.png").read_bytes()
        assert np.array_equal(read_png(tmp_path / "reused.png"), rgb)


def test_avif_keeps_twelve_of_sixteen_bits(tmp_path):
    rgb = photo(np.uint16)
    pyxa.write_image(tmp_path / "x.avif", rgb, quality=100)
    back = imagecodecs.avif_decode((tmp_path / "x.avif").read_bytes())
    assert np.array_equal(back, np.round(rgb / 65535 * 4095).astype(np.uint16))


@pytest.mark.parametrize("quality, subsampling", [(95, (1, 1)), (90, (1, 1)), (89, (2, 2))])
def test_jpeg_keeps_full_chroma_from_quality_90(tmp_path, quality, subsampling):
    pyxa.write_image(tmp_path / "x.jpg", photo(np.uint8), quality=quality)
    data = (tmp_path / "x.jpg").read_bytes()
    start = data.index(b"\xff\xc0")
    components = data[start + 10:start + 19]
    luma = components[1]
    assert (luma >> 4, luma & 15) == subsampling and components[4] == components[7] == 0x11


# --- where each container keeps the ICC profile ---------------------------------------------

def icc_of(path):
    suffix = path.suffix
    if suffix == ".tif":
        with tifffile.TiffFile(path) as tif:
            return bytes(tif.pages[0].tags[34675].value)
    Image = pytest.importorskip("PIL.Image")
    with Image.open(path) as im:
        return im.info.get("icc_profile")


@pytest.mark.parametrize("suffix", [".jpg", ".png", ".tif", ".webp", ".avif"])
@pytest.mark.parametrize("space", ["srgb", "display-p3", "prophoto-linear"])
def test_the_icc_profile_is_where_readers_look(tmp_path, suffix, space):
    ImageCms = pytest.importorskip("PIL.ImageCms")
    path = tmp_path / ("x" + suffix)
    pyxa.write_image(path, photo(np.uint8), space=space)
    icc = icc_of(path)
    assert icc == pyxa.output.icc_profile(space)
    name = ImageCms.getProfileDescription(ImageCms.ImageCmsProfile(io.BytesIO(icc))).strip()
    assert name == SPACES[space].title


def jxl_colour(data):
    """The colour encoding fields of a JPEG XL codestream header, read here
    from the bits (no reader of the format reports them)."""
    if data[:2] != b"\xff\x0a":
        pos = 0
        while data[pos + 4:pos + 8] != b"jxlc":
            pos += struct.unpack(">I", data[pos:pos + 4])[0]
        data = data[pos + 8:]
    bits = int.from_bytes(data[:256], "little")
    at = [16]

    def u(n):
        value = (bits >> at[0]) & ((1 << n) - 1)
        at[0] += n
        return value

    def u32(*dist):
        offset, n = dist[u(2)]
        return offset + u(n)

    enum = ((0, 0), (1, 0), (2, 4), (18, 6))
    size = ((1, 9), (1, 13), (1, 18), (1, 30))
    xy_dist = ((0, 19), (524288, 19), (1048576, 20), (2097152, 21))

    def xy():
        return tuple((lambda v: (v >> 1) ^ -(v & 1))(u32(*xy_dist)) / 1e6 for _ in range(2))

    small = u(1)
    _ = u(5) if small else u32(*size)
    if u(3) == 0:
        _ = u(5) if small else u32(*size)
    assert u(1) == 0 and u(1) == 0, "metadata with defaults or extra fields"
    assert u(1) == 0, "float samples"
    u32((8, 0), (10, 0), (12, 0), (1, 6))
    u(1)
    assert u32((0, 0), (1, 0), (2, 4), (1, 12)) == 0
    fields = {"xyb": u(1)}
    if u(1):
        return dict(fields, white="D65", primaries="sRGB", transfer="sRGB")
    assert u(1) == 0 and u32(*enum) == 0, "ICC or non-RGB"
    white = u32(*enum)
    fields["white"] = xy() if white == 2 else {1: "D65"}[white]
    primaries = u32(*enum)
    fields["primaries"] = (xy(), xy(), xy()) if primaries == 2 else {1: "sRGB", 9: "2100", 11: "P3"}[primaries]
    fields["transfer"] = 1e7 / u(24) if u(1) else {1: "709", 8: "linear", 13: "sRGB"}[u32(*enum)]
    return fields


@pytest.mark.parametrize("dtype", [np.uint8, np.uint16])
@pytest.mark.parametrize("space, white, primaries, transfer", [
    ("srgb", "D65", "sRGB", "sRGB"),
    ("srgb-linear", "D65", "sRGB", "linear"),
    ("display-p3", "D65", "P3", "sRGB"),
    ("rec2020", "D65", "2100", "709"),
    ("oprgb", "D65", ((0.64, 0.33), (0.21, 0.71), (0.15, 0.06)), 563 / 256),
    # D50 as written to 6 decimals: the xy of the ICC white, within 5e-5 of ROMM's (0.3457, 0.3585)
    ("prophoto", pytest.approx((0.3457, 0.3585), abs=5e-5), ((0.7347, 0.2653), (0.1596, 0.8404), (0.0366, 0.0001)),
     1.8),
    ("prophoto-linear", pytest.approx((0.3457, 0.3585), abs=5e-5),
     ((0.7347, 0.2653), (0.1596, 0.8404), (0.0366, 0.0001)), "linear"),
])
def test_jpeg_xl_states_the_space_in_its_header(tmp_path, dtype, space, white, primaries, transfer):
    """The encoder alone would call 16-bit samples linear sRGB."""
    rgb = photo(dtype)
    pyxa.write_image(tmp_path / "x.jxl", rgb, space=space)
    data = (tmp_path / "x.jxl").read_bytes()
    fields = jxl_colour(data)
    assert fields["xyb"] == 0 and fields["white"] == white and fields["primaries"] == primaries
    assert fields["transfer"] == pytest.approx(transfer, rel=1e-6) if isinstance(transfer, float) else \
        fields["transfer"] == transfer
    assert np.array_equal(imagecodecs.jpegxl_decode(data), rgb)


# --- the profiles themselves ----------------------------------------------------------------

BRADFORD = np.array([[0.8951, 0.2664, -0.1614], [-0.7502, 1.7135, 0.0367], [0.0389, -0.0685, 1.0296]])


def rgb_to_xyz(primaries, white):
    xy = np.array(primaries).reshape(3, 2)
    columns = np.array([[x / y, 1.0, (1 - x - y) / y] for x, y in xy]).T
    w = np.array([white[0] / white[1], 1.0, (1 - white[0] - white[1]) / white[1]])
    return columns * np.linalg.solve(columns, w)


def white_xyz(white):
    return np.array([white[0] / white[1], 1.0, (1 - white[0] - white[1]) / white[1]])


def linear_light(space, v):
    """Each space's decoding curve, from its published definition."""
    v = np.asarray(v, np.float64)
    if space.endswith("-linear"):
        return v
    if space in ("srgb", "display-p3"):
        return np.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4)
    if space == "oprgb":
        return v ** (563 / 256)
    if space == "prophoto":
        return np.where(v < 1 / 32, v / 16, v ** 1.8)
    alpha, beta = 1.09929682680944, 0.018053968510807  # rec2020
    return np.where(v < 4.5 * beta, v / 4.5, ((v + alpha - 1) / alpha) ** (1 / 0.45))


PRIMARIES = {"srgb": ((0.64, 0.33, 0.30, 0.60, 0.15, 0.06), (0.3127, 0.3290)),
             "display-p3": ((0.680, 0.320, 0.265, 0.690, 0.150, 0.060), (0.3127, 0.3290)),
             "oprgb": ((0.64, 0.33, 0.21, 0.71, 0.15, 0.06), (0.3127, 0.3290)),
             "prophoto": ((0.7347, 0.2653, 0.1596, 0.8404, 0.0366, 0.0001), (0.3457, 0.3585)),
             "rec2020": ((0.708, 0.292, 0.170, 0.797, 0.131, 0.046), (0.3127, 0.3290))}


def to_srgb(space, rgb):
    """Colorimetric conversion to sRGB, white adapted with Bradford as ICC
    profiles do, written from the definitions of the two spaces."""
    primaries, white = PRIMARIES[space.removesuffix("-linear")]
    srgb_primaries, d65 = PRIMARIES["srgb"]
    src, dst = white_xyz(white) @ BRADFORD.T, white_xyz(d65) @ BRADFORD.T
    adapt = np.linalg.inv(BRADFORD) @ np.diag(dst / src) @ BRADFORD
    m = np.linalg.inv(rgb_to_xyz(srgb_primaries, d65)) @ adapt @ rgb_to_xyz(primaries, white)
    lin = linear_light(space, rgb) @ m.T
    # Unbounded, as littleCMS computes in float: the linear segment of the
    # sRGB curve carries on below zero.
    with np.errstate(invalid="ignore"):
        return np.where(lin <= 0.0031308, 12.92 * lin, 1.055 * lin ** (1 / 2.4) - 0.055)


COLOURS = np.array([[0.02, 0.02, 0.02], [0.5, 0.4, 0.3], [0.25, 0.35, 0.45], [0.7, 0.7, 0.65], [0.9, 0.85, 0.8],
                    [0.06, 0.1, 0.08]])


@pytest.mark.parametrize("space", sorted(SPACES))
def test_profiles_convert_colours_as_their_definitions_do(space):
    """littleCMS reads each profile back: Pillow's ImageCms at 8 bits, and
    in float (through imagecodecs) close enough to see the curves' toes."""
    ImageCms = pytest.importorskip("PIL.ImageCms")
    Image = pytest.importorskip("PIL.Image")
    icc = pyxa.output.icc_profile(space)
    want = to_srgb(space, COLOURS)
    rgb8 = np.round(COLOURS * 255).astype(np.uint8)[None]
    transform = ImageCms.buildTransform(ImageCms.ImageCmsProfile(io.BytesIO(icc)), ImageCms.createProfile("sRGB"),
                                        "RGB", "RGB", renderingIntent=ImageCms.Intent.RELATIVE_COLORIMETRIC)
    got8 = np.asarray(ImageCms.applyTransform(Image.fromarray(rgb8), transform))[0]
    assert np.abs(got8 - np.clip(to_srgb(space, rgb8[0] / 255), 0, 1) * 255).max() <= 1.5
    got = imagecodecs.cms_transform(COLOURS[None].astype(np.float32), icc, imagecodecs.cms_profile("srgb"),
                                    colorspace="rgb", outcolorspace="rgb", outdtype=np.float32, intent=1)[0]
    assert np.abs(got - want).max() < 2e-3


def test_profiles_are_the_same_bytes_every_time():
    """Batches compare bytes across processes: no creation time may leak in."""
    from pyxa.output.icc import make_icc_profile

    first = make_icc_profile("display-p3")
    time.sleep(1.1)
    assert make_icc_profile("display-p3") == first


# --- refusals --------------------------------------------------------------------------------

@pytest.mark.parametrize("name, rgb, kwargs, error, message", [
    ("x.jpg", photo(np.uint16), {}, ValueError, "JPEG stores uint8 samples, got uint16"),
    ("x.webp", photo(np.float32), {}, ValueError, "WebP stores uint8 samples, got float32"),
    ("x.png", photo(np.float32), {}, ValueError, "PNG stores uint8 or uint16 samples, got float32"),
    ("x.jpg", photo(np.uint8), {"quality": 0}, ValueError, "quality must be an integer from 1 to 100, got 0"),
    ("x.jpg", photo(np.uint8), {"quality": 95.0}, ValueError, "quality must be an integer from 1 to 100, got 95.0"),
    ("x.jpg", photo(np.uint8), {"space": "wide"}, ValueError, "output space must be one of srgb, srgb-linear"),
    ("x.bmp", photo(np.uint8), {}, ValueError, "cannot tell the image format from the extension"),
    ("x.out", photo(np.uint8), {"format": "gif"}, ValueError, "format must be one of png, tiff, jpeg, webp, avif, jxl"),
    ("x.jxl", photo(np.uint8), {"quality": 90}, ValueError, "JPEG XL is written lossless only"),
])
def test_refusals(tmp_path, name, rgb, kwargs, error, message):
    with pytest.raises(error, match=message.replace("(", r"\(").replace(")", r"\)")):
        pyxa.write_image(tmp_path / name, rgb, **kwargs)
    assert os.listdir(tmp_path) == []


def test_a_too_large_webp_names_the_file(tmp_path):
    with pytest.raises(ValueError, match=r"x\.webp: cannot encode as WebP"):
        pyxa.write_image(tmp_path / "x.webp", np.zeros((1, 16384, 3), np.uint8))
    assert os.listdir(tmp_path) == []


def test_a_missing_codec_is_named(tmp_path, monkeypatch):
    monkeypatch.setattr(imagecodecs.AVIF, "available", False)
    with pytest.raises(ImportError, match="writing AVIF needs the AVIF codec, which the installed imagecodecs"):
        pyxa.write_image(tmp_path / "x.avif", photo(np.uint8))


@pytest.mark.parametrize("name, size", [("x.png", r"\d+ bytes"), ("x.tif", "stopped after 1000 bytes")])
def test_a_full_disk_names_the_file_and_leaves_nothing(tmp_path, monkeypatch, name, size):
    real_write = os.write
    room = [1000]

    def write_until_full(fd, data):
        if room[0] == 0:
            raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC))
        n = min(len(data), room[0])
        room[0] -= n
        return real_write(fd, bytes(data[:n]))

    monkeypatch.setattr(os, "write", write_until_full)
    target = tmp_path / name
    with pytest.raises(OSError, match=rf"^\[Errno 28\] cannot write the image \({size}\): "
                                      rf"No space left on device: '{target}'$") as caught:
        pyxa.write_image(target, photo(np.uint16))
    assert caught.value.errno == errno.ENOSPC and caught.value.filename == str(target)
    assert os.listdir(tmp_path) == []


def test_encoding_lets_other_threads_run(tmp_path):
    """A pipeline encodes file N on one thread while developing N+1 on
    another: the encoder must not hold the GIL while it compresses."""
    rgb = np.tile(photo(np.uint16, 512, 512), (4, 4, 1))
    ticks, stop = [0], threading.Event()

    def count():
        while not stop.is_set():
            ticks[0] += 1

    counter = threading.Thread(target=count)
    counter.start()
    try:
        time.sleep(0.05)
        before, start = ticks[0], time.perf_counter()
        pyxa.write_image(tmp_path / "x.png", rgb)
        elapsed, during = time.perf_counter() - start, ticks[0] - before
        before = ticks[0]
        time.sleep(elapsed)  # the counter alone, for the same time
        alone = ticks[0] - before
    finally:
        stop.set()
        counter.join()
    # Held through the compression, the GIL would leave the counter a few
    # percent of its ticks; released, it keeps most of them.
    assert during > 0.15 * alone
