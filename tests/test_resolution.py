"""Resolution of pointwise and hue/sat map nodes: the statuses a node gets
before any pixel work, observed through execute_graph."""
import numpy as np
import pytest

import _pyxa
from test_pointwise import TYPES, one_node_graph, tensor

INVALID = r"execute_graph failed: INVALID_ARGUMENT \(1\)"
UNSUPPORTED = r"execute_graph failed: UNSUPPORTED_DTYPE \(2\)"
UNKNOWN = r"execute_graph failed: UNKNOWN_OP \(10\)"

CONVERT = {"dest_dtype": "uint8", "src_bits": 0, "dst_bits": 0, "clip_max": -1.0}
TRANSFORM = {"dest_dtype": "float32", "src_bits": 0, "dst_bits": 0, "hue_preserving": 0,
             "matrix": [1.0, 0, 0, 0, 1.0, 0, 0, 0, 1.0]}
IDENTITY_MAP = [0.0, 1.0, 1.0] * 6  # H 3 x S 2 (x V 1)


def array(desc):
    shape = (desc["height"], desc["width"]) + ((desc["channels"],) if desc["channels"] > 1 else ())
    return np.zeros(shape, TYPES[desc["dtype"]])


def execute(op, attrs, in_desc, out_desc):
    graph = one_node_graph(op, attrs, in_desc, out_desc)
    inputs = {} if in_desc is None else {0: array(in_desc)}
    _pyxa.execute_graph(graph, inputs, {1: array(out_desc)})


def t(c, dtype="float32", h=2, w=3, tid=0):
    return tensor(tid, h, w, c, dtype)


def o(c, dtype="float32", h=2, w=3):
    return tensor(1, h, w, c, dtype)


def hsv(with_value=False, **over):
    attrs = {"hue_divs": 3, "sat_divs": 2, "map_data": IDENTITY_MAP * (2 if with_value else 1)}
    if with_value:
        attrs["val_divs"] = 2
    attrs.update(over)
    return attrs


ALL_OPS = [
    ("sub_scalar", {"value": 1.0}, 1), ("mul_scalar", {"value": 1.0}, 2),
    ("matrix_3x3", {"matrix": [0.0] * 9}, 3), ("convert_dtype", CONVERT, 4),
    ("lut", {"lut": [0.0, 1.0]}, 1),
    ("mono_lut", {"dest_dtype": "float32", "src_bits": 0, "dst_bits": 0, "lut": [0.0, 1.0]}, 1),
    ("transform_color", TRANSFORM, 3), ("clip_and_transform_color", {"clip_max": [1.0] * 3, "matrix": [0.0] * 9}, 3),
    ("apply_hue_sat_map", hsv(), 3), ("apply_hue_sat_val_map", hsv(True), 3),
]


@pytest.mark.parametrize("op,attrs,channels", ALL_OPS, ids=[a[0] for a in ALL_OPS])
def test_every_pointwise_op_needs_an_input(op, attrs, channels):
    with pytest.raises(RuntimeError, match=INVALID):
        execute(op, attrs, None, o(channels))


@pytest.mark.parametrize("op,attrs,channels", ALL_OPS, ids=[a[0] for a in ALL_OPS])
@pytest.mark.parametrize("change", ["more", "fewer", "width", "height"])
def test_output_shape_must_match_what_the_routine_writes(op, attrs, channels, change):
    # Fewer output channels is the case where each output row would be overrun.
    out_dtype = "uint8" if op == "convert_dtype" else "float32"
    fewer = channels - 1 if channels > 1 else channels + 2
    out = {"more": o(channels + 1, out_dtype), "fewer": o(fewer, out_dtype), "width": o(channels, out_dtype, w=4),
           "height": o(channels, out_dtype, h=1)}[change]
    with pytest.raises(RuntimeError, match=INVALID):
        execute(op, attrs, t(channels), out)


@pytest.mark.parametrize("op", ["LUT", "lut ", " lut", "Mul_scalar", "no_such_op"])
def test_names_match_whole_and_case_sensitive(op):
    with pytest.raises(RuntimeError, match=UNKNOWN):
        execute(op, {"lut": [0.0, 1.0]}, t(1), o(1))


