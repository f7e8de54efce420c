"""The pyxa graph builder: the dicts it writes, the attribute values it converts,
and running a graph (allocated outputs, out= arrays, profiles, dict round trips)."""

import json

import numpy as np
import pytest

import _pyxa
import pyxa
from conftest import graph, node, tensor_desc

GAMMA = np.linspace(0.0, 1.0, 16) ** 0.5
IDENTITY = np.eye(3)


def development(g, raw):
    lin = g.normalize_raw(raw, black_level=256, white_level=4095)
    rgb = g.bilinear_demosaic(lin, cfa_pattern="RGGB")
    srgb = g.transform_color(g.matrix_3x3(rgb, matrix=IDENTITY), dest_dtype="uint8", output_lut=GAMMA)
    return g.orientation(srgb, orientation=6)


def development_dict(h, w):
    return graph(
        [tensor_desc(0, "uint16", h, w), tensor_desc(1, "float32", h, w), tensor_desc(2, "float32", h, w, 3),
         tensor_desc(3, "float32", h, w, 3), tensor_desc(4, "uint8", h, w, 3), tensor_desc(5, "uint8", w, h, 3)],
        [0], [5],
        [node(1, "normalize_raw", [0], [1], black_repeat_rows=1, black_repeat_cols=1, samples_per_pixel=1,
              black_level=[256.0], white_level=[4095.0]),
         node(2, "bilinear_demosaic", [1], [2], cfa_pattern="RGGB"),
         node(3, "matrix_3x3", [2], [3], matrix=IDENTITY.ravel().tolist()),
         node(4, "transform_color", [3], [4], dest_dtype="uint8", src_bits=0, dst_bits=0, hue_preserving=False,
              output_lut=GAMMA.astype(np.float32).tolist()),
         node(5, "orientation", [4], [5], orientation=6)])


def borders(g, x):
    return g.view(g.pad(x, top=1, left=2, mode="reflect"), top=1, left=1, width=5, height=3)


def borders_dict(h, w):
    return graph(
        [tensor_desc(0, "uint16", h, w), tensor_desc(1, "uint16", h + 1, w + 2), tensor_desc(2, "uint16", 3, 5)],
        [0], [2],
        [node(1, "pad", [0], [1], top=1, bottom=0, left=2, right=0, mode="reflect"),
         node(2, "view", [1], [2], top=1, left=1, width=5, height=3)])


def vignette(g, x):
    return g.fix_vignette(g.normalize_raw(x, black_level=256, white_level=4095), params=[0.0, 0.5])


def vignette_dict(h, w):
    return graph(
        [tensor_desc(0, "uint16", h, w), tensor_desc(1, "float32", h, w), tensor_desc(2, "float32", h, w)],
        [0], [2],
        [node(1, "normalize_raw", [0], [1], black_repeat_rows=1, black_repeat_cols=1, samples_per_pixel=1,
              black_level=[256.0], white_level=[4095.0]),
         node(2, "fix_vignette", [1], [2], params=[0.0, 0.5], center_x=0.5, center_y=0.5)])


GRAPHS = {"development": (development, development_dict), "borders": (borders, borders_dict),
          "opcode": (vignette, vignette_dict)}


def mosaic(h=6, w=8):
    return np.random.default_rng(7).integers(200, 4200, (h, w)).astype(np.uint16)


def built(name, h=6, w=8):
    g = pyxa.Graph()
    GRAPHS[name][0](g, g.input((h, w), np.uint16))
    return g


@pytest.mark.parametrize("name", GRAPHS)
def test_builder_writes_the_hand_written_dict(name):
    assert built(name).to_dict() == GRAPHS[name][1](6, 8)


@pytest.mark.parametrize("name", GRAPHS)
def test_run_gives_the_bytes_of_the_hand_written_graph(name):
    d = GRAPHS[name][1](6, 8)
    out_desc = d["tensor_descs"][d["outputs"][0]]
    shape = (out_desc["height"], out_desc["width"]) + ((3,) if out_desc["channels"] == 3 else ())
    expected = np.zeros(shape, out_desc["dtype"])
    # The engine's own reading of the plain dict, with opcode float64 attributes as NumPy scalars.
    engine = built(name).engine_graph()
    _pyxa.execute_graph(engine, {0: mosaic()}, {d["outputs"][0]: expected})
    got = built(name).run(mosaic())
    assert got.dtype == expected.dtype and got.shape == expected.shape
    assert got.tobytes() == expected.tobytes()


def test_opcode_float64_attributes_reach_the_engine_as_float64():
    attrs = built("opcode").engine_graph()["nodes"][1]["attrs"]
    assert type(attrs["center_x"]) is np.float64 and attrs["params"].dtype == np.float64


@pytest.mark.parametrize("name", GRAPHS)
def test_dict_round_trips_through_json(name):
    d = built(name).to_dict()
    again = pyxa.Graph.from_dict(json.loads(json.dumps(d)))
    assert again.to_dict() == d
    assert again.run(mosaic()).tobytes() == built(name).run(mosaic()).tobytes()


def test_run_writes_into_caller_array_and_a_padded_view():
    g = built("development")
    parent = np.full((8, 10, 3), 9, np.uint8)
    view = parent[:, 2:8]
    result = g.run(mosaic(), out=view)
    assert result is view
    assert np.array_equal(view, built("development").run(mosaic()))
    assert (parent[:, :2] == 9).all() and (parent[:, 8:] == 9).all()


