"""Graph.run on a refused array: the native message and its tensor note stay
as they are, and one more note names the argument of run that was at fault,
what the graph expects there and how to fix the array."""
import numpy as np
import pytest

import pyxa

U16, F32 = np.uint16, np.float32


def normalize_graph(declared_input=None):
    """uint16 (4, 6) tensor 0 -> normalize_raw -> float32 (4, 6) tensor 1."""
    g = pyxa.Graph()
    x = g.input(declared_input) if declared_input is not None else g.input((4, 6), "uint16")
    y = g.normalize_raw(x, black_level=[0.0], white_level=[4095.0])
    return g, x, y


def mosaic(dtype=U16, shape=(4, 6)):
    return np.zeros(shape, dtype)


def strided(dtype, shape):
    return np.zeros((shape[0], shape[1] * 2), dtype)[:, ::2]


def readonly(a):
    a.flags.writeable = False
    return a


EXPECT_IN = "expected a uint16 array of shape (4, 6)"
EXPECT_OUT = "expected a float32 array of shape (4, 6)"
FRESH_OUT = "np.empty((4, 6), np.float32)"


@pytest.mark.parametrize("call,error,message,note", [
    (lambda g, x, y: g.run(mosaic(F32)), TypeError, "binding dtype mismatch (float32)",
     f"input 0 of run(): {EXPECT_IN}; convert it with a.astype(np.uint16)"),
    (lambda g, x, y: g.run(mosaic(np.int32)), TypeError, "binding array must be uint8/uint16/float32",
     f"input 0 of run(): {EXPECT_IN}; convert it with a.astype(np.uint16)"),
    (lambda g, x, y: g.run(strided(U16, (4, 6))), ValueError,
     "binding array must have packed pixels (unit column stride)",
     f"input 0 of run(): {EXPECT_IN}; pass np.ascontiguousarray(a), a copy whose pixels are packed"),
    (lambda g, x, y: g.run(mosaic(U16, (5, 6))), ValueError, "binding shape mismatch (H,W)",
     f"input 0 of run(): {EXPECT_IN}; the graph was built for that shape: build it for this array or pass "
     "one of that shape"),
    (lambda g, x, y: g.run([[0] * 6] * 4), TypeError, "binding value must be a numpy ndarray",
     f"input 0 of run(): {EXPECT_IN}; pass a NumPy array, e.g. np.asarray(a, dtype=np.uint16)"),
    (lambda g, x, y: g.run({x: mosaic(F32)}), TypeError, "binding dtype mismatch (float32)",
     f"run()'s input for tensor 0: {EXPECT_IN}; convert it with a.astype(np.uint16)"),
    (lambda g, x, y: g.run(mosaic(), out=mosaic(np.uint8)), TypeError, "binding dtype mismatch (uint8)",
     f"out=: {EXPECT_OUT}; pass one made with that type, e.g. {FRESH_OUT}"),
    (lambda g, x, y: g.run(mosaic(), out={y: strided(F32, (4, 6))}), ValueError,
     "binding array must have packed pixels (unit column stride)",
     f"out= for tensor 1: {EXPECT_OUT}; pass an array whose pixels are packed, e.g. {FRESH_OUT}, "
     "not a strided view"),
    (lambda g, x, y: g.run(mosaic(), out=[readonly(mosaic(F32))]), ValueError,
     "output binding array must be writeable",
     f"out[0]: {EXPECT_OUT}; pass a writeable array, e.g. {FRESH_OUT}"),
])
def test_refused_argument_is_named_with_a_fix(call, error, message, note):
    g, x, y = normalize_graph()
    with pytest.raises(error) as refused:
        call(g, x, y)
    assert refused.value.args == (message,)
    native, ours = refused.value.__notes__
    assert native.startswith("tensor ") and ours == note


def test_array_declared_at_input_is_named_when_run_is_given_none():
    g, x, y = normalize_graph(declared_input=mosaic(U16)[:, ::-1])
    with pytest.raises(ValueError) as refused:
        g.run()
    assert refused.value.__notes__[-1] == (f"the array given to input() for tensor 0: {EXPECT_IN}; "
                                          "pass np.ascontiguousarray(a), a copy whose pixels are packed")


def test_second_output_of_several_is_named_by_its_place():
    g = pyxa.Graph()
    x = g.input((4, 6, 3), "float32")
    a = g.mul_scalar(x, value=2.0)
    b = g.mono_lut(x, lut=[0.0, 1.0], dest_dtype="uint8")
    g.output(a, b)
    with pytest.raises(TypeError) as refused:
        g.run_all(np.zeros((4, 6, 3), F32), out=[np.zeros((4, 6, 3), F32), np.zeros((4, 6, 3), F32)])
    assert refused.value.__notes__[-1] == ("out[1]: expected a uint8 array of shape (4, 6, 3); pass one made "
                                          "with that type, e.g. np.empty((4, 6, 3), np.uint8)")


def test_refusal_of_no_single_binding_gets_no_note():
    """Overlapping arrays are refused for two arguments at once; no binding note names one."""
    g = pyxa.Graph()
    g.orientation(g.input((4, 4, 3), "float32"), orientation=6)
    a = np.zeros((4, 4, 3), F32)
    with pytest.raises(ValueError) as refused:
        g.run(a, out=a)
    assert str(refused.value).startswith("output tensor 1 overlaps input tensor 0")
    assert getattr(refused.value, "__notes__", []) == []
