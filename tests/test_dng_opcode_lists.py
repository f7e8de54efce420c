"""Opcode lists: each of the thirteen opcodes parsed from bytes laid out here
with struct, straight from the format's table; the writer's encoder as the
parser's exact inverse; and every refusal, with its message, for lists and
opcodes whose counts, sizes or numbers are impossible."""

import dataclasses
import math
import struct

import numpy as np
import pytest

from pyxa.dng.opcode_lists import parse_opcode_list
from pyxa.dng.opcode_records import (OPCODE_NAMES, Area, DeltaPerColumn, DeltaPerRow, FixBadPixelsConstant,
                                     FixBadPixelsList, FixVignetteRadial, GainMap, MapPolynomial, MapTable, Opcode,
                                     ScalePerColumn, ScalePerRow, TrimBounds, UnknownOpcode, WarpFisheye,
                                     WarpRectilinear)
from pyxa.raw import RawFileError

import dng_writer

FILE = "f.dng"
V13 = 0x01030000
AREA = (2, 4, 10, 20, 0, 3, 2, 4)  # top, left, bottom, right, plane, planes, row pitch, column pitch


def area_bytes(a=AREA):
    return struct.pack(">8I", *a)


def opcode_bytes(opcode_id, params, *, version=V13, flags=0):
    return struct.pack(">4I", opcode_id, version, flags, len(params)) + params


def opcode_list(*opcodes):
    return struct.pack(">I", len(opcodes)) + b"".join(opcodes)


def assert_same(a, b):
    """Records equal field by field, arrays by dtype, shape and value."""
    assert type(a) is type(b)
    for f in dataclasses.fields(a):
        x, y = getattr(a, f.name), getattr(b, f.name)
        if isinstance(x, np.ndarray):
            assert x.dtype == y.dtype and x.shape == y.shape and np.array_equal(x, y), f.name
        elif dataclasses.is_dataclass(x):
            assert_same(x, y)
        else:
            assert x == y, f.name


def gains_253():
    return np.arange(2 * 5 * 3, dtype=np.float32).reshape(2, 5, 3) / 8


# (id, parameter bytes written from the table's layout, the record they mean)
CASES = {
    "WarpRectilinear": (1, struct.pack(">I", 2) + struct.pack(">12d", *range(1, 13)) + struct.pack(">2d", 0.25, 0.75),
                        WarpRectilinear(np.arange(1, 13, dtype=np.float64).reshape(2, 6), 0.25, 0.75)),
    "WarpFisheye": (2, struct.pack(">I", 1) + struct.pack(">4d", 1.0, -0.5, 0.25, 0.125) + struct.pack(">2d", 0.5, 0.4),
                    WarpFisheye(np.array([[1.0, -0.5, 0.25, 0.125]]), 0.5, 0.4)),
    "FixVignetteRadial": (3, struct.pack(">7d", 0.1, 0.2, 0.3, 0.4, 0.5, 0.45, 0.55),
                          FixVignetteRadial((0.1, 0.2, 0.3, 0.4, 0.5), 0.45, 0.55)),
    "FixBadPixelsConstant": (4, struct.pack(">2I", 65535, 1), FixBadPixelsConstant(65535, 1)),
    "FixBadPixelsList": (5, struct.pack(">3I", 2, 2, 1) + struct.pack(">4I", 10, 11, 12, 13) + struct.pack(">4I", 1, 2, 3, 4),
                         FixBadPixelsList(2, np.array([[10, 11], [12, 13]], np.uint32),
                                          np.array([[1, 2, 3, 4]], np.uint32))),
    "TrimBounds": (6, struct.pack(">4I", 1, 2, 30, 40), TrimBounds(1, 2, 30, 40)),
    "MapTable": (7, area_bytes() + struct.pack(">I3H", 3, 0, 500, 65535),
                 MapTable(Area(*AREA), np.array([0, 500, 65535], np.uint16))),
    "MapPolynomial": (8, area_bytes() + struct.pack(">I4d", 3, 0.0, 1.0, -0.5, 0.25),
                      MapPolynomial(Area(*AREA), np.array([0.0, 1.0, -0.5, 0.25]))),
    "GainMap": (9, area_bytes() + struct.pack(">2I4dI", 2, 5, 0.5, 0.25, 0.125, 0.0625, 3)
                + gains_253().astype(">f4").tobytes(),
                GainMap(Area(*AREA), 2, 5, 0.5, 0.25, 0.125, 0.0625, 3, gains_253())),
    "DeltaPerRow": (10, area_bytes() + struct.pack(">I4f", 4, 1.0, -2.0, 0.5, 0.25),
                    DeltaPerRow(Area(*AREA), np.array([1.0, -2.0, 0.5, 0.25], np.float32))),
    # Rows 0, 3 and 6 of 0..7: an area that the pitch does not divide.
    "DeltaPerRow, uneven area": (10, area_bytes((0, 1, 7, 9, 1, 1, 3, 1)) + struct.pack(">I3f", 3, 1.0, 2.0, 3.0),
                                 DeltaPerRow(Area(0, 1, 7, 9, 1, 1, 3, 1), np.array([1.0, 2.0, 3.0], np.float32))),
    "DeltaPerColumn": (11, area_bytes() + struct.pack(">I4f", 4, 1.0, -2.0, 0.5, 0.25),
                       DeltaPerColumn(Area(*AREA), np.array([1.0, -2.0, 0.5, 0.25], np.float32))),
    "ScalePerRow": (12, area_bytes() + struct.pack(">I4f", 4, 1.5, 2.0, 0.5, 0.25),
                    ScalePerRow(Area(*AREA), np.array([1.5, 2.0, 0.5, 0.25], np.float32))),
    "ScalePerColumn": (13, area_bytes() + struct.pack(">I4f", 4, 1.5, 2.0, 0.5, 0.25),
                       ScalePerColumn(Area(*AREA), np.array([1.5, 2.0, 0.5, 0.25], np.float32))),
    "Unknown": (77, b"\x01\x02\x03", UnknownOpcode(b"\x01\x02\x03")),
}


