"""Generated DNG developments and the promise each keeps: base files (a CFA
DNG and a linear DNG, each with opcodes of every kind in all three lists, a
full camera profile and a ProfileGainTableMap; a DCP) mutated in their
opcode-list, gain-table-map and profile bytes by tools/dng_mutate.py, then
developed with drawn choices. The promise: a RawFileError naming the file,
or an image of three channels; no other exception (pyxa's own refusals of
a file are RawFileError), no crash, no hang.

Draws go through the interface of tests/fuzz_cases.py, so hypothesis
(tests/test_dng_develop_fuzz.py) and seeded random numbers
(scripts/fuzz_campaign.py --kind dng) drive the same code."""

from __future__ import annotations

import functools
import os
import tempfile
import warnings

import numpy as np

import pyxa
from pyxa.dng.opcode_records import (Area, DeltaPerRow, FixBadPixelsConstant, FixBadPixelsList, FixVignetteRadial,
                                     GainMap, MapPolynomial, MapTable, Opcode, ScalePerColumn, TrimBounds,
                                     UnknownOpcode, WarpFisheye, WarpRectilinear)
from pyxa.dng.records import CameraProfile, ProfileGainTableMap, ProfileTable

from dng_mutate import mutate_dng
from dng_writer import profile_tags, write_dcp, write_dng

V13 = 0x01030000
SHAPE = (14, 18)
AREA = Area(1, 0, 12, 16, 0, 3, 1, 2)
LOOKS = ("profile", "linear")
DEMOSAICS = ("ea", "ea_full", "bilinear")
DTYPES = ("uint8", "uint16", "float32")
SPACES = ("srgb", "display-p3", "rec2020-linear", "prophoto")
WHITES = ("camera", "daylight", "5200K,+8", (2.0, 1.0, 1.5), "D50")


def profile() -> CameraProfile:
    table = ProfileTable(4, 3, 2, np.tile(np.float32([2.0, 1.05, 0.98]), (2, 4, 3, 1)), encoding=1)
    return CameraProfile(
        name="fuzz", illuminant1=17, illuminant2=21,
        color_matrix1=np.array([[0.87, -0.23, -0.09], [-0.38, 1.16, 0.24], [-0.05, 0.16, 0.71]]),
        color_matrix2=np.array([[0.65, -0.09, -0.09], [-0.43, 1.22, 0.24], [-0.08, 0.19, 0.59]]),
        forward_matrix1=np.array([[0.69, 0.17, 0.1], [0.24, 0.86, -0.1], [0.03, -0.18, 0.97]]),
        forward_matrix2=np.array([[0.72, 0.13, 0.12], [0.28, 0.81, -0.09], [0.04, -0.15, 0.94]]),
        hue_sat_map1=ProfileTable(4, 3, 1, np.tile(np.float32([3.0, 1.1, 1.0]), (1, 4, 3, 1))),
        hue_sat_map2=ProfileTable(4, 3, 1, np.tile(np.float32([-3.0, 0.9, 1.0]), (1, 4, 3, 1))),
        look_table=table, tone_curve=np.array([[0.0, 0.0], [0.4, 0.5], [1.0, 1.0]]),
        baseline_exposure_offset=0.1, default_black_render=0)


def opcodes(stage: int, mosaic: bool) -> list[Opcode]:
    gains = np.float32([[1.2, 1.0, 0.9], [1.1, 1.3, 1.0]])[..., None]
    ops = [Opcode(9, V13, 0, stage, GainMap(AREA, 2, 3, 0.8, 0.4, 0.1, 0.0, 1, gains)),
           Opcode(3, V13, 1, stage, FixVignetteRadial((0.2, 0.1, 0.0, 0.0, 0.0), 0.4, 0.6)),
           Opcode(8, V13, 0, stage, MapPolynomial(AREA, np.array([0.01, 0.9, 0.1]))),
           Opcode(7, V13, 0, stage, MapTable(AREA, np.arange(0, 65536, 97, dtype=np.uint16))),
           Opcode(10, V13, 0, stage, DeltaPerRow(AREA, np.float32(np.linspace(-0.01, 0.01, 11)))),
           Opcode(13, V13, 0, stage, ScalePerColumn(AREA, np.float32(np.linspace(0.9, 1.1, 8)))),
           Opcode(1, V13, 0, stage, WarpRectilinear(np.array([[1.0, -0.05, 0.01, 0.0, 0.001, 0.0]]), 0.5, 0.5)),
           Opcode(2, V13, 2, stage, WarpFisheye(np.array([[1.0, 0.02, 0.0, 0.0]]), 0.5, 0.5)),
           Opcode(4242, V13, 1, stage, UnknownOpcode(b"\x01\x02\x03\x04"))]
    if mosaic and stage < 3:
        ops += [Opcode(4, V13, 0, stage, FixBadPixelsConstant(0, 1)),
                Opcode(5, V13, 0, stage, FixBadPixelsList(2, np.array([[3, 4], [9, 9]], np.uint32),
                                                          np.array([[5, 5, 7, 9]], np.uint32)))]
    if stage == 3:
        ops.append(Opcode(6, V13, 0, stage, TrimBounds(1, 1, 12, 16)))
    return ops


