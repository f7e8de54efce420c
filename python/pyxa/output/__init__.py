"""Writing developed images: formats, output colour spaces with their ICC
profiles, the metadata carried from the raw file, and the encoders."""

from .encode import (DEFAULT_QUALITY, JPEG_FULL_CHROMA_FROM, EncodeOptions, OutputBuffer, Pieces, encode_pieces,
                     stream_image, streams)
from .formats import FORMATS, ImageFormat, format_of, require_codec
from .icc import icc_profile
from .metadata import ImageMetadata, read_metadata
from .spaces import SPACES, OutputSpace, output_space

__all__ = ["DEFAULT_QUALITY", "FORMATS", "JPEG_FULL_CHROMA_FROM", "SPACES", "EncodeOptions", "ImageFormat",
           "ImageMetadata", "OutputBuffer", "OutputSpace", "Pieces", "encode_pieces", "format_of", "icc_profile",
           "output_space", "read_metadata", "require_codec", "stream_image", "streams"]
