"""Encoding an RGB array into the bytes of one image format, ICC profile and
metadata included. The codecs are imagecodecs' (and tifffile over them for
TIFF), which release the GIL while they compress, so another thread can
develop the next image meanwhile."""

from __future__ import annotations

import warnings
from dataclasses import dataclass
from typing import BinaryIO

import numpy as np

from .formats import ImageFormat
from .icc import icc_profile
from .metadata import ImageMetadata
from .spaces import OutputSpace

# Each format's container module (its metadata chunks, boxes or markers) is
# imported by its encoder, when that format is first written: a command
# writing JPEG loads none of the others.

__all__ = ["EncodeOptions", "OutputBuffer", "Pieces", "encode_pieces", "streams", "stream_image", "DEFAULT_QUALITY"]

# Quality 1-100 where a format is lossy; 100 means lossless for WebP and AVIF.
DEFAULT_QUALITY = {"jpeg": 95, "webp": 90, "avif": 90}
# Chroma is kept at full resolution from this JPEG quality up: whoever asks
# for that much quality notices colour fringes on fine detail more than size.
JPEG_FULL_CHROMA_FROM = 90


@dataclass(frozen=True)
class EncodeOptions:
    """How one image is encoded: its colour space, quality and metadata."""

    space: OutputSpace
    quality: int | None = None
    metadata: ImageMetadata | None = None


# The pieces of a file, in order: one buffer, or (PNG) views of the encoder's
# output around the metadata chunks, so a 100 MB image is never copied whole.
Pieces = tuple[bytes | memoryview, ...]


class OutputBuffer:
    """Memory an encoder may write its output into, kept from one image to
    the next by whoever encodes many (one per thread): a large compressed
    image is then not allocated, and its pages faulted in, anew each time.
    The pieces encoded into it are views of it, valid until its next use."""

    def __init__(self) -> None:
        self._array: np.ndarray | None = None

    def at_least(self, size: int) -> np.ndarray:
        """The buffer, grown to hold at least ``size`` bytes (its contents are
        whatever the last use left)."""
        if self._array is None or self._array.size < size:
            self._array = None  # the old one goes before the larger one is made
            self._array = np.empty(size, np.uint8)
        return self._array


def encode_pieces(fmt: ImageFormat, rgb: np.ndarray, options: EncodeOptions,
                  buffer: OutputBuffer | None = None) -> Pieces:
    """The complete file of ``rgb`` (contiguous, a type ``fmt`` stores) as its
    pieces in order, for a format that ``streams`` does not write. With a
    ``buffer``, an encoder that can (PNG) writes into it: the pieces are then
    views of the buffer, to be written out before it is used again."""
    return _ENCODERS[fmt.name](rgb, options, buffer)


def streams(fmt: ImageFormat) -> bool:
    """True when ``fmt`` is written by ``stream_image`` rather than encoded
    whole in memory first."""
    return fmt.name in _STREAMERS


def stream_image(fmt: ImageFormat, rgb: np.ndarray, options: EncodeOptions, file: BinaryIO) -> None:
    """Writes the file of ``rgb`` into ``file`` (seekable) as it is encoded,
    so the compressed image is never held whole in memory: a 24 Mpx 16-bit
    TIFF is as large again as the mosaic. ``file`` must be readable too
    (the EXIF directories are linked in once the image is written)."""
    _STREAMERS[fmt.name](rgb, options, file)


def _quality(name: str, options: EncodeOptions) -> int:
    q = DEFAULT_QUALITY[name] if options.quality is None else options.quality
    return int(q)


def _exif(rgb: np.ndarray, options: EncodeOptions) -> bytes | None:
    if options.metadata is None:
        return None
    return options.metadata.exif_block(rgb.shape[1], rgb.shape[0], options.space.name == "srgb")


def _xmp(options: EncodeOptions) -> bytes | None:
    meta = options.metadata
    return meta.xmp.encode("utf-8") if meta is not None and meta.xmp else None


def _jpeg(rgb: np.ndarray, options: EncodeOptions, buffer: OutputBuffer | None) -> Pieces:
    import imagecodecs

    from .jpeg_markers import embed_jpeg

    q = _quality("jpeg", options)
    data = imagecodecs.jpeg8_encode(rgb, level=q, subsampling="444" if q >= JPEG_FULL_CHROMA_FROM else "420")
    return (embed_jpeg(bytes(data), icc_profile(options.space.name), _exif(rgb, options), _xmp(options)),)


def _png(rgb: np.ndarray, options: EncodeOptions, buffer: OutputBuffer | None) -> Pieces:
    import imagecodecs

    from .png_chunks import png_pieces

    # 8-bit: the Average filter with run-length matching, measured on
    # developed photographs as fast as level 1 with the image within ~5% of
    # level 6 (the Up filter is 6% faster there but its files 9% larger).
    # 16-bit samples' low bytes are noise that string matching cannot use:
    # Huffman coding alone measured 25% faster there, the file as small; with
    # it the Up filter measured 4-6% faster than Average, its files 1-2% larger.
    strategy, filters = imagecodecs.PNG.STRATEGY, imagecodecs.PNG.FILTER
    deep = rgb.dtype == np.uint16
    settings = dict(level=1, filter=filters.UP if deep else filters.AVG,
                    strategy=strategy.HUFFMAN_ONLY if deep else strategy.RLE)
    data: bytes | memoryview | None = None
    if buffer is not None:
        # Into the buffer (a 24 Mpx 16-bit PNG measured 8% faster than into
        # memory the codec grows as it goes); should the image not fit in its
        # bound after all, the codec refuses and it is encoded as without one.
        # (The codec's stubs name bytearray; it takes any writable buffer, and
        # an uninitialised array costs no zeroing of memory it then overwrites.)
        out = buffer.at_least(_png_bound(rgb))
        try:
            data = memoryview(imagecodecs.png_encode(rgb, out=out, **settings))  # type: ignore[arg-type]
        except imagecodecs.PngError:
            data = None
    if data is None:
        data = bytes(imagecodecs.png_encode(rgb, **settings))
    s = options.space
    return png_pieces(data, icc_profile(s.name), s.title, _exif(rgb, options), _xmp(options))


