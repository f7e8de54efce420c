"""read_dng: a DNG file into a DngRecord. Finds the main image (NewSubFileType
0, in IFD0 or its SubIFDs), reads its tags, IFD0's scene and profile tags,
the opcode lists and the ProfileGainTableMap, and decodes the pixels unless
only the metadata is asked for."""

from __future__ import annotations

from typing import TYPE_CHECKING, Any, Optional

import numpy as np
import numpy.typing as npt

from ..raw import RawFileError
from .gain_table_map import parse_gain_table_map
from .image_layout import CFA, LINEAR_RAW, image_layout
from .pixels import decode_image, empty_image
from .profile_tags import camera_profile
from .raw_tags import CfaLayout, read_active_area, read_cfa, read_default_crop, read_levels, read_linearization_table
from .records import STAGE_TAGS, DngRecord, ProfileGainTableMap
from .tags import Findings, Ifd, TagProblem, describe_bad, finite
from .tiff_files import Source, ifd_of, library_errors, name_of, open_tiff

if TYPE_CHECKING:
    from .opcode_records import Opcode

__all__ = ["read_dng"]


def read_dng(source: Source, *, pixels: bool = True) -> DngRecord:
    """Reads a DNG file (a path or a binary file object) into a DngRecord.

    With ``pixels=False`` only the tags are read: ``stored`` is then an empty
    array of the image's dtype (``stored_shape`` still gives its size), and a
    file whose pixel data is cut off still reads. Tags holding impossible
    values are ignored with a DngTagWarning (and listed in ``warnings``);
    anything the file cannot be developed without raises RawFileError naming
    the file, the tag and the problem."""
    file = name_of(source)
    findings = Findings(file)
    with open_tiff(source, file) as (tif, size):
        ifd0, main_ifd, main_page = _main_image(tif, size, file)
        record = _record(ifd0, main_ifd, main_page, size, findings, pixels)
    return record


def _main_image(tif: Any, size: int, file: str) -> tuple[Ifd, Ifd, Any]:
    """IFD0 and the main image's IFD and tifffile page."""
    with library_errors(file, "IFD0 cannot be read"):
        if len(tif.pages) == 0:
            raise RawFileError(file, "not a DNG file: no IFD", not_raw=True)
        page0 = tif.pages[0]
        ifd0 = ifd_of(tif, page0, "IFD0", size, file)
    if not ifd0.has("DNGVersion"):
        raise RawFileError(file, "not a DNG file: IFD0 has no DNGVersion tag", not_raw=True)
    if _subfile_type(ifd0, file) == 0:
        return ifd0, ifd0, page0
    try:
        listed = ifd0.integers("SubIFDs") or ()
    except TagProblem as e:
        raise RawFileError(file, f"SubIFDs: {e}") from e
    with library_errors(file, "the SubIFDs cannot be read"):
        pages = page0.pages if listed else []
        for i in range(len(listed)):
            page = pages[i]
            ifd = ifd_of(tif, page, f"SubIFD {i}", size, file)
            if _subfile_type(ifd, file) == 0:
                return ifd0, ifd, page
    raise RawFileError(file, "no main image: neither IFD0 nor its SubIFDs has NewSubFileType 0")


def _subfile_type(ifd: Ifd, file: str) -> int:
    try:
        values = ifd.integers("NewSubFileType")
    except TagProblem as e:
        raise RawFileError(file, f"{ifd.label} NewSubFileType: {e}") from e
    return 0 if not values else values[0]


def _record(ifd0: Ifd, main: Ifd, page: Any, size: int, findings: Findings, pixels: bool) -> DngRecord:
    try:
        photometric = main.integers("PhotometricInterpretation")
    except TagProblem as e:
        findings.refuse(f"{main.label} PhotometricInterpretation", str(e))
    if not photometric or photometric[0] not in (CFA, LINEAR_RAW):
        found = "missing" if not photometric else str(photometric[0])
        findings.refuse(f"{main.label} PhotometricInterpretation",
                        f"is {found}; the main image must be CFA (32803) or LinearRaw (34892)")
    layout = image_layout(main, photometric[0], findings)
    cfa = read_cfa(main, findings) if photometric[0] == CFA else None
    planes = len(cfa.plane_color) if cfa else layout.samples
    active = read_active_area(main, layout.height, layout.width, findings)
    crop_origin, crop_size = read_default_crop(main, active, findings)
    default_white = 1.0 if layout.is_float else float(2 ** layout.bits - 1)
    levels = read_levels(main, layout.samples, default_white, active, findings)
    linearization = read_linearization_table(main, findings)
    scene = _SceneTags(_ifds(ifd0, main), findings)
    profile = camera_profile(_ifds(ifd0, main), planes, findings, "embedded")
    opcode_lists = _opcode_lists(main, findings)
    gain_table_map = _gain_table_map(_ifds(main, ifd0), findings)
    with library_errors(findings.file, "the image data cannot be read"):
        stored = decode_image(page, layout, size, findings, page.parent.filehandle, page.parent.byteorder) \
            if pixels else empty_image(layout)
    return DngRecord(
        name=findings.file, stored=stored, photometric=photometric[0], bits_per_sample=layout.bits,
        stored_shape=layout.shape,
        **_cfa_fields(cfa),
        active_area=active, default_crop_origin=crop_origin, default_crop_size=crop_size,
        linearization_table=linearization, black_level_repeat=levels.black_repeat, black_level=levels.black,
        black_level_delta_h=levels.delta_h, black_level_delta_v=levels.delta_v, white_level=levels.white,
        analog_balance=scene.positive_vector("AnalogBalance", planes),
        as_shot_neutral=scene.positive_vector("AsShotNeutral", planes),
        as_shot_white_xy=scene.white_xy(), baseline_exposure=scene.baseline_exposure(),
        orientation=scene.orientation(), opcode_lists=opcode_lists, profile=profile,
        profile_gain_table_map=gain_table_map, make=scene.text("Make"), model=scene.text("Model"),
        unique_camera_model=scene.text("UniqueCameraModel"), warnings=tuple(findings.warnings),
    )


