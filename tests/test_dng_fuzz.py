"""Property test of the DNG and DCP readers against hostile metadata: files
whose opcode lists, ProfileGainTableMap and profile tags are mutated
(tools/dng_mutate.py) read or raise RawFileError, nothing else. The budget is
PYXA_FUZZ_EXAMPLES, like the engine's fuzz test."""

import io
import os
import warnings

import numpy as np
import pytest

hypothesis = pytest.importorskip("hypothesis")
pytest.importorskip("tifffile")
from hypothesis import HealthCheck, given, settings  # noqa: E402
from hypothesis import strategies as st  # noqa: E402

from pyxa.dng.profile_tags import read_profile  # noqa: E402
from pyxa.dng.reader import read_dng  # noqa: E402
from pyxa.dng.opcode_records import (Area, DeltaPerColumn, FixBadPixelsList, GainMap, MapTable,  # noqa: E402
                                     Opcode, ScalePerRow, TrimBounds, WarpFisheye, WarpRectilinear)
from pyxa.dng.records import CameraProfile, ProfileGainTableMap, ProfileTable  # noqa: E402
from pyxa.raw import RawFileError  # noqa: E402

from dng_mutate import mutate_dng, target_entries  # noqa: E402
from fuzz_cases import HypothesisDraw, RandomDraw  # noqa: E402
from dng_writer import profile_tags, write_dcp, write_dng  # noqa: E402

EXAMPLES = int(os.environ.get("PYXA_FUZZ_EXAMPLES", "150"))
V13 = 0x01030000
AREA = Area(0, 0, 8, 8, 0, 1, 1, 1)


def profile():
    table = ProfileTable(3, 2, 2, np.tile(np.float32([0, 1, 1]), (2, 3, 2, 1)))
    return CameraProfile(name="fuzz", illuminant1=17, illuminant2=21, color_matrix1=np.eye(3),
                         color_matrix2=np.eye(3) * 0.5, forward_matrix1=np.eye(3), forward_matrix2=np.eye(3),
                         camera_calibration1=np.eye(3), hue_sat_map1=table, hue_sat_map2=table, look_table=table,
                         tone_curve=np.array([[0.0, 0.0], [0.5, 0.4], [1.0, 1.0]]), default_black_render=0,
                         embed_policy=0, copyright="c", baseline_exposure_offset=0.25)


def opcodes(stage):
    gains = np.ones((2, 2, 1), np.float32)
    return [Opcode(9, V13, 0, stage, GainMap(AREA, 2, 2, 1.0, 1.0, 0.0, 0.0, 1, gains)),
            Opcode(1, V13, 1, stage, WarpRectilinear(np.array([[1.0, 0, 0, 0, 0, 0]]), 0.5, 0.5)),
            Opcode(2, V13, 1, stage, WarpFisheye(np.array([[1.0, 0, 0, 0]]), 0.5, 0.5)),
            Opcode(5, V13, 0, stage, FixBadPixelsList(0, np.array([[1, 1]], np.uint32),
                                                      np.array([[0, 0, 2, 2]], np.uint32))),
            Opcode(7, V13, 0, stage, MapTable(AREA, np.arange(16, dtype=np.uint16))),
            Opcode(11, V13, 0, stage, DeltaPerColumn(AREA, np.zeros(8, np.float32))),
            Opcode(12, V13, 0, stage, ScalePerRow(AREA, np.ones(8, np.float32))),
            Opcode(6, V13, 0, stage, TrimBounds(0, 0, 8, 8))]


class Bases(tuple):
    """The two base files; named briefly in hypothesis' reports."""

    def __repr__(self):
        return "<base DNG and DCP>"


@pytest.fixture(scope="module")
def base_files(tmp_path_factory):
    folder = tmp_path_factory.mktemp("fuzz")
    dng, dcp = folder / "base.dng", folder / "base.dcp"
    pgtm = ProfileGainTableMap(2, 2, 1.0, 1.0, 0.0, 0.0, 3, (0.25, 0.5, 0.25, 0.0, 0.0), np.ones((2, 2, 3), np.float32))
    write_dng(dng, np.arange(64, dtype=np.uint16).reshape(8, 8), OpcodeList1=opcodes(1), OpcodeList2=opcodes(2),
              OpcodeList3=opcodes(3), ProfileGainTableMap=pgtm, **profile_tags(profile()))
    write_dcp(dcp, **profile_tags(profile()))
    return Bases((dng.read_bytes(), dcp.read_bytes()))


def test_base_files_read_and_offer_every_target(base_files):
    dng, dcp = base_files
    record = read_dng(io.BytesIO(dng))
    assert sorted(record.opcode_lists) == [1, 2, 3] and record.profile_gain_table_map is not None
    assert read_profile(io.BytesIO(dcp)).look_table is not None
    codes = {e.code for e in target_entries(dng)}
    assert {51008, 51009, 51022, 52525, 50721, 50938, 50940, 50982} <= codes
    # Mutations change bytes in place: the header and the file's length stay as written.
    mutated = mutate_dng(dng, RandomDraw(1), max_mutations=20)
    assert mutated != dng and mutated[:8] == dng[:8] and len(mutated) == len(dng)


def read_or_refuse(reader, data):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            reader(io.BytesIO(data))
        except RawFileError:
            pass


@settings(max_examples=EXAMPLES, deadline=None, database=None, derandomize=True,
          suppress_health_check=list(HealthCheck))
@given(st.data())
def test_mutated_metadata_reads_or_raises_raw_file_error(base_files, data):
    dng, dcp = base_files
    draw = HypothesisDraw(data)
    if draw.chance(0.75):
        read_or_refuse(lambda f: read_dng(f, pixels=draw.chance(0.5)), mutate_dng(dng, draw))
    else:
        read_or_refuse(read_profile, mutate_dng(dcp, draw))
