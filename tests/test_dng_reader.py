"""read_dng: every compression, predictor, tiling, bit depth and byte order
decodes to the array written; the main image is found among previews; every
tag reads into its record field, is ignored with its warning when impossible,
or refuses the file with its message; the real captures in ../shared/raw
(colorchart.dng against rawpy, the cut-off iPhone ProRAW's metadata); and the
ProfileGainTableMap from bytes laid out here."""

import io
import math
import struct
import warnings
from pathlib import Path

import numpy as np
import pytest

tifffile = pytest.importorskip("tifffile")
pytest.importorskip("imagecodecs")
from pyxa.dng.gain_table_map import parse_gain_table_map  # noqa: E402
from pyxa.dng.reader import read_dng  # noqa: E402
from pyxa.dng.opcode_records import Area, GainMap, MapPolynomial, Opcode, WarpRectilinear  # noqa: E402
from pyxa.dng.records import ProfileGainTableMap  # noqa: E402
from pyxa.dng.tags import DngTagWarning  # noqa: E402
from pyxa.raw import RawFileError  # noqa: E402

from dng_writer import Field, encode_gain_table_map, write_dng  # noqa: E402

SHARED_RAW = Path(__file__).resolve().parents[1] / ".." / "shared" / "raw"
RNG = np.random.default_rng(7)


def ints(bits, shape=(37, 50)):
    return RNG.integers(0, 2**bits, shape).astype(np.uint8 if bits == 8 else np.uint16)


def floats(shape=(37, 50, 3), dtype=np.float32):
    # Multiples of 1/1024 below 2: exact in 16-, 24- and 32-bit floats alike.
    return (RNG.integers(0, 2048, shape) / 1024).astype(dtype)


CFA16, CFA12, LIN12, CFA8 = ints(16), ints(12), ints(12, (37, 50, 3)), ints(8)
F32, F16, LIN1 = floats(), floats(dtype=np.float16), ints(16, (37, 50, 1))

DECODES = {
    "16-bit strips": (CFA16, {"rows_per_strip": 8}),
    "16-bit strips, big-endian": (CFA16, {"byteorder": ">", "rows_per_strip": 8}),
    "12-bit packed strips": (CFA12, {"bits": 12, "rows_per_strip": 8}),
    "12-bit packed, big-endian": (CFA12, {"bits": 12, "byteorder": ">"}),
    "10-bit packed": (ints(10), {"bits": 10}),
    "14-bit packed tiles": (ints(14), {"bits": 14, "tile": (16, 16)}),
    "8-bit, widened": (CFA8, {}),
    "linear 12-bit tiles": (LIN12, {"bits": 12, "tile": (16, 32)}),
    "linear one sample": (LIN1, {}),
    "deflate strips": (CFA16, {"compression": "deflate", "rows_per_strip": 5}),
    "deflate tiles, big-endian": (CFA12, {"compression": "deflate", "bits": 12, "tile": (16, 16), "byteorder": ">"}),
    "deflate, predictor 2": (CFA16, {"compression": "deflate", "predictor": 2, "tile": (16, 16)}),
    "deflate, predictor 2, 8-bit linear": (ints(8, (37, 50, 3)), {"compression": "deflate", "predictor": 2}),
    "deflate, predictor 34892": (CFA16, {"compression": "deflate", "predictor": 34892, "tile": (16, 16)}),
    "deflate, predictor 34893, linear, big-endian": (LIN12, {"compression": "deflate", "predictor": 34893,
                                                            "byteorder": ">", "rows_per_strip": 7}),
    "deflate, predictor 34892, 8-bit": (CFA8, {"compression": "deflate", "predictor": 34892}),
    "planar strips": (LIN12, {"planar": True, "rows_per_strip": 16}),
    "planar deflate tiles": (LIN12, {"planar": True, "compression": "deflate", "tile": (16, 16)}),
    "planar deflate, predictor 34892": (LIN12, {"planar": True, "compression": "deflate", "predictor": 34892}),
    "lossless JPEG tiles, 2 components": (CFA12, {"compression": "ljpeg", "bits": 12, "tile": (16, 16)}),
    "lossless JPEG tiles, 1 component": (CFA12, {"compression": "ljpeg", "bits": 12, "tile": (16, 16),
                                                 "ljpeg_components": 1}),
    "lossless JPEG 16-bit, big-endian": (CFA16, {"compression": "ljpeg", "tile": (32, 32), "byteorder": ">"}),
    "lossless JPEG 8-bit": (CFA8, {"compression": "ljpeg", "bits": 8, "tile": (16, 16)}),
    "lossless JPEG strips": (CFA12, {"compression": "ljpeg", "bits": 12, "rows_per_strip": 10}),
    # One segment, decoded without tifffile's copy; a tile larger than the image is cut to it.
    "one lossless JPEG strip": (CFA12, {"compression": "ljpeg", "bits": 12}),
    "one deflate strip": (CFA16, {"compression": "deflate"}),
    "one deflate tile past the image, linear": (LIN12, {"compression": "deflate", "tile": (48, 64)}),
    "one 14-bit packed tile past the image": (ints(14), {"bits": 14, "tile": (48, 64)}),
    "lossless JPEG linear tiles": (LIN12, {"compression": "ljpeg", "bits": 12, "tile": (16, 16)}),
    "float32": (F32, {}),
    "float32 deflate, predictor 3": (F32, {"compression": "deflate", "predictor": 3, "tile": (16, 16)}),
    "float32 deflate, predictor 34894, big-endian": (F32, {"compression": "deflate", "predictor": 34894,
                                                          "byteorder": ">"}),
    "float16 deflate, predictor 34895": (F16, {"compression": "deflate", "predictor": 34895, "tile": (16, 16)}),
    "float16, big-endian": (F16, {"byteorder": ">"}),
    "float24": (F32, {"bits": 24}),
    "float24, big-endian": (F32, {"bits": 24, "byteorder": ">"}),
    "float24 deflate": (F32, {"bits": 24, "compression": "deflate", "tile": (16, 16)}),
    "float24 deflate, predictor 3": (F32, {"bits": 24, "compression": "deflate", "predictor": 3, "tile": (16, 16)}),
    "float24 deflate, predictor 34894, big-endian": (F32, {"bits": 24, "compression": "deflate", "predictor": 34894,
                                                          "byteorder": ">"}),
    "float24 deflate, predictor 34895, CFA": (floats((37, 50)), {"bits": 24, "compression": "deflate",
                                                                 "predictor": 34895, "rows_per_strip": 9}),
}


