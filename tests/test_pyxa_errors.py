"""The builder's refusals: each names the node (id and op) and the attribute or
input at fault, before anything runs."""

import numpy as np
import pytest

import pyxa


def start():
    """A graph with a uint16 mosaic (node ids start at 1), its normalised float32
    image, and a float32 RGB image: the next node is node 3."""
    g = pyxa.Graph()
    raw = g.input((4, 6), "uint16")
    lin = g.normalize_raw(raw, black_level=64, white_level=1023)
    rgb = g.bilinear_demosaic(lin, cfa_pattern="RGGB")
    return g, raw, lin, rgb


REFUSALS = [
    # unknown names, with the closest known one
    (lambda g, raw, lin, rgb: g.add("bilinear_demosiac", lin, cfa_pattern="RGGB"),
     pyxa.GraphError, 'node 3 (bilinear_demosiac): unknown op; did you mean "bilinear_demosaic"?'),
    (lambda g, raw, lin, rgb: g.normalize_raw(raw, black_level=0, white_level=1, white_levl=2),
     pyxa.GraphError, 'node 3 (normalize_raw): unknown attribute "white_levl"; did you mean "white_level"?'),
    (lambda g, raw, lin, rgb: g.add("matrix_3x3", rgb, matrx=np.eye(3)),
     pyxa.GraphError, 'node 3 (matrix_3x3): unknown attribute "matrx"; did you mean "matrix"?'),
    # missing, wrong kind, wrong length
    (lambda g, raw, lin, rgb: g.add("normalize_raw", raw, black_level=0),
     pyxa.GraphError, 'node 3 (normalize_raw): "white_level" is required: White level per sample'),
    (lambda g, raw, lin, rgb: g.matrix_3x3(rgb, matrix=[1, 0, 0, 0, 1, 0]),
     pyxa.GraphError, 'node 3 (matrix_3x3): "matrix" needs 9 values, got 6'),
    (lambda g, raw, lin, rgb: g.lut(lin, lut=[1.0]),
     pyxa.GraphError, 'node 3 (lut): "lut" needs at least 2 values, got 1'),
    (lambda g, raw, lin, rgb: g.mul_scalar(lin, value=[2.0]),
     pyxa.GraphTypeError, 'node 3 (mul_scalar): "value" needs one number, got list [2.0]'),
    (lambda g, raw, lin, rgb: g.orientation(rgb, orientation=6.0),
     pyxa.GraphTypeError, 'node 3 (orientation): "orientation" needs an integer, got float 6.0'),
    (lambda g, raw, lin, rgb: g.matrix_3x3(rgb, matrix="identity"),
     pyxa.GraphTypeError, 'node 3 (matrix_3x3): "matrix" needs numbers, got str'),
    (lambda g, raw, lin, rgb: g.normalize_raw(raw, black_level=0, white_level=1, linearization_table=[0.5, 1]),
     pyxa.GraphTypeError, 'node 3 (normalize_raw): "linearization_table" needs integers, got array of float64'),
    (lambda g, raw, lin, rgb: g.transform_color(rgb, dest_dtype=np.float64, matrix=np.eye(3)),
     pyxa.GraphError, 'node 3 (transform_color): "dest_dtype" must be one of "uint8", "uint16", "float32", '
                      "got float64"),
    (lambda g, raw, lin, rgb: g.convert_dtype(lin, dest_dtype="int8-ish"),
     pyxa.GraphTypeError, 'node 3 (convert_dtype): "dest_dtype" needs a dtype such as "uint8"'),
    # impossible values
    (lambda g, raw, lin, rgb: g.orientation(rgb, orientation=9),
     pyxa.GraphError, 'node 3 (orientation): "orientation" must be at most 8, got 9'),
    (lambda g, raw, lin, rgb: g.pad(rgb, top=-1),
     pyxa.GraphError, 'node 3 (pad): "top" must be at least 0, got -1'),
    (lambda g, raw, lin, rgb: g.pad(rgb, mode="reflct"),
     pyxa.GraphError, 'node 3 (pad): "mode" must be one of "constant", "reflect", "symmetric", "edge", '
                      'got "reflct"; did you mean "reflect"?'),
    (lambda g, raw, lin, rgb: g.bilinear_demosaic(lin, cfa_pattern="RGBG"),
     pyxa.GraphError, 'node 3 (bilinear_demosaic): "cfa_pattern" must be one of'),
    (lambda g, raw, lin, rgb: g.ea_demosaic(lin, cfa_pattern="RGGB", engine_opts='{"nein": true}'),
     pyxa.GraphError, 'node 3 (ea_demosaic): "engine_opts" has unknown switch "nein" (allowed: "neon"); '
                      'did you mean "neon"?'),
    (lambda g, raw, lin, rgb: g.ea_demosaic(lin, cfa_pattern="RGGB", engine_opts="{neon}"),
     pyxa.GraphError, 'node 3 (ea_demosaic): "engine_opts" is not JSON text'),
    (lambda g, raw, lin, rgb: g.fix_bad_pixels_constant(raw, constant=70000, bayer_phase=0),
     pyxa.GraphError, 'node 3 (fix_bad_pixels_constant): "constant" must be at most 65535, got 70000'),
    (lambda g, raw, lin, rgb: g.view(rgb, left=4, width=3, height=1),
     pyxa.GraphError, 'node 3 (view): "width" reaches past the input: left 4 + width 3 > 6'),
    (lambda g, raw, lin, rgb: g.normalize_raw(raw, black_repeat_rows=2, black_repeat_cols=2, black_level=[0, 0],
                                              white_level=1),
     pyxa.GraphError, 'node 3 (normalize_raw): "black_level" needs at least 4 values, got 2'),
    (lambda g, raw, lin, rgb: g.normalize_raw(raw, samples_per_pixel=3, black_level=0, white_level=1),
     pyxa.GraphError, 'node 3 (normalize_raw): "samples_per_pixel" must equal the input\'s 1 channels, got 3'),
    (lambda g, raw, lin, rgb: g.apply_hue_sat_map(rgb, hue_divs=2, sat_divs=2, map_data=[0.0, 1, 1] * 3),
     pyxa.GraphError, 'node 3 (apply_hue_sat_map): "map_data" needs 12 values, got 9'),
    (lambda g, raw, lin, rgb: g.transform_color(rgb, dest_dtype="uint8"),
     pyxa.GraphError, 'node 3 (transform_color): needs at least one of "input_lut", "matrix", "output_lut"'),
    (lambda g, raw, lin, rgb: g.map_polynomial(lin, coefficients=[0, 1], bottom=9),
     pyxa.GraphError, 'node 3 (map_polynomial): "bottom" must lie between "top" (0) and the image\'s 4, got 9'),
    (lambda g, raw, lin, rgb: g.map_polynomial(lin, coefficients=[0, 1], degree=3),
     pyxa.GraphError, 'node 3 (map_polynomial): "coefficients" needs at least 4 values, got 2'),
    (lambda g, raw, lin, rgb: g.apply_gain_map(rgb, gain_values=[1.0] * 3, points_v=2, points_h=2, spacing_v=1,
                                               spacing_h=1),
     pyxa.GraphError, 'node 3 (apply_gain_map): "gain_values" needs at least 4 values, got 3'),
    (lambda g, raw, lin, rgb: g.warp_rectilinear(rgb, radial_params=[1.0, 0.0], num_coeffs=1),
     pyxa.GraphError, 'node 3 (warp_rectilinear): "radial_params" needs at least 3 values, got 2'),
    # images that do not fit the op
    (lambda g, raw, lin, rgb: g.bilinear_demosaic(raw, cfa_pattern="RGGB"),
     pyxa.GraphError, "node 3 (bilinear_demosaic): input tensor 0 (uint16, 4x6) must be float32"),
    (lambda g, raw, lin, rgb: g.matrix_3x3(lin, matrix=np.eye(3)),
     pyxa.GraphError, "node 3 (matrix_3x3): input tensor 1 (float32, 4x6) must have 3 channels"),
    (lambda g, raw, lin, rgb: g.transform_color(rgb, dest_dtype="uint8", hue_preserving=True, matrix=np.eye(3)),
     pyxa.GraphError, 'node 3 (transform_color): "hue_preserving" needs a float32 input and an "input_lut"'),
    (lambda g, raw, lin, rgb: g.lut(rgb, lut=[0, 1], dtype="uint8"),
     pyxa.GraphError, "node 3 (lut): a 3-channel lookup needs float32 input and output, got float32 to uint8"),
    (lambda g, raw, lin, rgb: g.add("view", pyxa.Graph().input((2, 2), "uint8"), width=1, height=1),
     pyxa.GraphError, "node 3 (view): <pyxa.Tensor 0: uint8 shape=(2, 2)> is not a tensor of this graph"),
    (lambda g, raw, lin, rgb: g.add("mul_scalar", value=2.0),
     pyxa.GraphError, "node 3 (mul_scalar): takes 1 input image, got 0"),
]


