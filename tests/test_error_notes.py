"""Notes on refused calls: the message stays exactly as it was, and a PEP 678
note says what is at fault (the node and its op, the tensor, the attribute)."""

import sys

import numpy as np
import pytest

import _pyxa
from conftest import graph, node, tensor_desc

H, W = 4, 6
RAW = dict(black_repeat_rows=1, black_repeat_cols=1, samples_per_pixel=1, black_level=[0.0], white_level=[4095.0])


def develop_graph():
    """uint16 mosaic (0) -> normalize_raw (node 2) -> float (1) -> bilinear_demosaic (node 3) -> RGB (2)."""
    return graph([tensor_desc(0, "uint16", H, W), tensor_desc(1, "float32", H, W), tensor_desc(2, "float32", H, W, 3)],
                 [0], [2], [node(2, "normalize_raw", [0], [1], **RAW),
                            node(3, "bilinear_demosaic", [1], [2], cfa_pattern="RGGB")])


def develop_arrays():
    return {0: np.zeros((H, W), np.uint16)}, {2: np.zeros((H, W, 3), np.float32)}


def one_node(op, in_desc, out_desc, **attrs):
    """A graph of node 5 reading tensor 0 and writing tensor 1, with matching arrays."""
    g = graph([in_desc, out_desc], [0], [1], [node(5, op, [0], [1], **attrs)])
    return g, {0: array_for(in_desc)}, {1: array_for(out_desc)}


def array_for(desc):
    dtype = {"uint8": np.uint8, "uint16": np.uint16, "float32": np.float32}[desc["dtype"]]
    shape = (desc["height"], desc["width"]) + ((desc["channels"],) if desc["channels"] != 1 else ())
    return np.zeros(shape, dtype)


def rgb(tid, dtype="float32", channels=3):
    return tensor_desc(tid, dtype, H, W, channels)


def edit_develop(edit, more_inputs=None):
    def build():
        g = develop_graph()
        edit(g)
        inputs, outputs = develop_arrays()
        return g, {**inputs, **(more_inputs or {})}, outputs
    return build


def drop_attr(name):
    return edit_develop(lambda g: g["nodes"][0]["attrs"].pop(name))


def set_op(op):
    return edit_develop(lambda g: g["nodes"][1].__setitem__("op", op))


def set_desc(field, value, tid=0):
    return edit_develop(lambda g: g["tensor_descs"][tid].__setitem__(field, value))


def cycle(g):
    g["nodes"][0]["inputs"] = [2]


def second_writer(g):
    g["nodes"].append(node(9, "mul_scalar", [1], [1], value=1.0))


def unread_tensor(g):
    g["tensor_descs"].append(tensor_desc(7, "uint16", H, W))