@pytest.mark.parametrize("name", CASES)
def test_opcode_parameters_are_read_from_their_layout(name):
    opcode_id, params, expected = CASES[name]
    (op,) = parse_opcode_list(opcode_list(opcode_bytes(opcode_id, params, flags=3)), 2, FILE)
    assert (op.id, op.dng_version, op.flags, op.stage, op.optional, op.preview_skip) == (opcode_id, V13, 3, 2, True, True)
    assert_same(op.params, expected)


@pytest.mark.parametrize("name", CASES)
def test_encoder_writes_the_bytes_the_parser_reads(name):
    opcode_id, params, expected = CASES[name]
    op = Opcode(id=opcode_id, dng_version=0x01040000, flags=1, stage=3, params=expected)
    data = dng_writer.encode_opcode_list([op])
    assert data == opcode_list(opcode_bytes(opcode_id, params, version=0x01040000, flags=1))
    (back,) = parse_opcode_list(data, 3, FILE)
    assert (back.id, back.dng_version, back.flags, back.stage) == (opcode_id, 0x01040000, 1, 3)
    assert_same(back.params, expected)


def test_a_list_keeps_its_opcodes_in_order():
    names = list(CASES)
    data = opcode_list(*(opcode_bytes(CASES[n][0], CASES[n][1]) for n in names))
    ops = parse_opcode_list(data, 1, FILE)
    assert [op.name for op in ops] == [name.split(",")[0] for name in names[:-1]] + ["Unknown(77)"]
    assert all(op.stage == 1 for op in ops)
    assert parse_opcode_list(struct.pack(">I", 0), 1, FILE) == ()


def gain_map(points_v=2, points_h=2, planes=1, spacing=(0.5, 0.5), origin=(0.0, 0.0), gains=None, extra=b""):
    values = np.ones(points_v * points_h * planes, ">f4") if gains is None else np.asarray(gains, ">f4")
    return (area_bytes() + struct.pack(">2I4dI", points_v, points_h, *spacing, *origin, planes)
            + values.tobytes() + extra)