@pytest.mark.parametrize("case", DECODES)
def test_every_storage_decodes_to_the_array_written(tmp_path, case):
    array, options = DECODES[case]
    path = tmp_path / "t.dng"
    write_dng(path, array, **options)
    record = read_dng(path)
    expected_dtype = np.float32 if array.dtype.kind == "f" else np.uint16
    assert record.stored.dtype == expected_dtype and record.stored.flags.c_contiguous and record.stored.flags.writeable
    assert record.stored.shape == array.shape == record.stored_shape
    assert np.array_equal(record.stored, array.astype(expected_dtype))
    assert record.bits_per_sample == options.get("bits", array.dtype.itemsize * 8)
    assert record.photometric == (32803 if array.ndim == 2 else 34892)


def test_lossy_jpeg_tiles_decode_as_an_independent_decoder_sees_them(tmp_path):
    image_module = pytest.importorskip("PIL.Image")
    y, x = np.mgrid[0:40, 0:56]
    array = np.stack([x * 4, y * 5, (x + y) * 2], axis=-1).astype(np.uint8)
    path = tmp_path / "lossy.dng"
    write_dng(path, array, compression="jpeg", tile=(16, 16))
    stored = read_dng(path).stored
    assert stored.dtype == np.uint16 and stored.shape == array.shape
    with tifffile.TiffFile(path) as tif, open(path, "rb") as f:
        raw = tif.pages[0].pages[0]
        for i, (offset, count) in enumerate(zip(raw.dataoffsets, raw.databytecounts)):
            f.seek(offset)
            tile = np.asarray(image_module.open(io.BytesIO(f.read(count))).convert("RGB"))
            ty, tx = divmod(i, -(-56 // 16))
            part = stored[ty * 16:ty * 16 + 16, tx * 16:tx * 16 + 16]
            # Two builds of a JPEG decoder may round an edge sample apart by one.
            assert np.abs(part.astype(int) - tile[:part.shape[0], :part.shape[1]]).max() <= 1, f"tile {i}"
    assert np.abs(stored.astype(int) - array).mean() < 2  # and it is the picture written, nearly


@pytest.mark.parametrize("options", [{"preview": False}, {}, {"subifds_before": 2},
                                     {"subifds_before": 1, "subifds_type": "IFD"}],
                         ids=["raw in IFD0", "raw in SubIFD 0", "raw after two reduced copies", "SubIFDs typed IFD"])
def test_main_image_is_the_one_of_new_subfile_type_zero(tmp_path, options):
    path = tmp_path / "t.dng"
    write_dng(path, CFA16, **options)
    assert np.array_equal(read_dng(path).stored, CFA16)


def test_file_objects_read_like_paths(tmp_path):
    path = tmp_path / "t.dng"
    write_dng(path, CFA12, bits=12)
    record = read_dng(io.BytesIO(path.read_bytes()))
    assert record.name == "<stream>" and np.array_equal(record.stored, CFA12)


GAIN_MAP = Opcode(9, 0x01030000, 0, 2, GainMap(Area(0, 0, 8, 8, 0, 1, 1, 1), 2, 2, 1.0, 1.0, 0.0, 0.0, 1,
                                               np.array([[[1.0], [1.5]], [[2.0], [0.5]]], np.float32)))
WARP = Opcode(1, 0x01030000, 1, 3, WarpRectilinear(np.array([[1.0, 0.01, 0.0, 0.0, 0.0, 0.0]]), 0.5, 0.5))
POLY = Opcode(8, 0x01030000, 0, 1, MapPolynomial(Area(0, 0, 8, 8, 0, 1, 1, 1), np.array([0.0, 1.0])))
PGTM = ProfileGainTableMap(2, 3, 0.5, 0.25, 0.25, 0.125, 4, (0.25, 0.5, 0.125, 0.0, 0.125),
                           (np.arange(24, dtype=np.float32) / 8).reshape(2, 3, 4))


def test_every_tag_reads_into_its_field(tmp_path):
    path = tmp_path / "t.dng"
    mosaic = ints(12, (8, 10))
    write_dng(path, mosaic, bits=12, ActiveArea=(1, 2, 7, 10), DefaultCropOrigin=Field("RATIONAL", [0.5, 1]),
              DefaultCropSize=(6, 4), LinearizationTable=np.arange(0, 8192, 2), BlackLevelRepeatDim=(2, 2),
              BlackLevel=Field("RATIONAL", [256, 256.5, 255.5, 257]), BlackLevelDeltaH=np.arange(8) / 4,
              BlackLevelDeltaV=[-1, 0, 1, 2, 3, 4], WhiteLevel=4000, AnalogBalance=[1, 1.25, 1],
              AsShotNeutral=[0.5, 1, 0.625], BaselineExposure=-0.75, Orientation=8, Make="Maker",
              Model="Model 1", UniqueCameraModel="Maker Model 1", CFAPattern=b"\x01\x00\x02\x01",
              OpcodeList1=[POLY], OpcodeList2=[GAIN_MAP], OpcodeList3=[WARP, GAIN_MAP], ProfileGainTableMap=PGTM)
    r = read_dng(path)
    assert r.warnings == ()
    assert (r.active_area, r.default_crop_origin, r.default_crop_size) == ((1, 2, 7, 10), (0.5, 1.0), (6.0, 4.0))
    assert r.linearization_table.dtype == np.uint16 and np.array_equal(r.linearization_table, np.arange(0, 8192, 2))
    assert r.black_level_repeat == (2, 2)
    assert np.array_equal(r.black_level, np.array([256, 256.5, 255.5, 257]).reshape(2, 2, 1))
    assert np.array_equal(r.black_level_delta_h, np.arange(8) / 4)
    assert np.array_equal(r.black_level_delta_v, [-1, 0, 1, 2, 3, 4])
    assert r.white_level == (4000.0,)
    assert np.array_equal(r.analog_balance, [1, 1.25, 1]) and np.array_equal(r.as_shot_neutral, [0.5, 1, 0.625])
    assert (r.as_shot_white_xy, r.baseline_exposure, r.orientation) == (None, -0.75, 8)
    assert (r.make, r.model, r.unique_camera_model) == ("Maker", "Model 1", "Maker Model 1")
    assert (r.cfa_repeat, r.cfa_pattern, r.cfa_plane_color, r.is_cfa) == ((2, 2), (1, 0, 2, 1), (0, 1, 2), True)
    assert {stage: [op.name for op in ops] for stage, ops in r.opcode_lists.items()} == {
        1: ["MapPolynomial"], 2: ["GainMap"], 3: ["WarpRectilinear", "GainMap"]}
    assert [op.stage for op in r.opcode_lists[3]] == [3, 3] and r.opcode_lists[3][0].optional
    assert np.array_equal(r.opcode_lists[2][0].params.gains, GAIN_MAP.params.gains)
    m = r.profile_gain_table_map
    assert (m.points_v, m.points_h, m.num_table_points, m.weights, m.gamma) == (2, 3, 4, PGTM.weights, 1.0)
    assert np.array_equal(m.gains, PGTM.gains)


def test_linear_image_levels_are_per_sample(tmp_path):
    path = tmp_path / "t.dng"
    write_dng(path, LIN12, bits=12, BlackLevel=(10, 20, 30), WhiteLevel=(4000, 4050, 4095),
              AsShotWhiteXY=[0.3125, 0.328125])
    r = read_dng(path)
    assert (r.photometric, r.is_cfa, r.samples_per_pixel) == (34892, False, 3)
    assert r.black_level.shape == (1, 1, 3) and r.black_level.ravel().tolist() == [10, 20, 30]
    assert (r.white_level, r.as_shot_white_xy, r.as_shot_neutral) == ((4000.0, 4050.0, 4095.0),
                                                                       (0.3125, 0.328125), None)


@pytest.mark.parametrize("bits, is_float, white", [(12, False, 4095.0), (16, False, 65535.0), (8, False, 255.0),
                                                   (32, True, 1.0)])
def test_absent_levels_take_their_defaults(tmp_path, bits, is_float, white):
    path = tmp_path / "t.dng"
    array = floats((4, 6)) if is_float else ints(bits, (4, 6))
    write_dng(path, array, bits=bits)
    r = read_dng(path)
    assert (r.white_level, r.black_level_repeat, r.active_area) == ((white,), (1, 1), (0, 0, 4, 6))
    assert np.array_equal(r.black_level, np.zeros((1, 1, 1)))
    assert (r.default_crop_origin, r.default_crop_size, r.linearization_table, r.orientation) == ((0, 0), None, None, 1)


@pytest.mark.parametrize("field", [Field("SHORT", [512, 514]), Field("LONG", [512, 514]),
                                   Field("RATIONAL", [(1024, 2), (1028, 2)]), Field("DOUBLE", [512.0, 514.0])],
                         ids=["SHORT", "LONG", "RATIONAL", "DOUBLE"])
def test_black_level_of_any_numeric_type(tmp_path, field):
    path = tmp_path / "t.dng"
    write_dng(path, CFA12, bits=12, BlackLevelRepeatDim=(1, 2), BlackLevel=field)
    assert read_dng(path).black_level.ravel().tolist() == [512.0, 514.0]


IMAGE = ints(12, (6, 8))
IGNORED = [
    # (tags, (field, the value it keeps), warning text)
    ({"BaselineExposure": Field("SRATIONAL", [(0, 0)])}, ("baseline_exposure", 0.0),
     "BaselineExposure holds 0/0, which is not a number; the tag is ignored"),
    ({"BaselineExposure": Field("DOUBLE", [math.inf])}, ("baseline_exposure", 0.0),
     "BaselineExposure holds an infinite value; the tag is ignored"),
    ({"BaselineExposure": [0.5, 1]}, ("baseline_exposure", 0.0),
     "BaselineExposure has 2 values, 1 expected; the tag is ignored"),
    ({"ActiveArea": (0, 0, 50, 8)}, ("active_area", (0, 0, 6, 8)),
     "ActiveArea (0, 0, 50, 8) is empty or reaches outside the 8 x 6 image; the tag is ignored"),
    ({"ActiveArea": (4, 0, 2, 8)}, ("active_area", (0, 0, 6, 8)),
     "ActiveArea (4, 0, 2, 8) is empty or reaches outside the 8 x 6 image; the tag is ignored"),
    ({"ActiveArea": (0, 0, 6)}, ("active_area", (0, 0, 6, 8)),
     "ActiveArea must be 4 whole numbers, found 3 values; the tag is ignored"),
    ({"DefaultCropOrigin": (8, 0)}, ("default_crop_origin", (0.0, 0.0)),
     "DefaultCropOrigin (8, 0) is not a point of the 8 x 6 active area; the tag is ignored"),
    ({"ActiveArea": (0, 2, 6, 8), "DefaultCropSize": (7, 6)}, ("default_crop_size", None),
     "DefaultCropSize 7 x 6 at (0, 0) reaches outside the 6 x 6 active area; the tag is ignored"),
    ({"DefaultCropSize": (0, 6)}, ("default_crop_size", None),
     "DefaultCropSize (0, 6) is not a width and height; the tag is ignored"),
    ({"LinearizationTable": Field("LONG", [0, 70000])}, ("linearization_table", None),
     "LinearizationTable holds values outside 0 to 65535; the tag is ignored"),
    ({"LinearizationTable": Field("SHORT", [])}, ("linearization_table", None),
     "LinearizationTable has 0 entries, 1 to 65536 expected; the tag is ignored"),
    ({"BlackLevel": [1, 2, 3]}, ("black_level_repeat", (1, 1)),
     "BlackLevel has 3 values, BlackLevelRepeatDim 1 x 1 with 1 samples needs 1; the tag is ignored"),
    ({"BlackLevel": Field("SRATIONAL", [(-5, 1)])}, ("black_level_repeat", (1, 1)),
     "BlackLevel is negative; the tag is ignored"),
    ({"BlackLevel": 4095}, ("black_level_repeat", (1, 1)),
     "BlackLevel reaches 4095, at or above the WhiteLevel 4095; the tag is ignored"),
    ({"BlackLevel": 300, "WhiteLevel": 200}, ("white_level", (200.0,)),
     "BlackLevel reaches 300, at or above the WhiteLevel 200; the tag is ignored"),
    ({"BlackLevelDeltaH": [1, 2, 3]}, ("black_level_delta_h", None),
     "BlackLevelDeltaH has 3 values, one per active-area column (8) expected; the tag is ignored"),
    ({"BlackLevelDeltaV": Field("FLOAT", [0, 0, 0, math.nan, 0, 0])}, ("black_level_delta_v", None),
     "BlackLevelDeltaV holds NaN; the tag is ignored"),
    ({"WhiteLevel": 0}, ("white_level", (4095.0,)), "WhiteLevel is not above 0; the tag is ignored"),
    ({"WhiteLevel": [4000, 4000]}, ("white_level", (4095.0,)),
     "WhiteLevel has 2 values, 1 (one per sample) expected; the tag is ignored"),
    ({"AnalogBalance": [1, 1]}, ("analog_balance", None),
     "AnalogBalance has 2 values, one per colour plane (3) expected; the tag is ignored"),
    ({"AsShotNeutral": [0.5, 0, 0.7]}, ("as_shot_neutral", None),
     "AsShotNeutral holds a value not above 0; the tag is ignored"),
    ({"AsShotWhiteXY": [0.7, 0.5]}, ("as_shot_white_xy", None),
     "AsShotWhiteXY (0.7, 0.5) is not the chromaticity (x, y) of a colour; the tag is ignored"),
    ({"Orientation": 9}, ("orientation", 1), "Orientation is 9, not 1 to 8; the tag is ignored"),
    ({"CFAPlaneColor": b"\x00\x01\x01"}, ("cfa_plane_color", (0, 1, 2)),
     "CFAPlaneColor is 0, 1, 1; distinct colour codes 0 to 6 expected; the tag is ignored"),
    ({"Make": Field("LONG", [7])}, ("make", ""), "Make is of field type LONG, where text was expected; the tag is "
                                                 "ignored"),
]


@pytest.mark.parametrize("tags, kept, text", IGNORED)
def test_impossible_tags_are_ignored_with_a_warning(tmp_path, tags, kept, text):
    path = tmp_path / "t.dng"
    write_dng(path, IMAGE, bits=12, **tags)
    with pytest.warns(DngTagWarning) as caught:
        record = read_dng(path)
    assert record.warnings == (text,)
    assert [str(w.message) for w in caught] == [f"{path}: {text}"]
    assert caught[0].filename == __file__  # the warning points at the caller, not the reader's insides
    assert getattr(record, kept[0]) == kept[1]


def test_black_level_without_a_usable_repeat_is_ignored_with_it(tmp_path):
    path = tmp_path / "t.dng"
    write_dng(path, IMAGE, bits=12, BlackLevelRepeatDim=(0, 2), BlackLevel=[1, 2])
    with pytest.warns(DngTagWarning):
        record = read_dng(path)
    assert record.warnings == ("BlackLevelRepeatDim must be 2 whole numbers of at least 1, found 0, 2; the tag is "
                               "ignored", "BlackLevel cannot be laid out without its BlackLevelRepeatDim; the tag is "
                               "ignored")
    assert record.black_level_repeat == (1, 1) and not record.black_level.any()


REFUSED = [
    # (array, writer options and tags, reason)
    (IMAGE, {"CFALayout": 2}, "CFALayout: is 2; only the rectangular layout (1) is read"),
    (IMAGE, {"CFAPattern": None}, "CFAPattern: is missing; a CFA image needs it"),
    (IMAGE, {"CFARepeatPatternDim": None}, "CFARepeatPatternDim: is missing; a CFA image needs it"),
    (IMAGE, {"CFARepeatPatternDim": (0, 2)}, "CFARepeatPatternDim: must be 2 whole numbers of at least 1, found 0, 2"),
    (IMAGE, {"CFAPattern": b"\x00\x01\x02"}, "CFAPattern: has 3 values, CFARepeatPatternDim 2 x 2 needs 4"),
    (IMAGE, {"CFAPattern": b"\x00\x01\x03\x02"},
     "CFAPattern: holds a value outside 0 to 2, the indices of the 3 CFAPlaneColor planes"),
    (IMAGE, {"Compression": 5},
     "SubIFD 0 Compression: is 5, not one this reader decodes (1 none, 7 lossless JPEG, 8 deflate, 34892 lossy JPEG)"),
    (IMAGE, {"BitsPerSample": 7}, "SubIFD 0 BitsPerSample: is 7; integer samples of 8 to 16 bits are read"),
    (IMAGE, {"BitsPerSample": 32}, "SubIFD 0 BitsPerSample: is 32; integer samples of 8 to 16 bits are read"),
    (LIN12, {"BitsPerSample": (12, 16, 12)},
     "SubIFD 0 BitsPerSample: is 12, 16, 12: one value for all 3 samples expected"),
    (IMAGE, {"SampleFormat": 2},
     "SubIFD 0 SampleFormat: is 2; unsigned integer (1) or floating point (3) samples expected"),
    (floats((6, 8)), {"BitsPerSample": 8}, "SubIFD 0 BitsPerSample: is 8; floating-point samples have 16, 24 or 32 bits"),
    (floats((6, 8)), {"Compression": 7},
     "SubIFD 0 Compression: is 7 (lossless JPEG), which holds no floating-point samples"),
    (IMAGE, {"Compression": 34892}, "SubIFD 0 Compression: is 34892 (lossy JPEG) with 16-bit samples; it holds 8-bit "
                                    "integers"),
    (ints(12, (6, 8)), {"bits": 12, "compression": "deflate", "Predictor": 2},
     "SubIFD 0 Predictor: is 2, a predictor for 8- or 16-bit integers, with 12-bit integer samples"),
    (IMAGE, {"compression": "deflate", "Predictor": 3},
     "SubIFD 0 Predictor: is 3, a floating-point predictor, with integer samples"),
    (IMAGE, {"compression": "deflate", "Predictor": 5},
     "SubIFD 0 Predictor: is 5, not one this reader knows (1, 2, 3, 34892 to 34895)"),
    (IMAGE, {"Predictor": 2}, "SubIFD 0 Predictor: is 2 on uncompressed data; predictors go with deflate (8)"),
    (LIN12, {"PlanarConfiguration": 3}, "SubIFD 0 PlanarConfiguration: is 3, not 1 (chunky) or 2 (planar)"),
    (IMAGE, {"SamplesPerPixel": 3}, "SubIFD 0 SamplesPerPixel: is 3; a CFA image has 1 sample per pixel"),
    (ints(12, (6, 8, 5)), {}, "SubIFD 0 SamplesPerPixel: is 5, not 1 to 4"),
    (IMAGE, {"PhotometricInterpretation": 2},
     "SubIFD 0 PhotometricInterpretation: is 2; the main image must be CFA (32803) or LinearRaw (34892)"),
    (IMAGE, {"NewSubFileType": 1}, "no main image: neither IFD0 nor its SubIFDs has NewSubFileType 0"),
    (IMAGE, {"StripByteCounts": (96, 96)}, "SubIFD 0 StripOffsets: has 1 values and StripByteCounts 2; the image "
                                          "has 1 strips"),
    (IMAGE, {"tile": (4, 4), "TileWidth": 8}, "SubIFD 0 TileOffsets: has 4 values and TileByteCounts 4; the image has "
                                              "2 tiles"),
    (IMAGE, {"TileLength": 0, "TileWidth": 4}, "SubIFD 0: tiles of 4 x 0 pixels"),
    (IMAGE, {"StripByteCounts": 0}, "SubIFD 0 strip 0 of 1 has no bytes"),
    (IMAGE, {"StripByteCounts": 50}, "SubIFD 0 strip 0 of 1 holds 50 bytes, its 6 rows of 16 bytes need 96"),
    (ints(12, (6, 8)), {"bits": 12, "rows_per_strip": 4, "StripByteCounts": (48, 11)},
     "SubIFD 0 strip 1 of 2 holds 11 bytes, its 2 rows of 12 bytes need 24"),
    (ints(12, (64, 64)), {"bits": 12, "compression": "ljpeg", "tile": (32, 32), "TileByteCounts": (200, 200, 200, 20)},
     "SubIFD 0 tile 3 of 4 holds 20 bytes, too few for its 1024 samples (lossless JPEG cannot compress that far)"),
    (ints(16, (128, 128)), {"compression": "deflate", "tile": (64, 64), "TileByteCounts": (7, 7, 7, 7)},
     "SubIFD 0 tile 0 of 4 holds 7 bytes, too few for its 4096 samples (deflate cannot compress that far)"),
    (IMAGE, {"OpcodeList2": b"\x00\x00\x00\x01"}, "OpcodeList2: says 1 opcodes, but its 4 bytes hold at most 0"),
    (IMAGE, {"ProfileGainTableMap": b"\x00" * 10}, "ProfileGainTableMap: 10 bytes, fewer than its 64-byte header"),
    (IMAGE, {"ColorMatrix1": np.eye(3), "ProfileHueSatMapDims": (1, 1, 1), "ProfileHueSatMapData1": [0.0, 1.0]},
     "ProfileHueSatMapData1: has 2 values, ProfileHueSatMapDims 1 x 1 x 1 needs 3 (3 per point)"),
]


@pytest.mark.parametrize("array, options, reason", REFUSED)
def test_files_that_cannot_be_developed_are_refused(tmp_path, array, options, reason):
    path = tmp_path / "t.dng"
    write_dng(path, array, **options)
    with pytest.raises(RawFileError) as e:
        read_dng(path)
    assert (e.value.name, e.value.reason, e.value.not_raw) == (str(path), reason, False)


def test_corrupt_compressed_data_is_refused_naming_the_compression(tmp_path):
    path = tmp_path / "t.dng"
    write_dng(path, ints(16, (32, 32)), compression="deflate", tile=(16, 16))
    data = bytearray(path.read_bytes())
    with tifffile.TiffFile(path) as tif:
        offset = tif.pages[0].pages[0].dataoffsets[0]
    data[offset:offset + 8] = b"\xff" * 8
    path.write_bytes(bytes(data))
    with pytest.raises(RawFileError, match=r"the pixel data \(deflate\) cannot be decoded: "):
        read_dng(path)


def entry_offset(data, code):
    """Where a tag's entry lies, in IFD0 or the first SubIFD of a little-endian file."""
    ifd0 = struct.unpack_from("<I", data, 4)[0]
    ifds = [ifd0]
    for i in range(struct.unpack_from("<H", data, ifd0)[0]):
        at = ifd0 + 2 + 12 * i
        if struct.unpack_from("<H", data, at)[0] == 330:
            ifds.append(struct.unpack_from("<I", data, at + 8)[0])
    for ifd in ifds:
        for i in range(struct.unpack_from("<H", data, ifd)[0]):
            at = ifd + 2 + 12 * i
            if struct.unpack_from("<H", data, at)[0] == code:
                return at
    raise KeyError(code)


@pytest.mark.parametrize("code, tag, count, field_size", [(51009, "OpcodeList2", 5000, 1),
                                                           (52525, "ProfileGainTableMap", 99999, 1),
                                                           (50714, "BlackLevel", 100000, 8)])
def test_tag_whose_value_lies_past_the_end_of_the_file(tmp_path, code, tag, count, field_size):
    path = tmp_path / "t.dng"
    write_dng(path, IMAGE, OpcodeList2=[POLY], ProfileGainTableMap=PGTM, BlackLevel=Field("RATIONAL", [1, 2]),
              BlackLevelRepeatDim=(1, 2))
    data = bytearray(path.read_bytes())
    at = entry_offset(data, code)
    struct.pack_into("<I", data, at + 4, count)
    offset = struct.unpack_from("<I", data, at + 8)[0]
    path.write_bytes(bytes(data))
    text = f"{tag} its {count * field_size} bytes at offset {offset} run past the end of the file ({len(data)} bytes)"
    if tag == "BlackLevel":  # a level has a default: ignored, not refused
        with pytest.warns(DngTagWarning):
            assert read_dng(path).warnings == (text + "; the tag is ignored",)
    else:
        with pytest.raises(RawFileError) as e:
            read_dng(path)
        assert e.value.reason == text.replace(f"{tag} ", f"{tag}: ", 1)


def test_cut_off_pixels_are_refused_but_the_metadata_reads(tmp_path):
    path = tmp_path / "t.dng"
    # The strip claims a million bytes more than the file holds.
    write_dng(path, CFA16, preview=False, ActiveArea=(1, 1, 30, 40), StripByteCounts=37 * 100 + 10**6)
    with tifffile.TiffFile(path) as tif:
        end = tif.pages[0].dataoffsets[0] + 37 * 100 + 10**6
    with pytest.raises(RawFileError) as e:
        read_dng(path)
    assert e.value.reason == (f"the pixel data is cut off: IFD0 strip 0 of 1 ends at byte {end}, the file has "
                              f"{path.stat().st_size} bytes")
    record = read_dng(path, pixels=False)
    assert record.stored.shape == (0, 0) and record.stored.dtype == np.uint16
    assert (record.stored_shape, record.active_area) == ((37, 50), (1, 1, 30, 40))


def test_pixel_data_that_ends_the_file_is_read(tmp_path):
    path = tmp_path / "t.dng"
    write_dng(path, CFA16, preview=False)
    data = bytearray(path.read_bytes())
    with tifffile.TiffFile(path) as tif:
        offset, count = tif.pages[0].dataoffsets[0], tif.pages[0].databytecounts[0]
    # Move the strip behind everything else: its last byte is the file's last.
    struct.pack_into("<I", data, entry_offset(data, 273) + 8, len(data))
    path.write_bytes(bytes(data) + bytes(data[offset:offset + count]))
    assert np.array_equal(read_dng(path).stored, CFA16)


def not_raw_files(tmp_path):
    jpeg = tmp_path / "photo.dng"
    import imagecodecs
    jpeg.write_bytes(bytes(imagecodecs.jpeg8_encode(np.zeros((8, 8, 3), np.uint8))))
    text = tmp_path / "notes.dng"
    text.write_text("not a raw file\n")
    empty = tmp_path / "empty.dng"
    empty.write_bytes(b"")
    tiff = tmp_path / "plain.tif"
    tifffile.imwrite(tiff, np.zeros((4, 4), np.uint16))
    return {
        jpeg: "not a TIFF-based file: it starts with b'\\xff\\xd8\\xff\\xe0', where a DNG or DCP file starts with "
              "II or MM",
        text: "not a TIFF-based file: it starts with b'not ', where a DNG or DCP file starts with II or MM",
        empty: "not a TIFF-based file: it starts with b'', where a DNG or DCP file starts with II or MM",
        tiff: "not a DNG file: IFD0 has no DNGVersion tag",
    }


def test_files_that_are_no_dng_are_refused_as_such(tmp_path):
    for path, reason in not_raw_files(tmp_path).items():
        with pytest.raises(RawFileError) as e:
            read_dng(path)
        assert (e.value.name, e.value.reason, e.value.not_raw) == (str(path), reason, True)


@pytest.mark.parametrize("make, reason", [(lambda p: p / "missing.dng", "no such file"),
                                          (lambda p: p, "is a directory, not a DNG file")])
def test_missing_paths_are_refused(tmp_path, make, reason):
    with pytest.raises(RawFileError) as e:
        read_dng(make(tmp_path))
    assert (e.value.reason, e.value.not_raw) == (reason, False)


# ---------------------------------------------------------------- ProfileGainTableMap bytes

def pgtm_bytes(points_v=2, points_h=3, n=4, spacing=(0.5, 0.25), origin=(0.25, 0.125),
               weights=(0.25, 0.5, 0.125, 0.0, 0.125), gains=None, tail=b""):
    values = (np.arange(points_v * points_h * n) / 8 if gains is None else np.asarray(gains)).astype(">f4")
    return (struct.pack(">2I4dI5f", points_v, points_h, *spacing, *origin, n, *weights) + values.tobytes() + tail)


def test_gain_table_map_is_read_from_its_layout():
    m = parse_gain_table_map(pgtm_bytes(), "f.dng")
    assert (m.points_v, m.points_h, m.spacing_v, m.spacing_h, m.origin_v, m.origin_h, m.num_table_points) == \
        (2, 3, 0.5, 0.25, 0.25, 0.125, 4)
    assert (m.weights, m.gamma) == ((0.25, 0.5, 0.125, 0.0, 0.125), 1.0)
    assert m.gains.dtype == np.float32 and m.gains.shape == (2, 3, 4)
    assert m.gains[1, 2, 3] == 23 / 8 and m.gains[0, 1, 0] == 4 / 8  # table point fastest, then column, then row
    assert parse_gain_table_map(pgtm_bytes(tail=struct.pack(">f", 2.2)), "f.dng").gamma == np.float32(2.2)


@pytest.mark.parametrize("gamma", [None, 0.5])
def test_gain_table_map_encoder_is_the_inverse(gamma):
    m = PGTM if gamma is None else ProfileGainTableMap(**{**PGTM.__dict__, "gamma": gamma})
    data = encode_gain_table_map(m)
    assert data == pgtm_bytes(tail=b"" if gamma is None else struct.pack(">f", gamma))
    back = parse_gain_table_map(data, "f.dng")
    assert back.gamma == m.gamma and np.array_equal(back.gains, m.gains)


GAIN_TABLE_REFUSALS = [
    (pgtm_bytes()[:63], "63 bytes, fewer than its 64-byte header"),
    (pgtm_bytes(points_v=0, gains=[]), "map of 0 x 3 points with 4 table points is empty"),
    (pgtm_bytes(n=0, gains=[]), "map of 2 x 3 points with 0 table points is empty"),
    (pgtm_bytes()[:-4], "2 x 3 points of 4 gains need 160 bytes (164 with a gamma), the tag has 156 (read big-endian)"),
    (pgtm_bytes(tail=bytes(8)), "2 x 3 points of 4 gains need 160 bytes (164 with a gamma), the tag has 168 "
                                "(read big-endian)"),
    (pgtm_bytes(points_v=2**32 - 1, points_h=2**32 - 1, n=2**32 - 1, gains=[1.0]),
     "4294967295 x 4294967295 x 4294967295 points of 4294967295 gains need"),
    (pgtm_bytes(spacing=(math.nan, 0.25)), "MapSpacingV is not finite"),
    (pgtm_bytes(origin=(0.25, math.inf)), "MapOriginH is not finite"),
    (pgtm_bytes(weights=(0.25, math.nan, 0.125, 0.0, 0.125)), "MapInputWeights is not finite"),
    (pgtm_bytes(spacing=(0.5, 0.0)), "map spacing (0.5, 0.0) is not positive"),
    (pgtm_bytes(gains=[1.0] * 23 + [math.inf]), "the gains hold NaN or infinite values"),
    (pgtm_bytes(tail=struct.pack(">f", -1.0)), "the gamma -1.0 is not a positive number"),
]


@pytest.mark.parametrize("data, problem", GAIN_TABLE_REFUSALS)
def test_impossible_gain_table_maps_are_refused(data, problem):
    with pytest.raises(RawFileError) as e:
        parse_gain_table_map(data, "f.dng")
    if problem.endswith("gains need"):
        problem = ("4294967295 x 4294967295 points of 4294967295 gains need 316912649835696421541200789564 bytes "
                   "(316912649835696421541200789568 with a gamma), the tag has 68 (read big-endian)")
    assert (e.value.name, e.value.reason) == ("f.dng", "ProfileGainTableMap: " + problem)


def test_little_endian_gain_table_map_is_refused_not_misread():
    data = pgtm_bytes()
    swapped = (struct.pack("<2I4dI5f", *struct.unpack(">2I4dI5f", data[:64]))
               + np.frombuffer(data[64:], ">f4").astype("<f4").tobytes())
    with pytest.raises(RawFileError, match=r"points of \d+ gains need .* \(read big-endian\)"):
        parse_gain_table_map(swapped, "f.dng")


# ---------------------------------------------------------------- real captures

def shared(name):
    path = SHARED_RAW / name
    if not path.exists():
        pytest.skip(f"{path} is absent (the shared test captures are not part of a clone)")
    return path


def test_colorchart_reads_with_its_nan_baseline_exposure_ignored():
    path = shared("colorchart.dng")
    with pytest.warns(DngTagWarning) as caught:
        r = read_dng(path)
    text = "BaselineExposure holds 0/0, which is not a number; the tag is ignored"
    assert r.warnings == (text,) and [str(w.message) for w in caught] == [f"{path}: {text}"]
    assert (r.stored.shape, r.stored.dtype, r.bits_per_sample, r.photometric) == ((1182, 1888), np.uint16, 14, 32803)
    assert (r.active_area, r.default_crop_origin, r.default_crop_size) == ((26, 152, 1182, 1886), (0, 0), (1734, 1156))
    assert (r.cfa_repeat, r.cfa_pattern, r.cfa_plane_color) == ((2, 2), (0, 1, 1, 2), (0, 1, 2))
    assert r.black_level.ravel().tolist() == [2056.0] and r.white_level == (15000.0,)
    assert (r.baseline_exposure, r.orientation, r.make, r.model) == (0.0, 1, "Canon", "Canon EOS Kiss X4")
    assert np.array_equal(r.as_shot_neutral, [1.0, 2.477, 1.462]) and np.array_equal(r.analog_balance, [1, 1, 1])
    assert r.profile.color_matrix1.shape == (3, 3) and r.profile.color_matrix2 is None
    assert r.opcode_lists == {} and r.profile_gain_table_map is None and r.linearization_table is None
    # 14-bit samples: nothing at or above 2^14.
    assert r.stored.max() < 2**14 and r.stored[26:, 152:1886].min() > 0


def test_colorchart_active_area_is_what_rawpy_sees():
    rawpy = pytest.importorskip("rawpy")
    path = shared("colorchart.dng")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DngTagWarning)
        r = read_dng(path)
    top, left, bottom, right = r.active_area
    with rawpy.imread(str(path)) as raw:
        assert np.array_equal(r.stored[top:bottom, left:right], raw.raw_image_visible)


def test_iphone_proraw_metadata_reads_whole_without_its_pixels():
    path = shared("iphone12pro_proraw_metadata.dng")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        r = read_dng(path, pixels=False)
    assert r.warnings == ()
    assert (r.photometric, r.is_cfa, r.bits_per_sample, r.stored_shape) == (34892, False, 12, (3024, 4032, 3))
    assert r.stored.shape == (0, 0, 3) and r.stored.dtype == np.uint16 and r.samples_per_pixel == 3
    assert (r.make, r.model, r.unique_camera_model, r.orientation) == ("Apple", "iPhone 12 Pro",
                                                                       "iPhone13,3 back camera", 6)
    assert r.active_area == (0, 0, 3024, 4032) and r.default_crop_size is None
    table = r.linearization_table
    assert table.shape == (4096,) and table[:3].tolist() == [0, 40, 80] and table[-1] == 65535
    assert np.all(np.diff(table.astype(int)) >= 0)
    assert r.black_level.shape == (1, 1, 3) and not r.black_level.any() and r.white_level == (65535.0,) * 3
    assert r.baseline_exposure == pytest.approx(-0.302, abs=5e-4)
    assert r.opcode_lists == {}
    p = r.profile
    assert (p.name, p.illuminant1, p.illuminant2, p.default_black_render) == ("Apple Embedded Color Profile", 17, 21, 1)
    assert p.color_matrix1.shape == p.color_matrix2.shape == (3, 3)
    assert p.forward_matrix1 is None and p.forward_matrix2 is None and p.hue_sat_map1 is None
    assert p.tone_curve.shape == (257, 2) and tuple(p.tone_curve[0]) == (0, 0) and tuple(p.tone_curve[-1]) == (1, 1)
    m = r.profile_gain_table_map
    assert (m.points_v, m.points_h, m.num_table_points, m.gains.shape, m.gamma) == (6, 8, 257, (6, 8, 257), 1.0)
    # The grid sits symmetrically in the image: its last point is as far from
    # the far edge as its first is from the near one. Spacing and origin read
    # from the wrong places, or in the wrong byte order, would not do that.
    assert m.origin_v + 5 * m.spacing_v == pytest.approx(1 - m.origin_v, abs=1e-6)
    assert m.origin_h + 7 * m.spacing_h == pytest.approx(1 - m.origin_h, abs=1e-6)
    assert np.all(m.gains > 0) and sum(m.weights) == pytest.approx(0.2463, abs=1e-3)


def test_iphone_proraw_pixels_are_refused_as_cut_off():
    path = shared("iphone12pro_proraw_metadata.dng")
    with pytest.raises(RawFileError) as e:
        read_dng(path)
    assert (e.value.name, e.value.not_raw) == (str(path), False)
    assert e.value.reason == ("the pixel data is cut off: SubIFD 0 tile 0 of 64 ends at byte 5909987, "
                              "the file has 64104 bytes")