ENGINE_CASES = {
    # The newcomer's three: a missing level, a misspelt op, a stride in elements.
    "missing white_level": (drop_attr("white_level"), "INVALID_ARGUMENT (1)",
                            'node 2 (normalize_raw): missing required attribute "white_level"'),
    "misspelt op": (set_op("bilinear_demosiac"), "UNKNOWN_OP (10)",
                    'node 3: unknown op "bilinear_demosiac" (did you mean "bilinear_demosaic"?)'),
    "unknown op far from any": (set_op("sharpen"), "UNKNOWN_OP (10)", 'node 3: unknown op "sharpen"'),
    "stride in elements": (set_desc("stride", W), "INVALID_ARGUMENT (1)",
                           "tensor 0: stride 6 is less than one packed row (12 bytes)"),
    "stride not whole pixels": (set_desc("stride", W * 12 + 4, tid=2), "INVALID_ARGUMENT (1)",
                                "tensor 2: stride 76 is not a multiple of the pixel size (12 bytes)"),
    "height * stride": (lambda: (graph([tensor_desc(0, "uint8", H, W), tensor_desc(3, "uint8", 2**40, W, stride=2**40),
                                        tensor_desc(1, "uint8", H, W)], [0], [1],
                                       [node(1, "view", [0], [1], top=0, left=0, width=W, height=H)]),
                                 {0: np.zeros((H, W), np.uint8)}, {1: np.zeros((H, W), np.uint8)}),
                        "GRAPH_INVALID (11)", "tensor 3: height * stride overflows"),
    "cycle": (edit_develop(cycle), "GRAPH_INVALID (11)", "the graph has a cycle through node 2"),
    "two writers": (edit_develop(second_writer), "GRAPH_INVALID (11)", "tensor 1 is written by node 2 and node 9"),
    "input not bound": (lambda: (develop_graph(), {}, develop_arrays()[1]), "INVALID_ARGUMENT (1)",
                        "inputs binds 0 arrays for 1 graph inputs"),
    "bound but unread": (edit_develop(unread_tensor, {7: np.zeros((H, W), np.uint16)}), "GRAPH_INVALID (11)",
                         "tensor 7 is bound in inputs but no node reads it"),
    "wrong count": (lambda: one_node("matrix_3x3", rgb(0), rgb(1), matrix=[1.0] * 6), "INVALID_ARGUMENT (1)",
                    'node 5 (matrix_3x3): "matrix" needs 9 values, got 6'),
    "too short a table": (lambda: one_node("lut", rgb(0), rgb(1), lut=[1.0]), "INVALID_ARGUMENT (1)",
                          'node 5 (lut): "lut" needs at least 2 values, got 1'),
    "list for a scalar": (lambda: one_node("mul_scalar", rgb(0), rgb(1), value=[2.0]), "INVALID_ARGUMENT (1)",
                          'node 5 (mul_scalar): "value" must be a float, got a float list or float32 array'),
    "int for a float": (lambda: one_node("mul_scalar", rgb(0), rgb(1), value=2), "INVALID_ARGUMENT (1)",
                        'node 5 (mul_scalar): "value" must be a float, got an int'),
    "out of range": (lambda: one_node("orientation", rgb(0), rgb(1), orientation=9), "INVALID_ARGUMENT (1)",
                     'node 5 (orientation): "orientation" must be 1..8, got 9'),
    "bit count": (lambda: one_node("convert_dtype", rgb(0, "uint16"), rgb(1), dest_dtype="float32", src_bits=40,
                                   dst_bits=0, clip_max=-1.0), "INVALID_ARGUMENT (1)",
                  'node 5 (convert_dtype): "src_bits" must be at most 31, got 40'),
    "dest_dtype": (lambda: one_node("convert_dtype", rgb(0, "uint16"), rgb(1), dest_dtype="int8", src_bits=0,
                                    dst_bits=0, clip_max=-1.0), "UNSUPPORTED_DTYPE (2)",
                   'node 5 (convert_dtype): "dest_dtype" must be "uint8", "uint16" or "float32", got "int8"'),
    "input dtype": (lambda: one_node("matrix_3x3", rgb(0, "uint8"), rgb(1), matrix=[1.0] * 9),
                    "UNSUPPORTED_DTYPE (2)", "node 5 (matrix_3x3): input tensor 0 is uint8, the op takes float32"),
    "channels": (lambda: one_node("matrix_3x3", rgb(0, channels=1), rgb(1), matrix=[1.0] * 9),
                 "INVALID_ARGUMENT (1)", "node 5 (matrix_3x3): input tensor 0 has 1 channel(s), the op needs 3"),
    "output shape": (lambda: one_node("bilinear_demosaic", rgb(0, channels=1), rgb(1, channels=1),
                                      cfa_pattern="RGGB"), "INVALID_ARGUMENT (1)",
                     "node 5 (bilinear_demosaic): output tensor 1 is 4 x 6 x 1, expected 4 x 6 x 3"),
    "no routine": (lambda: one_node("transform_color", rgb(0, "uint8"), rgb(1), dest_dtype="float32", src_bits=0,
                                    dst_bits=0, hue_preserving=1, matrix=[1.0] * 9), "UNSUPPORTED_DTYPE (2)",
                   "node 5 (transform_color): no routine takes uint8 input tensor 0 to float32 output tensor 1"),
    "cfa pattern": (lambda: one_node("bilinear_demosaic", rgb(0, channels=1), rgb(1), cfa_pattern="RGBG"),
                    "INVALID_ARGUMENT (1)",
                    'node 5 (bilinear_demosaic): "cfa_pattern" must be RGGB, BGGR, GRBG or GBRG, got "RGBG"'),
    "engine_opts key": (lambda: one_node("ea_demosaic", rgb(0, channels=1), rgb(1), cfa_pattern="RGGB",
                                         engine_opts='{"neno": false}'), "INVALID_ARGUMENT (1)",
                        'node 5 (ea_demosaic): "engine_opts" allows only "neon" set to true or false, '
                        'got "neno" (boolean)'),
    "pad mode": (lambda: one_node("pad", rgb(0), rgb(1), top=0, bottom=0, left=0, right=0, mode="wrap"),
                 "INVALID_ARGUMENT (1)",
                 'node 5 (pad): "mode" must be reflect, symmetric, edge or constant, got "wrap"'),
    "levels per site": (lambda: one_node("normalize_raw", rgb(0, "uint16", 1), rgb(1, channels=1),
                                         **{**RAW, "black_repeat_rows": 2, "black_repeat_cols": 2}),
                        "INVALID_ARGUMENT (1)",
                        'node 5 (normalize_raw): "black_level" needs black_repeat_rows * black_repeat_cols * '
                        "samples_per_pixel = 4 values, got 1"),
    "opcode refusal": (lambda: one_node("fix_vignette", rgb(0), rgb(1), center_x=np.float64(0.5),
                                        center_y=np.float64(0.5)), "INVALID_ARGUMENT (1)",
                       "node 5 (fix_vignette): the opcode refused its attributes or images"),
}