NAN, INF = math.nan, math.inf
OPCODE_REFUSALS = [
    # (opcode id, parameter bytes, message after "OpcodeList2: opcode 0 (Name): ")
    (6, struct.pack(">3I", 1, 2, 3), "top, left, bottom and right need 16 bytes, 12 remain of its 12"),
    (6, struct.pack(">5I", 1, 2, 3, 4, 5), "4 bytes left over after its parameters"),
    (6, struct.pack(">4I", 5, 2, 5, 4), "bounds (top 5, left 2, bottom 5, right 4) are empty or inverted"),
    (1, struct.pack(">I", 0) + struct.pack(">2d", 0.5, 0.5), "plane count 0 is not 1 to 4"),
    (1, struct.pack(">I", 5) + bytes(5 * 48 + 16), "plane count 5 is not 1 to 4"),
    (1, struct.pack(">I", 2) + bytes(48 + 16), "2 planes of 6 coefficients need 96 bytes, 64 remain of its 68"),
    (1, struct.pack(">I", 1) + struct.pack(">6d", 1, 0, 0, INF, 0, 0) + struct.pack(">2d", 0.5, 0.5),
     "an infinite value in the coefficients"),
    (2, struct.pack(">I", 1) + struct.pack(">4d", 1, 0, 0, 0) + struct.pack(">2d", NAN, 0.5),
     "NaN in the optical centre"),
    (3, struct.pack(">7d", 0, 0, NAN, 0, 0, 0.5, 0.5), "NaN in the coefficients"),
    (4, struct.pack(">2I", 0, 4), "BayerPhase 4 is not 0 to 3"),
    (5, struct.pack(">3I", 0, 2**30, 2**30) + bytes(8), "PointCount 1073741824 and RectCount 1073741824 need "
                                                        "25769803776 bytes, 8 remain of its 20"),
    (5, struct.pack(">3I", 0, 0, 1) + struct.pack(">4I", 4, 1, 2, 3),
     "bad rectangle 0 (top 4, left 1, bottom 2, right 3) is empty or inverted"),
    (7, area_bytes() + struct.pack(">I", 0), "TableSize 0 is not 1 to 65536"),
    (7, area_bytes() + struct.pack(">I", 65537), "TableSize 65537 is not 1 to 65536"),
    (7, area_bytes() + struct.pack(">I3H", 4, 1, 2, 3), "TableSize 4 entries need 8 bytes, 6 remain of its 42"),
    (8, area_bytes() + struct.pack(">I", 9) + bytes(80), "Degree 9 is above 8"),
    (8, area_bytes() + struct.pack(">I2d", 1, 0.0, NAN), "NaN in the coefficients"),
    (8, struct.pack(">8I", 10, 4, 3, 20, 0, 1, 1, 1) + struct.pack(">Id", 0, 1.0),
     "area (top 10, left 4, bottom 3, right 20) is empty or inverted"),
    (8, struct.pack(">8I", 0, 4, 3, 4, 0, 1, 1, 1) + struct.pack(">Id", 0, 1.0),
     "area (top 0, left 4, bottom 3, right 4) is empty or inverted"),
    (8, struct.pack(">8I", 0, 0, 3, 4, 0, 0, 1, 1) + struct.pack(">Id", 0, 1.0), "area Planes is 0"),
    (8, struct.pack(">8I", 0, 0, 3, 4, 0, 1, 0, 1) + struct.pack(">Id", 0, 1.0),
     "area pitch is 0 (RowPitch 0, ColPitch 1)"),
    (8, struct.pack(">8I", 0, 0, 2**32 - 1, 4, 0, 1, 1, 1) + struct.pack(">Id", 0, 1.0),
     "area Bottom 4294967295 is beyond any image (above 2^31 - 1)"),
    (9, gain_map()[:-4], "2 x 2 x 1 gains need 16 bytes, 12 remain of its 88"),
    (9, gain_map(points_v=2**31, points_h=2**31, planes=2**31, gains=[1.0]),
     "2147483648 x 2147483648 x 2147483648 gains need 39614081257132168796771975168 bytes, 4 remain of its 80"),
    (9, gain_map(points_v=0, gains=[]), "map of 0 x 2 points and 1 planes is empty"),
    (9, gain_map(planes=0, gains=[]), "map of 2 x 2 points and 0 planes is empty"),
    (9, gain_map(spacing=(0.0, 0.5)), "map spacing (0.0, 0.5) is not positive"),
    (9, gain_map(spacing=(INF, 0.5)), "an infinite value in the map spacing"),
    (9, gain_map(origin=(0.0, NAN)), "NaN in the map origin"),
    (9, gain_map(gains=[1.0, NAN, 1.0, 1.0]), "NaN in the gains"),
    (10, area_bytes() + struct.pack(">I3f", 3, 0, 0, 0), "Count 3 does not match the 4 rows its area selects"),
    (11, area_bytes() + struct.pack(">I5f", 5, 0, 0, 0, 0, 0), "Count 5 does not match the 4 columns its area selects"),
    (12, area_bytes() + struct.pack(">I4f", 4, 1, INF, 1, 1), "an infinite value in the values"),
    (13, area_bytes() + struct.pack(">I4f", 400, 1, 1, 1, 1), "Count 400 does not match the 4 columns its area "
                                                              "selects"),
]


@pytest.mark.parametrize("opcode_id, params, problem", OPCODE_REFUSALS)
def test_impossible_opcodes_are_refused_naming_file_tag_and_opcode(opcode_id, params, problem):
    name = OPCODE_NAMES[opcode_id]
    data = opcode_list(opcode_bytes(6, struct.pack(">4I", 0, 0, 1, 1)), opcode_bytes(opcode_id, params))
    with pytest.raises(RawFileError) as e:
        parse_opcode_list(data, 2, FILE)
    assert e.value.name == FILE
    assert e.value.reason == f"OpcodeList2: opcode 1 ({name}): {problem}"


LIST_REFUSALS = [
    (b"\x00\x00\x01", "3 bytes, too few to hold the opcode count"),
    (struct.pack(">I", 3) + opcode_bytes(6, bytes(16)), "says 3 opcodes, but its 36 bytes hold at most 2"),
    (struct.pack(">I", 2) + opcode_bytes(77, bytes(4)) + bytes(12),
     "opcode 1: the list ends inside its 16-byte header"),
    (struct.pack(">I", 1) + struct.pack(">4I", 9, V13, 0, 200) + bytes(100),
     "opcode 0 (GainMap): byte count 200 runs past the end of the list (100 bytes left)"),
    (struct.pack(">I", 1) + struct.pack(">4I", 1000, V13, 0, 2**32 - 1),
     "opcode 0 (unknown id 1000): byte count 4294967295 runs past the end of the list (0 bytes left)"),
    (opcode_list(opcode_bytes(77, b"")) + b"\x00\x00", "2 bytes after the last of its 1 opcodes"),
]


@pytest.mark.parametrize("data, problem", LIST_REFUSALS)
def test_impossible_lists_are_refused(data, problem):
    with pytest.raises(RawFileError) as e:
        parse_opcode_list(data, 3, FILE)
    assert (e.value.name, e.value.reason) == (FILE, "OpcodeList3: " + problem)