@pytest.mark.parametrize("build, error, message", REFUSALS, ids=[m.split(":")[0] + " " + m.split(":")[1][:30]
                                                                    for _, _, m in REFUSALS])
def test_refusal_names_node_and_attribute(build, error, message):
    g, raw, lin, rgb = start()
    with pytest.raises(error) as info:
        build(g, raw, lin, rgb)
    assert type(info.value) is error and isinstance(info.value, ValueError)
    assert str(info.value).startswith(message)
    # A refused node leaves the graph as it was.
    assert len(g.to_dict()["nodes"]) == 2


def test_misspelled_method_keyword_is_a_type_error_naming_graph_method():
    g, raw, lin, rgb = start()
    with pytest.raises(TypeError, match=r"Graph\.normalize_raw\(\) missing 1 required keyword-only argument: "
                                        r"'white_level'"):
        g.normalize_raw(raw, black_level=0)  # type: ignore[call-arg]


def test_misspelled_op_method_suggests_the_op():
    g, raw, lin, rgb = start()
    with pytest.raises(AttributeError, match='^\'Graph\' has no op or method "bilinear_demosiac"; '
                                             'did you mean "bilinear_demosaic"\\?$'):
        g.bilinear_demosiac(lin)


@pytest.mark.parametrize("run, message", [
    (lambda g: g.run(), "run: input tensor 0 (uint16, 4x6) has no array"),
    (lambda g: g.run(np.zeros((4, 6), np.uint16), np.zeros((4, 6), np.uint16)), "run: 2 arrays given for 1 inputs"),
    (lambda g: g.run(np.zeros((4, 6), np.uint16), out=[np.zeros((4, 6, 3), np.float32)] * 2),
     "run: out= has 2 arrays for 1 outputs"),
])
def test_run_refusals(run, message):
    g, raw, lin, rgb = start()
    with pytest.raises(pyxa.GraphError, match="^" + message.replace("(", r"\(").replace(")", r"\)")):
        run(g)