def refusal(build):
    g, inputs, outputs = build()
    with pytest.raises(RuntimeError) as caught:
        _pyxa.execute_graph(g, inputs, outputs)
    return caught.value


@pytest.mark.parametrize("build, status, note", ENGINE_CASES.values(), ids=ENGINE_CASES.keys())
def test_engine_refusal_keeps_its_message_and_names_the_fault(build, status, note):
    exc = refusal(build)
    assert exc.args == (f"execute_graph failed: {status}",)
    assert exc.__notes__ == [note]


def rgb_out(array):
    return lambda: (develop_graph(), develop_arrays()[0], {2: array})


def mosaic_in(array):
    return lambda: (develop_graph(), {0: array}, develop_arrays()[1])


def read_only(array):
    array.setflags(write=False)
    return array


class FreezesFirst(np.ndarray):
    """An output whose Python-level flags, read while it is bound, make the
    output bound before it read-only: only the final re-check can see that."""

    @property
    def flags(self):
        self.first.setflags(write=False)
        return np.ndarray.flags.__get__(self)


def first_output_frozen_later():
    g = develop_graph()
    g["outputs"] = [1, 2]
    first = np.zeros((H, W), np.float32)
    second = np.zeros((H, W, 3), np.float32).view(FreezesFirst)
    second.first = first
    return g, develop_arrays()[0], {1: first, 2: second}


WANT_RGB = "tensor 2 (output): expected float32 (4, 6, 3), got "
WANT_MOSAIC = "tensor 0 (input): expected uint16 (4, 6), got "