def _cfa_fields(cfa: Optional[CfaLayout]) -> dict[str, Any]:
    """The record's CFA fields; a linear image keeps the record's defaults."""
    if cfa is None:
        return {}
    return {"cfa_repeat": cfa.repeat, "cfa_pattern": cfa.pattern, "cfa_plane_color": cfa.plane_color}


def _ifds(first: Ifd, second: Ifd) -> tuple[Ifd, ...]:
    """IFDs to look a tag up in, in order; IFD0 once when it is the main image."""
    return (first,) if first is second else (first, second)


class _SceneTags:
    """IFD0's tags about the capture (white balance, exposure, orientation,
    names), looked up in IFD0 first and then in the main image's IFD."""

    def __init__(self, ifds: tuple[Ifd, ...], findings: Findings):
        self.ifds, self.findings = ifds, findings

    def numbers(self, name: str) -> Optional[npt.NDArray[np.float64]]:
        ifd = next((i for i in self.ifds if i.has(name)), None)
        if ifd is None:
            return None
        try:
            return ifd.numbers(name)
        except TagProblem as e:
            self.findings.ignore(name, str(e))
            return None

    def text(self, name: str) -> str:
        ifd = next((i for i in self.ifds if i.has(name)), None)
        if ifd is None:
            return ""
        try:
            return ifd.text(name) or ""
        except TagProblem as e:
            self.findings.ignore(name, str(e))
            return ""

    def positive_vector(self, name: str, planes: int) -> Optional[npt.NDArray[np.float64]]:
        values = self.numbers(name)
        if values is None:
            return None
        if values.size != planes:
            self.findings.ignore(name, f"has {values.size} values, one per colour plane ({planes}) expected")
            return None
        if not finite(values) or np.any(values <= 0):
            self.findings.ignore(name, describe_bad(values) if not finite(values) else "holds a value not above 0")
            return None
        return values

    def white_xy(self) -> Optional[tuple[float, float]]:
        values = self.numbers("AsShotWhiteXY")
        if values is None:
            return None
        if values.size != 2 or not finite(values) or np.any(values <= 0) or values.sum() >= 1:
            self.findings.ignore("AsShotWhiteXY", f"({', '.join(f'{v:g}' for v in values[:4])}) is not the "
                                                  "chromaticity (x, y) of a colour")
            return None
        return (float(values[0]), float(values[1]))

    def baseline_exposure(self) -> float:
        values = self.numbers("BaselineExposure")
        if values is None:
            return 0.0
        if values.size != 1 or not finite(values):
            self.findings.ignore("BaselineExposure", describe_bad(values) if values.size == 1 else
                                 f"has {values.size} values, 1 expected")
            return 0.0
        return float(values[0])

    def orientation(self) -> int:
        values = self.numbers("Orientation")
        if values is None:
            return 1
        if values.size != 1 or values[0] not in range(1, 9):
            self.findings.ignore("Orientation", f"is {', '.join(f'{v:g}' for v in values[:4])}, not 1 to 8")
            return 1
        return int(values[0])


def _opcode_lists(main: Ifd, findings: Findings) -> dict[int, tuple[Opcode, ...]]:
    lists = {}
    for stage, tag in STAGE_TAGS.items():
        try:
            data = main.blob(tag)
        except TagProblem as e:
            findings.refuse(tag, str(e))
        if data is not None:
            from .opcode_lists import parse_opcode_list  # the opcodes' records load with the first list

            lists[stage] = parse_opcode_list(data, stage, findings.file)
    return lists


def _gain_table_map(ifds: tuple[Ifd, ...], findings: Findings) -> Optional[ProfileGainTableMap]:
    name = "ProfileGainTableMap"
    ifd = next((i for i in ifds if i.has(name)), None)
    if ifd is None:
        return None
    try:
        data = ifd.blob(name)
    except TagProblem as e:
        findings.refuse(name, str(e))
    return None if data is None else parse_gain_table_map(data, findings.file)