@pytest.mark.parametrize("op,attrs,in_desc,out_desc,status", [
    # scalar and matrix ops exist for float32 only, the matrix for three channels
    ("sub_scalar", {"value": 1.0}, t(1, "uint8"), o(1, "uint8"), UNSUPPORTED),
    ("mul_scalar", {"value": 1.0}, t(1), o(1, "uint16"), UNSUPPORTED),
    ("mul_scalar", {"value": 1}, t(1), o(1), INVALID),
    ("matrix_3x3", {"matrix": [0.0] * 9}, t(3, "uint16"), o(3, "uint16"), UNSUPPORTED),
    ("matrix_3x3", {"matrix": [0.0] * 9}, t(1), o(1), INVALID),
    ("matrix_3x3", {"matrix": [0.0] * 8}, t(3), o(3), INVALID),
    # convert_dtype
    ("convert_dtype", dict(CONVERT, dest_dtype="float16"), t(1), o(1, "uint8"), UNSUPPORTED),
    ("convert_dtype", dict(CONVERT, dest_dtype=1), t(1), o(1, "uint8"), INVALID),
    ("convert_dtype", {k: v for k, v in CONVERT.items() if k != "clip_max"}, t(1), o(1, "uint8"), INVALID),
    ("convert_dtype", dict(CONVERT, src_bits=2.0), t(1), o(1, "uint8"), INVALID),
    ("convert_dtype", dict(CONVERT, src_bits=32), t(1, "uint16"), o(1, "uint8"), INVALID),
    ("convert_dtype", dict(CONVERT, dst_bits=40), t(1, "uint16"), o(1, "uint8"), INVALID),
    # lut / mono_lut
    ("lut", {"lut": [0.0, 1.0]}, t(3, "uint16"), o(3, "uint16"), UNSUPPORTED),
    ("lut", {"lut": [0.0, 1.0]}, t(2), o(2), INVALID),
    ("lut", {"lut": [0.5]}, t(1), o(1), INVALID),
    ("lut", {"lut": np.array([0.0, 1.0])}, t(1), o(1), INVALID),  # float64 array
    ("mono_lut", {"dest_dtype": "float32", "src_bits": 33, "dst_bits": 0, "lut": [0.0, 1.0]}, t(1, "uint16"),
     o(1), INVALID),
    ("mono_lut", {"dest_dtype": "float32", "src_bits": 0, "lut": [0.0, 1.0]}, t(1), o(1), INVALID),
    # transform_color
    ("transform_color", TRANSFORM, t(1), o(1), INVALID),
    ("transform_color", {k: v for k, v in TRANSFORM.items() if k != "matrix"}, t(3), o(3), INVALID),
    ("transform_color", dict(TRANSFORM, matrix=[0.0] * 8), t(3), o(3), INVALID),
    ("transform_color", dict(TRANSFORM, input_lut=[0.3]), t(3), o(3), INVALID),
    ("transform_color", dict(TRANSFORM, hue_preserving=1, input_lut=[0.0, 1.0]), t(3, "uint16"), o(3), UNSUPPORTED),
    ("transform_color", dict(TRANSFORM, hue_preserving=1), t(3), o(3), UNSUPPORTED),  # no input table
    ("transform_color", {k: v for k, v in dict(TRANSFORM, hue_preserving=1, input_lut=[0.0, 1.0]).items()
                         if k != "matrix"}, t(3), o(3, "uint8"), UNSUPPORTED),
    ("transform_color", dict(TRANSFORM, dest_dtype="float16"), t(3), o(3), UNSUPPORTED),
    ("transform_color", dict(TRANSFORM, dst_bits=32), t(3), o(3, "uint16"), INVALID),
    # clip_and_transform_color
    ("clip_and_transform_color", {"clip_max": [1.0] * 3, "matrix": [0.0] * 9}, t(3, "uint16"), o(3), INVALID),
    ("clip_and_transform_color", {"clip_max": [1.0] * 3, "matrix": [0.0] * 9}, t(3), o(3, "uint8"), INVALID),
    ("clip_and_transform_color", {"clip_max": [1.0] * 2, "matrix": [0.0] * 9}, t(3), o(3), INVALID),
])
def test_pointwise_refusals(op, attrs, in_desc, out_desc, status):
    with pytest.raises(RuntimeError, match=status):
        execute(op, attrs, in_desc, out_desc)