def gain_table_map() -> ProfileGainTableMap:
    return ProfileGainTableMap(2, 2, 1.0, 1.0, 0.0, 0.0, 3, (0.25, 0.5, 0.25, 0.0, 0.0),
                               np.float32([1.0, 1.1, 0.9] * 4).reshape(2, 2, 3), gamma=1.0)


@functools.lru_cache(maxsize=1)
def base_files() -> dict[str, bytes]:
    """The base files' bytes: "cfa", "linear" (DNGs) and "dcp"."""
    rng = np.random.default_rng(0)
    files = {}
    with tempfile.TemporaryDirectory() as folder:
        for name, stored in (("cfa", rng.integers(200, 4000, SHAPE).astype(np.uint16)),
                             ("linear", rng.integers(200, 4000, SHAPE + (3,)).astype(np.uint16))):
            mosaic = stored.ndim == 2
            path = os.path.join(folder, name + ".dng")
            write_dng(path, stored, BlackLevel=[128.0] * (1 if mosaic else 3), WhiteLevel=[4095] * (1 if mosaic else 3),
                      ActiveArea=(1, 1, 13, 17), DefaultCropOrigin=(1, 1), DefaultCropSize=(12, 9),
                      AsShotNeutral=(0.5, 1.0, 0.7), BaselineExposure=0.2, ProfileGainTableMap=gain_table_map(),
                      OpcodeList1=opcodes(1, mosaic), OpcodeList2=opcodes(2, mosaic), OpcodeList3=opcodes(3, mosaic),
                      **profile_tags(profile()))
            with open(path, "rb") as f:
                files[name] = f.read()
        path = os.path.join(folder, "base.dcp")
        write_dcp(path, **profile_tags(profile()))
        with open(path, "rb") as f:
            files["dcp"] = f.read()
    return files


def make_dng_case(d) -> dict:
    """A mutated DNG (and maybe a mutated DCP) and the choices to develop it with."""
    files = base_files()
    base = d.pick(("cfa", "linear"))
    with_dcp = d.chance(0.25)
    data = mutate_dng(files[base], d) if not with_dcp or d.chance(0.5) else files[base]
    dcp = mutate_dng(files["dcp"], d) if with_dcp else None
    choices = {"look": d.pick(LOOKS), "demosaic": d.pick(DEMOSAICS), "dtype": d.pick(DTYPES),
               "wb": d.pick(WHITES), "ignore_unknown_opcodes": d.chance(0.5)}
    if choices["look"] == "profile":
        choices["space"] = d.pick(SPACES)
    return {"kind": "dng", "base": base, "data": data, "dcp": dcp, "choices": choices}


def check_dng_case(case: dict) -> str:
    """Develops the case; "developed" or "refused" (RawFileError), anything
    else raises. The file and DCP are written under a temporary folder."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "case.dng")
        with open(path, "wb") as f:
            f.write(case["data"])
        choices = dict(case["choices"])
        if case["dcp"] is not None:
            choices["dcp"] = os.path.join(folder, "case.dcp")
            with open(choices["dcp"], "wb") as f:
                f.write(case["dcp"])
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            try:
                rgb = pyxa.develop(path, **choices)
            except pyxa.RawFileError as e:
                assert e.name in (path, choices.get("dcp")), f"refusal names {e.name!r}, not the file"
                return "refused"
    assert isinstance(rgb, np.ndarray) and rgb.ndim == 3 and rgb.shape[2] == 3, getattr(rgb, "shape", rgb)
    assert rgb.dtype == np.dtype(choices["dtype"])
    return "developed"