def _png_bound(rgb: np.ndarray) -> int:
    """Bytes enough for the PNG of ``rgb``: its samples and each row's filter
    byte, with room for what deflate adds to data it cannot shrink (a stored
    block's 5 bytes per 64 KiB), the chunks' own 12 bytes per few KiB and
    the header and trailer chunks."""
    return int(rgb.nbytes + rgb.shape[0] + rgb.nbytes // 256 + 65536)


# Images this large (uncompressed) are written as BigTIFF, whose offsets are
# 64-bit, as tifffile itself decides: a classic TIFF stops at 4 GiB.
BIGTIFF_FROM = 2**32 - 2**25


def _stream_tiff(rgb: np.ndarray, options: EncodeOptions, file: BinaryIO) -> None:
    import tifffile

    from .tiff_exif import graft_from

    exif = _exif(rgb, options)
    graft = graft_from(exif) if exif is not None else None
    extratags: list[tuple[int, int, int, bytes, bool]] = [] if graft is None else list(graft.tags)
    xmp = _xmp(options)
    if xmp:
        extratags.append((700, 1, len(xmp), xmp, True))
    bigtiff = rgb.nbytes >= BIGTIFF_FROM
    if bigtiff and graft is not None and graft.targets:
        warnings.warn("the EXIF and GPS directories are not written into a BigTIFF (an image over 4 GiB); "
                      "its camera, date and XMP are", stacklevel=4)
    # Deflate with a predictor: every TIFF reader decodes it (zstd would be
    # smaller and faster, but many editors cannot open it). Little-endian, and
    # classic below 4 GiB: the EXIF directories are linked in with 32-bit offsets.
    predictor = 3 if rgb.dtype == np.float32 else 2
    tifffile.imwrite(file, rgb, photometric="rgb", compression="zlib", compressionargs={"level": 1}, predictor=predictor,
                     iccprofile=icc_profile(options.space.name), software=False, metadata=None, byteorder="<",
                     bigtiff=bigtiff, extratags=extratags)
    if graft is not None and not bigtiff:
        graft.append_to(file)


def _webp(rgb: np.ndarray, options: EncodeOptions, buffer: OutputBuffer | None) -> Pieces:
    import imagecodecs

    from .webp_chunks import embed_webp

    q = _quality("webp", options)
    data = imagecodecs.webp_encode(rgb, level=q, lossless=q >= 100)
    return (embed_webp(bytes(data), rgb.shape[1], rgb.shape[0], icc_profile(options.space.name),
                       _exif(rgb, options), _xmp(options)),)


def _avif(rgb: np.ndarray, options: EncodeOptions, buffer: OutputBuffer | None) -> Pieces:
    import imagecodecs

    from .avif_boxes import embed_avif

    q = _quality("avif", options)
    bits = 8
    if rgb.dtype == np.uint16:
        bits, rgb = 12, _to_12_bits(rgb)
    s = options.space
    lossless = q >= 100
    # The enum rather than its name: the codec's releases spell the names differently.
    formats = imagecodecs.AVIF.PIXEL_FORMAT
    data = imagecodecs.avif_encode(
        rgb, level=100 if lossless else q, speed=8, bitspersample=bits,
        pixelformat=formats.YUV444 if lossless or q >= JPEG_FULL_CHROMA_FROM else formats.YUV420,
        primaries=s.cicp_primaries, transfer=s.cicp_transfer, matrix=0 if lossless else 6)
    return (embed_avif(bytes(data), icc_profile(s.name), _exif(rgb, options), _xmp(options)),)


def _to_12_bits(rgb: np.ndarray) -> np.ndarray:
    """AVIF stores at most 12 bits: 16-bit samples scaled with rounding, a
    band of rows at a time so the wide intermediate stays small."""
    out = np.empty_like(rgb)
    band = max(1, (1 << 20) // (rgb.shape[1] * 3))
    for top in range(0, rgb.shape[0], band):
        wide = rgb[top:top + band].astype(np.uint32)
        out[top:top + band] = (wide * 4095 + 32767) // 65535
    return out


def _jxl(rgb: np.ndarray, options: EncodeOptions, buffer: OutputBuffer | None) -> Pieces:
    import imagecodecs

    from .jxl_boxes import embed_jxl_metadata, jxl_codestream_span
    from .jxl_colour import restate_colour

    if options.quality is not None and options.quality < 100:
        raise ValueError("JPEG XL is written lossless only (quality 100 or none): the lossy encoder converts "
                         "to XYB assuming sRGB, so another output space could not be stated")
    data = bytes(imagecodecs.jpegxl_encode(rgb, lossless=True, effort=2, usecontainer=True))
    box_start, start, end = jxl_codestream_span(data)
    codestream = restate_colour(data[start:end], options.space)
    if start:
        if len(codestream) + 8 > 0xFFFFFFFF:
            raise ValueError("a JPEG XL codestream over 4 GiB cannot be written")
        data = data[:box_start] + (len(codestream) + 8).to_bytes(4, "big") + b"jxlc" + codestream + data[end:]
    else:
        data = codestream
    return (embed_jxl_metadata(data, _exif(rgb, options), _xmp(options)),)


_ENCODERS = {"jpeg": _jpeg, "png": _png, "webp": _webp, "avif": _avif, "jxl": _jxl}
_STREAMERS = {"tiff": _stream_tiff}