@pytest.mark.parametrize("with_value,attrs,in_desc", [
    (False, hsv(map_data=IDENTITY_MAP + [0.0]), t(3)),
    (False, hsv(map_data=IDENTITY_MAP[:-1]), t(3)),
    (False, hsv(sat_divs=1, map_data=[0.0, 1.0, 1.0] * 3), t(3)),
    (False, hsv(hue_divs=0), t(3)),
    (True, hsv(True, val_divs=1), t(3)),
    (False, hsv(engine_opts='{"prism_lut": false}'), t(3)),
    (True, hsv(True, engine_opts='{"chroma_lut": false}'), t(3)),
    (False, hsv(engine_opts='{"chroma_lut": 1}'), t(3)),
    (False, hsv(engine_opts="chroma_lut"), t(3)),
    (False, hsv(engine_opts="[false]"), t(3)),
    (False, hsv(), t(3, "uint16")),
    (False, hsv(), t(1)),
    (True, hsv(True), t(4)),
    # 715827883 * 3 * 2 wraps to 2 in 32 bits: the product must be refused, not used.
    (False, hsv(hue_divs=715827883, map_data=[0.0, 1.0]), t(3)),
    (True, hsv(True, hue_divs=1 << 16, sat_divs=1 << 8, val_divs=1 << 8, map_data=[0.0] * 3), t(3)),
])
def test_hue_sat_map_refusals(with_value, attrs, in_desc):
    op = "apply_hue_sat_val_map" if with_value else "apply_hue_sat_map"
    with pytest.raises(RuntimeError, match=INVALID):
        execute(op, attrs, in_desc, o(3))


@pytest.mark.parametrize("op,attrs", [
    ("convert_dtype", dict(CONVERT, dest_dtype="float32")),
    ("mono_lut", {"dest_dtype": "float32", "src_bits": 0, "dst_bits": 0, "lut": [0.0, 1.0]}),
    ("lut", {"lut": [0.0, 1.0]}),
])
def test_float16_has_no_routine(op, attrs):
    """float16 can only describe an intermediate tensor: 0 -> op -> 2 (float16) -> op -> 1."""
    graph = {"tensor_descs": [t(1), tensor(2, 2, 3, 1, "float16"), o(1)], "inputs": [0], "outputs": [1],
             "nodes": [{"id": 1, "op": op, "inputs": [0], "outputs": [2], "attrs": attrs},
                       {"id": 2, "op": op, "inputs": [2], "outputs": [1], "attrs": attrs}]}
    with pytest.raises(RuntimeError, match=UNSUPPORTED):
        _pyxa.execute_graph(graph, {0: array(t(1))}, {1: array(o(1))})


def test_hue_sat_map_output_must_be_float32():
    with pytest.raises(RuntimeError, match=INVALID):
        execute("apply_hue_sat_map", hsv(), t(3), o(3, "uint16"))


@pytest.mark.parametrize("op,attrs,in_desc,out_desc", [
    ("convert_dtype", dict(CONVERT, src_bits=31, dst_bits=1), t(1, "uint16"), o(1, "uint8")),
    ("mono_lut", {"dest_dtype": "uint16", "src_bits": 31, "dst_bits": 31, "lut": [0.0, 1.0]}, t(1, "uint16"),
     o(1, "uint16")),
    ("apply_hue_sat_map", hsv(engine_opts='{"chroma_lut": false}'), t(3), o(3)),
    ("apply_hue_sat_val_map", hsv(True, engine_opts="{}"), t(3), o(3)),
    ("transform_color", dict(TRANSFORM, input_lut=[0.0, 1.0], output_lut=[0.0, 1.0]), t(3), o(3)),
])
def test_accepted_edges_run(op, attrs, in_desc, out_desc):
    execute(op, attrs, in_desc, out_desc)
