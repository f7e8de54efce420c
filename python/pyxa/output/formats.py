"""The image formats the writers know: names, file extensions, the sample
types each stores, and the codec each needs from imagecodecs (checked when
a file is written, so a missing codec names itself)."""

from __future__ import annotations

import os
from dataclasses import dataclass

__all__ = ["FORMATS", "ImageFormat", "format_of", "require_codec"]


@dataclass(frozen=True)
class ImageFormat:
    """One output format: its name, extensions (the first is written) and
    sample types."""

    name: str
    extensions: tuple[str, ...]
    dtypes: tuple[str, ...]
    codec: str  # the imagecodecs codec class that must be available
    title: str


FORMATS: dict[str, ImageFormat] = {f.name: f for f in (
    ImageFormat("png", (".png",), ("uint8", "uint16"), "PNG", "PNG"),
    ImageFormat("tiff", (".tif", ".tiff"), ("uint8", "uint16", "float32"), "ZLIB", "TIFF"),
    ImageFormat("jpeg", (".jpg", ".jpeg"), ("uint8",), "JPEG8", "JPEG"),
    ImageFormat("webp", (".webp",), ("uint8",), "WEBP", "WebP"),
    ImageFormat("avif", (".avif",), ("uint8", "uint16"), "AVIF", "AVIF"),
    ImageFormat("jxl", (".jxl",), ("uint8", "uint16"), "JPEGXL", "JPEG XL"),
)}

_ALIASES = {"jpg": "jpeg", "tif": "tiff", "jpegxl": "jxl"}


def format_of(path: str, fmt: str | None) -> ImageFormat:
    """The format named by ``fmt`` (or an alias such as "jpg"), else the one
    the extension of ``path`` names; ValueError says what to give otherwise."""
    if fmt is not None:
        key = _ALIASES.get(fmt.lower(), fmt.lower())
        if key not in FORMATS:
            raise ValueError(f"format must be one of {', '.join(FORMATS)}, got {fmt!r}")
        return FORMATS[key]
    ext = os.path.splitext(path)[1].lower()
    for f in FORMATS.values():
        if ext in f.extensions:
            return f
    raise ValueError(f"{path}: cannot tell the image format from the extension; "
                     f"give format= one of {', '.join(FORMATS)}")


def require_codec(f: ImageFormat) -> None:
    """ImportError naming the codec when the installed imagecodecs lacks it."""
    try:
        import imagecodecs
    except ImportError:
        raise ImportError(f"writing {f.title} needs imagecodecs: pip install 'pyxa[raw]'") from None
    codec = getattr(imagecodecs, f.codec, None)
    if codec is None or not getattr(codec, "available", False):
        raise ImportError(f"writing {f.title} needs the {f.codec} codec, which the installed imagecodecs "
                          f"{imagecodecs.__version__} lacks; install a build of imagecodecs that has it")