BINDING_CASES = {
    "dtype": (rgb_out(np.zeros((H, W, 3), np.uint8)), TypeError, "binding dtype mismatch (uint8)",
              WANT_RGB + "uint8 array of shape (4, 6, 3) and byte strides (18, 3, 1)"),
    "no such dtype": (mosaic_in(np.zeros((H, W), np.float64)), TypeError,
                      "binding array must be uint8/uint16/float32",
                      WANT_MOSAIC + "float64 array of shape (4, 6) and byte strides (48, 8)"),
    "transposed": (mosaic_in(np.zeros((W, H), np.uint16)), ValueError, "binding shape mismatch (H,W)",
                   WANT_MOSAIC + "uint16 array of shape (6, 4) and byte strides (8, 2)"),
    "flat": (mosaic_in(np.zeros(H * W, np.uint16)), ValueError, "binding array must be (H,W) or (H,W,C)",
             WANT_MOSAIC + "uint16 array of shape (24,) and byte strides (2,)"),
    "not an array": (rgb_out([0.0]), TypeError, "binding value must be a numpy ndarray", WANT_RGB + "list"),
    "every other column": (rgb_out(np.zeros((H, 2 * W, 3), np.float32)[:, ::2]), ValueError,
                           "binding array must have packed pixels (unit column stride)",
                           WANT_RGB + "float32 array of shape (4, 6, 3) and byte strides (144, 24, 4)"),
    "upside down": (rgb_out(np.zeros((H, W, 3), np.float32)[::-1]), ValueError,
                    "binding array must have a positive row stride of at least one packed row",
                    WANT_RGB + "float32 array of shape (4, 6, 3) and byte strides (-72, 12, 4)"),
    "read-only output": (rgb_out(read_only(np.zeros((H, W, 3), np.float32))), ValueError,
                         "output binding array must be writeable",
                         WANT_RGB + "a read-only float32 array of shape (4, 6, 3) and byte strides (72, 12, 4)"),
    "frozen after binding": (first_output_frozen_later, ValueError, "output binding array must be writeable",
                             "tensor 1 (output): expected float32 (4, 6), got a read-only float32 array of shape "
                             "(4, 6) and byte strides (24, 4)"),
}


@pytest.mark.parametrize("build, error, message, note", BINDING_CASES.values(), ids=BINDING_CASES.keys())
def test_binding_refusal_keeps_its_message_and_names_the_tensor(build, error, message, note):
    g, inputs, outputs = build()
    with pytest.raises(error) as caught:
        _pyxa.execute_graph(g, inputs, outputs)
    assert caught.value.args == (message,)
    assert caught.value.__notes__ == [note]


class FlagsRaise(np.ndarray):
    """An output whose Python-level flags raise an error of the caller's own."""

    @property
    def flags(self):
        raise ValueError("flags are private")


def test_error_raised_by_the_callers_own_code_gets_no_note():
    out = np.zeros((H, W, 3), np.float32).view(FlagsRaise)
    with pytest.raises(ValueError) as caught:
        _pyxa.execute_graph(develop_graph(), develop_arrays()[0], {2: out})
    assert caught.value.args == ("flags are private",)
    assert not hasattr(caught.value, "__notes__")


def caught(call):
    try:
        call()
    except (RuntimeError, TypeError, ValueError) as e:
        return e
    pytest.fail("the call was not refused")


def noted(exc, note):
    exc.add_note(note)
    return exc


def refused_in_python():
    raise noted(RuntimeError("refused"), "".join(["a ", "note"]))


def refused_by_module(build):
    g, inputs, outputs = build()
    return lambda: _pyxa.execute_graph(g, inputs, outputs)


def reference_counts(exc):
    note = exc.__notes__[0]
    return sys.getrefcount(exc), sys.getrefcount(note)


@pytest.mark.parametrize("build", [ENGINE_CASES["missing white_level"][0], BINDING_CASES["dtype"][0]],
                         ids=["engine", "binding"])
def test_noting_keeps_no_reference(build):
    # A reference kept while adding the note would never be released: the
    # exception and its note must be held exactly as a Python-raised pair.
    assert reference_counts(caught(refused_by_module(build))) == reference_counts(caught(refused_in_python))