def test_run_with_two_outputs_and_input_from_array():
    g = pyxa.Graph()
    raw = g.input(mosaic())
    lin = g.normalize_raw(raw, black_level=256, white_level=4095)
    rgb = g.bilinear_demosaic(lin, cfa_pattern="RGGB")
    g.output(rgb, lin)
    rgb_out, lin_out = g.run_all(profile=True)
    assert rgb_out.shape == (6, 8, 3) and lin_out.shape == (6, 8)
    assert np.array_equal(rgb_out[0::2, 0::2, 0], lin_out[0::2, 0::2])
    assert [(e["node_id"], e["op"]) for e in g.last_profile] == [(1, "normalize_raw"), (2, "bilinear_demosaic")]


def attr_of(op, **attrs):
    """The engine value of the node's attributes after conversion."""
    g = pyxa.Graph()
    shape = {"matrix_3x3": (4, 4, 3), "transform_color": (4, 4, 3)}.get(op, (4, 4))
    dtype = {"normalize_raw": "uint16", "convert_dtype": "uint16", "pad": "uint8"}.get(op, "float32")
    g.add(op, g.input(shape, dtype), **attrs)
    return g.engine_graph()["nodes"][0]["attrs"]


@pytest.mark.parametrize("op, given, name, expected", [
    ("mul_scalar", {"value": np.float64(0.5)}, "value", 0.5),
    ("mul_scalar", {"value": np.int16(3)}, "value", 3.0),
    ("orientation", {"orientation": np.uint8(6)}, "orientation", 6),
    ("normalize_raw", {"black_level": np.uint16(64), "white_level": 1023}, "black_level", [64.0]),
    ("normalize_raw", {"black_level": (1, 2.5), "white_level": [4095]}, "black_level", [1.0, 2.5]),
    ("normalize_raw", {"black_level": 0, "white_level": 1, "linearization_table": np.arange(4, dtype=np.uint16)},
     "linearization_table", [0, 1, 2, 3]),
    ("matrix_3x3", {"matrix": np.eye(3, dtype=np.float64)}, "matrix", IDENTITY.ravel().tolist()),
    ("matrix_3x3", {"matrix": np.eye(3, dtype=np.int64).tolist()}, "matrix", IDENTITY.ravel().tolist()),
    ("convert_dtype", {"dest_dtype": np.uint8}, "dest_dtype", "uint8"),
    ("convert_dtype", {"dest_dtype": np.dtype("float32")}, "dest_dtype", "float32"),
    ("convert_dtype", {"dest_dtype": "uint16"}, "dest_dtype", "uint16"),
    ("bilinear_demosaic", {"cfa_pattern": "gbrg"}, "cfa_pattern", "GBRG"),
    ("ea_demosaic", {"cfa_pattern": "RGGB", "fast": np.bool_(True)}, "fast", True),
    ("ea_demosaic", {"cfa_pattern": "RGGB", "engine_opts": {"neon": False}}, "engine_opts", '{"neon": false}'),
    ("pad", {"left": np.int64(2), "constant_values": np.array([1, 2, 3, 4], np.uint8)}, "constant_values",
     [1.0, 2.0, 3.0, 4.0]),
])
def test_attribute_conversion(op, given, name, expected):
    value = attr_of(op, **given)[name]
    engine_type = {"linearization_table": np.int32}.get(name, np.float32)
    if isinstance(expected, list):
        assert value.dtype == engine_type and value.flags.c_contiguous and value.ndim == 1
        assert value.tolist() == expected
    else:
        assert value == expected and type(value) is type(expected)


@pytest.mark.parametrize("op, given, shape, dtype", [
    ("convert_dtype", {"dest_dtype": "uint8"}, (5, 7), "uint8"),
    ("bilinear_demosaic", {"cfa_pattern": "RGGB"}, (5, 7, 3), "float32"),
    ("view", {"top": 1, "left": 2, "width": 3, "height": 4}, (4, 3), "float32"),
    ("pad", {"top": 1, "bottom": 2, "left": 3, "right": 4}, (8, 14), "float32"),
    ("orientation", {"orientation": 5}, (7, 5), "float32"),
    ("orientation", {"orientation": 3}, (5, 7), "float32"),
    ("lut", {"lut": [0, 1], "dtype": np.uint16}, (5, 7), "uint16"),
    ("fix_vignette", {"params": [0.1]}, (5, 7), "float32"),
])
def test_output_image_is_inferred(op, given, shape, dtype):
    g = pyxa.Graph()
    src = {"convert_dtype": "uint16"}.get(op, "float32")
    out = g.add(op, g.input((5, 7), src), **given)
    assert (out.shape, out.dtype.name) == (shape, dtype)
    assert out.stride == shape[1] * (shape[2] if len(shape) == 3 else 1) * np.dtype(dtype).itemsize


def test_fill_makes_an_image_from_nothing():
    g = pyxa.Graph()
    g.fill(value=[0.0, 127.5, 300.0], shape=(2, 3, 3), dtype="uint8")
    assert g.run().tolist() == [[[0, 128, 255]] * 3] * 2
