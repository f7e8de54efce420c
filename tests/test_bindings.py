"""Array bindings: every message with its exception type and check order, what
binds, that failed calls leave outputs untouched and hold no references, and
that Python code run during binding cannot hand the engine a stale array."""

import sys

import numpy as np
import pytest
from numpy.lib.stride_tricks import as_strided

import _pyxa
from conftest import graph, node, tensor_desc

H, W = 4, 5
ENGINE_PREFIX = "execute_graph failed: "

RANK = "binding array must be (H,W) or (H,W,C)"
PACKED = "binding array must have packed pixels (unit column stride)"
ROW = "binding array must have a positive row stride of at least one packed row"


def two_tensor_graph(dtype="uint8", channels=3, out_dtype="float32", out_channels=1):
    return graph([tensor_desc(0, dtype, H, W, channels), tensor_desc(1, out_dtype, H, W, out_channels)],
                 [0], [1], [node(1, "mul_scalar", [0], [1], value=1.0)])


def good_input():
    return np.zeros((H, W, 3), np.uint8)


def good_output():
    return np.zeros((H, W), np.float32)


def call(inputs, outputs, g=None):
    return _pyxa.execute_graph(two_tensor_graph() if g is None else g, inputs, outputs)


def assert_binds(inputs, outputs, g=None):
    try:
        call(inputs, outputs, g)
    except RuntimeError as e:
        assert str(e).startswith(ENGINE_PREFIX), str(e)


def readonly(a):
    a.setflags(write=False)
    return a


class SubArray(np.ndarray):
    pass


class Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


base3 = np.zeros((H, W + 10, 3), np.uint8)
base_wide = np.zeros((H, 2 * W, 3), np.uint8)

# (input array for tensor 0: uint8, 3 channels), exception, message
INPUT_ARRAY_CASES = [
    (np.zeros((H, W, 3), np.float64), TypeError, "binding array must be uint8/uint16/float32"),
    (np.zeros((H, W, 3), np.int8), TypeError, "binding array must be uint8/uint16/float32"),
    (np.zeros((H, W, 3), np.float16), TypeError, "binding array must be uint8/uint16/float32"),
    (np.zeros((H, W, 3), ">f4"), TypeError, "binding array must be uint8/uint16/float32"),
    (np.zeros((H, W, 3), ">u2"), TypeError, "binding array must be uint8/uint16/float32"),
    (np.zeros((H, W, 3), np.bool_), TypeError, "binding array must be uint8/uint16/float32"),
    (np.zeros((H, W, 3), np.uint16), TypeError, "binding dtype mismatch (uint16)"),
    (np.zeros((H, W, 3), np.float32), TypeError, "binding dtype mismatch (float32)"),
    (np.zeros((), np.uint8), ValueError, RANK),
    (np.zeros((W,), np.uint8), ValueError, RANK),
    (np.zeros((H, W), np.uint8), ValueError, RANK),
    (np.zeros((1, H, W, 3), np.uint8), ValueError, RANK),
    (np.zeros((H + 1, W, 3), np.uint8), ValueError, "binding shape mismatch (H,W,C)"),
    (np.zeros((H, W - 1, 3), np.uint8), ValueError, "binding shape mismatch (H,W,C)"),
    (np.zeros((H, W, 4), np.uint8), ValueError, "binding shape mismatch (H,W,C)"),
    (np.zeros((H, 2 * W, 3), np.uint8)[:, ::2], ValueError, PACKED),
    (np.zeros((H, W, 6), np.uint8)[:, :, ::2], ValueError, PACKED),
    (np.zeros((H, W, 4), np.uint8)[:, :, :3], ValueError, PACKED),
    (np.zeros((W, H, 3), np.uint8).transpose(1, 0, 2), ValueError, PACKED),
    (np.zeros((H, W, 3), np.uint8)[:, ::-1], ValueError, PACKED),
    (np.zeros((H, W, 3), np.uint8)[::-1], ValueError, ROW),
    (np.broadcast_to(np.zeros((1, W, 3), np.uint8), (H, W, 3)), ValueError, ROW),
    (as_strided(np.zeros(H * W * 3, np.uint8), (H, W, 3), (3 * W - 3, 3, 1)), ValueError, ROW),
]

# (output array for tensor 1: float32, 1 channel), exception, message
OUTPUT_ARRAY_CASES = [
    (readonly(np.zeros((H, W), np.float32)), ValueError, "output binding array must be writeable"),
    (np.broadcast_to(np.zeros((1, W), np.float32), (H, W)), ValueError,
     "output binding array must be writeable"),
    (np.zeros((H, W), np.uint8), TypeError, "binding dtype mismatch (uint8)"),
    (np.zeros((H, W), np.uint16), TypeError, "binding dtype mismatch (uint16)"),
    (np.zeros((H, W), np.float64), TypeError, "binding array must be uint8/uint16/float32"),
    (np.zeros((H, W + 1), np.float32), ValueError, "binding shape mismatch (H,W)"),
    (np.zeros((H - 1, W), np.float32), ValueError, "binding shape mismatch (H,W)"),
    (np.zeros((H, W, 2), np.float32), ValueError, "binding shape mismatch (H,W,C)"),
    (np.zeros((H * W,), np.float32), ValueError, RANK),
    (np.zeros((W, H), np.float32).T, ValueError, PACKED),
    (np.zeros((H, W, 2), np.float32)[:, :, 0], ValueError, PACKED),
    (np.zeros((H, W, 2), np.float32)[:, :, :1], ValueError, PACKED),
    (np.zeros((2 * H, W), np.float32)[::-2], ValueError, ROW),
    (as_strided(np.zeros(H * W, np.float32), (H, W), (4 * W - 4, 4)), ValueError, ROW),
]

DICT_CASES = [
    # (inputs, outputs, exception, message)
    ([good_input()], {1: good_output()}, TypeError, "bindings must be a dict id -> ndarray"),
    (None, {1: good_output()}, TypeError, "bindings must be a dict id -> ndarray"),
    ({0: good_input()}, ((1, good_output()),), TypeError, "bindings must be a dict id -> ndarray"),
    ({"0": good_input()}, {1: good_output()}, TypeError, "binding key must be tensor id int"),
    ({-1: good_input()}, {1: good_output()}, TypeError, "binding key must be tensor id int"),
    ({2**32: good_input()}, {1: good_output()}, TypeError, "binding key must be tensor id int"),
    ({0.0: good_input()}, {1: good_output()}, TypeError, "binding key must be tensor id int"),
    ({0: good_input()}, {None: good_output()}, TypeError, "binding key must be tensor id int"),
    ({5: good_input()}, {1: good_output()}, ValueError, "binding for unknown tensor id 5"),
    ({0: good_input()}, {2**32 - 1: good_output()}, ValueError, "binding for unknown tensor id 4294967295"),
    ({0: good_input().tolist()}, {1: good_output()}, TypeError, "binding value must be a numpy ndarray"),
    ({0: good_input()}, {1: memoryview(good_output())}, TypeError, "binding value must be a numpy ndarray"),
    ({0: good_input()}, {1: None}, TypeError, "binding value must be a numpy ndarray"),
]


@pytest.mark.parametrize("arr, exc, message", INPUT_ARRAY_CASES)
def test_input_array_table(arr, exc, message):
    with pytest.raises(exc) as info:
        call({0: arr}, {1: good_output()})
    assert type(info.value) is exc and str(info.value) == message


@pytest.mark.parametrize("arr, exc, message", OUTPUT_ARRAY_CASES)
def test_output_array_table(arr, exc, message):
    with pytest.raises(exc) as info:
        call({0: good_input()}, {1: arr})
    assert type(info.value) is exc and str(info.value) == message


@pytest.mark.parametrize("inputs, outputs, exc, message", DICT_CASES)
def test_dict_table(inputs, outputs, exc, message):
    with pytest.raises(exc) as info:
        call(inputs, outputs)
    assert type(info.value) is exc and str(info.value) == message


@pytest.mark.parametrize("inputs, outputs, exc, message", [
    # inputs are bound before outputs
    ({0: np.zeros(3)}, "x", TypeError, "binding array must be uint8/uint16/float32"),
    ({0: good_input()}, "x", TypeError, "bindings must be a dict id -> ndarray"),
    # key before lookup before type before writeability
    ({0: good_input()}, {"1": readonly(good_output())}, TypeError, "binding key must be tensor id int"),
    ({0: good_input()}, {9: "x"}, ValueError, "binding for unknown tensor id 9"),
    ({0: good_input()}, {1: [readonly(good_output())]}, TypeError, "binding value must be a numpy ndarray"),
    # writeability before dtype, dtype before shape, shape before layout, layout before row step
    ({0: good_input()}, {1: readonly(np.zeros(3))}, ValueError, "output binding array must be writeable"),
    ({0: np.zeros((1,), np.float64)}, {1: good_output()}, TypeError, "binding array must be uint8/uint16/float32"),
    ({0: np.zeros((H, W), np.uint8)[::-1, ::2]}, {1: good_output()}, ValueError, RANK),
    ({0: np.zeros((H, 2 * W, 3), np.uint8)[::-1, ::2]}, {1: good_output()}, ValueError, PACKED),
    # the first failing entry in dict order decides
    ({0: good_input(), 7: good_input()}, {1: good_output()}, ValueError, "binding for unknown tensor id 7"),
])
def test_first_failing_check_decides(inputs, outputs, exc, message):
    with pytest.raises(exc) as info:
        call(inputs, outputs)
    assert type(info.value) is exc and str(info.value) == message


@pytest.mark.parametrize("key", [0, False, np.uint32(0), np.int64(0), Index(0)])
@pytest.mark.parametrize("arr", [
    np.zeros((H, W, 3), np.uint8),
    base3[:, 10:15],
    np.zeros((2 * H, W, 3), np.uint8)[::2],
    readonly(np.zeros((H, W, 3), np.uint8)),
    np.zeros((H, W, 3), np.uint8).view(SubArray),
])
def test_accepted_inputs(key, arr):
    assert_binds({key: arr}, {1: good_output()})


@pytest.mark.parametrize("dtype, channels, shape", [
    ("uint8", 1, (H, W)), ("uint8", 1, (H, W, 1)), ("uint16", 1, (H, W)), ("float32", 1, (H, W, 1)),
    ("uint16", 4, (H, W, 4)), ("float32", 3, (H, W, 3)), ("uint8", 2, (H, W, 2)),
])
def test_channel_layouts_bind(dtype, channels, shape):
    g = two_tensor_graph(dtype, channels)
    assert_binds({0: np.zeros(shape, dtype)}, {1: good_output()}, g)


def test_empty_inputs_dict_is_left_to_the_engine():
    with pytest.raises(RuntimeError, match="^execute_graph failed: "):
        call({}, {1: good_output()})


def test_dict_subclasses_are_accepted():
    class D(dict):
        pass

    assert_binds(D({0: good_input()}), D({1: good_output()}))


def test_first_description_of_an_id_decides():
    g = two_tensor_graph()
    g["tensor_descs"].append(tensor_desc(0, "float32", H, W, 3))
    with pytest.raises(TypeError, match=r"(?m)^binding dtype mismatch \(float32\)$"):
        call({0: np.zeros((H, W, 3), np.float32)}, {1: good_output()}, g)


def test_readonly_array_is_fine_as_input():
    assert_binds({0: readonly(good_input())}, {1: good_output()})


# ---- outputs untouched and references released on every failure path ----

def failing_calls():
    """(label, graph edit, inputs factory, outputs factory) for many failure paths.
    Tensor 2 is a second output whose array is always acceptable."""
    bad_in = [a for a, _, _ in INPUT_ARRAY_CASES]
    bad_out = [a for a, _, _ in OUTPUT_ARRAY_CASES]
    cases = []
    for i, a in enumerate(bad_in):
        cases.append((f"input{i}", None, {0: a}, None))
    for i, a in enumerate(bad_out):
        cases.append((f"output{i}", None, None, a))
    cases.append(("unknown-key", None, {0: good_input(), 9: good_input()}, None))
    cases.append(("bad-op", lambda g: g["nodes"][0].update(op=None), None, None))
    cases.append(("bad-attrs", lambda g: g["nodes"][0].update(attrs={"k": (1,)}), None, None))
    cases.append(("engine", lambda g: g["nodes"].clear(), None, None))
    cases.append(("engine-cycle", lambda g: g["nodes"].append(node(2, "mul_scalar", [2], [0], value=1.0)),
                  None, None))
    return cases


@pytest.mark.parametrize("label, edit, inputs, bad_output", failing_calls(),
                         ids=[c[0] for c in failing_calls()])
def test_failed_call_leaves_outputs_untouched_and_releases_arrays(label, edit, inputs, bad_output):
    g = graph([tensor_desc(0, "uint8", H, W, 3), tensor_desc(1, "float32", H, W),
               tensor_desc(2, "float32", H, W)], [0], [1, 2],
              [node(1, "mul_scalar", [0], [1], value=2.0), node(3, "mul_scalar", [0], [2], value=2.0)])
    if edit is not None:
        edit(g)
    src = np.full((H, W, 3), 9, np.uint8)
    inputs = {0: src} if inputs is None else inputs
    out2 = np.full((H, W), 7.0, np.float32)
    out1 = np.full((H, W), 7.0, np.float32) if bad_output is None else bad_output
    outputs = {2: out2, 1: out1}  # the good output comes first, so it is bound before the failure
    arrays = list(inputs.values()) + [out2, out1]
    before = [sys.getrefcount(a) for a in arrays]
    snapshot = [np.array(a, copy=True) for a in arrays]
    with pytest.raises((TypeError, ValueError, RuntimeError)):
        _pyxa.execute_graph(g, inputs, outputs)
    assert [sys.getrefcount(a) for a in arrays] == before
    if label in ("engine", "engine-cycle"):
        return  # an engine failure may have written partly
    for a, s in zip(arrays, snapshot):
        np.testing.assert_array_equal(a, s)


def test_references_released_after_success():
    src = np.arange(H * W * 3, dtype=np.uint8).reshape(H, W, 3)
    out = np.zeros((H, W, 3), np.float32)
    g = graph([tensor_desc(0, "uint8", H, W, 3), tensor_desc(1, "float32", H, W, 3)], [0], [1],
              [convert_node(1, 0, 1)])
    before = (sys.getrefcount(src), sys.getrefcount(out))
    for profile in (False, True):
        _pyxa.execute_graph(g, {0: src}, {1: out}, profile=profile)
        assert (sys.getrefcount(src), sys.getrefcount(out)) == before


# ---- Python code run during binding ----

class FlagsSays(np.ndarray):
    """An array whose Python-level flags report a fixed writeable value."""

    def __new__(cls, shape, dtype, says):
        obj = np.zeros(shape, dtype).view(cls)
        obj.says = says
        return obj

    def __array_finalize__(self, obj):
        self.says = getattr(obj, "says", True)

    @property
    def flags(self):
        says = self.says

        class F:
            writeable = says
        return F()


def test_python_flags_refusal_counts():
    with pytest.raises(ValueError, match="(?m)^output binding array must be writeable$"):
        call({0: good_input()}, {1: FlagsSays((H, W), np.float32, False)})


@pytest.mark.parametrize("says", [True, np.True_])
def test_c_level_flag_counts_even_when_python_flags_say_writeable(says):
    arr = FlagsSays((H, W), np.float32, says)
    np.ndarray.setflags(arr, write=False)
    with pytest.raises(ValueError, match="(?m)^output binding array must be writeable$"):
        call({0: good_input()}, {1: arr})


def test_writeable_must_be_a_strict_bool():
    with pytest.raises(TypeError):
        call({0: good_input()}, {1: FlagsSays((H, W), np.float32, 1)})


def test_flags_errors_pass_through():
    class Boom(Exception):
        pass

    class BadFlags(np.ndarray):
        @property
        def flags(self):
            raise Boom("flags")

    with pytest.raises(Boom):
        call({0: good_input()}, {1: np.zeros((H, W), np.float32).view(BadFlags)})


class Meddler(np.ndarray):
    """Runs `action` when its Python-level flags are read."""

    @property
    def flags(self):
        self.action()
        return np.ndarray.flags.__get__(self)


def meddling_output(action):
    arr = np.zeros((H, W), np.float32).view(Meddler)
    arr.action = action
    return arr


def three_output_graph():
    return graph([tensor_desc(0, "uint8", H, W, 3), tensor_desc(1, "float32", H, W),
                  tensor_desc(2, "float32", H, W)], [0], [1, 2],
                 [node(1, "mul_scalar", [0], [1], value=1.0), node(2, "mul_scalar", [0], [2], value=1.0)])


@pytest.mark.parametrize("meddle, message", [
    (lambda first: first.setflags(write=False), "output binding array must be writeable"),
    (lambda first: first.resize((H * W,), refcheck=False), RANK),
    (lambda first: first.resize((W, H), refcheck=False), "binding shape mismatch (H,W)"),
    (lambda first: first.resize((H, W, 1), refcheck=False), None),
])
def test_earlier_output_changed_by_later_python_code_is_rechecked(meddle, message):
    first = np.zeros((H, W), np.float32)
    second = meddling_output(lambda: meddle(first))
    if message is None:  # (H, W, 1) still fits a one-channel tensor
        assert_binds({0: good_input()}, {1: first, 2: second}, three_output_graph())
        return
    with pytest.raises(ValueError) as info:
        _pyxa.execute_graph(three_output_graph(), {0: good_input()}, {1: first, 2: second})
    assert str(info.value) == message


def test_input_made_readonly_by_an_output_callback_is_still_fine():
    src = good_input()
    out = meddling_output(lambda: src.setflags(write=False))
    assert_binds({0: src}, {1: out})


def test_key_index_that_freezes_its_array_is_caught():
    out = good_output()

    class FreezingKey:
        def __index__(self):
            out.setflags(write=False)
            return 1

        def __hash__(self):
            return 12345

    with pytest.raises(ValueError, match="(?m)^output binding array must be writeable$"):
        call({0: good_input()}, {FreezingKey(): out})


def convert_node(nid, src, dst):
    return node(nid, "convert_dtype", [src], [dst], dest_dtype="float32", src_bits=8, dst_bits=8,
                clip_max=1.0)


def expected_convert(src):
    # x * (1 / 255) * 1 in float32, clipped at 1
    scale = np.float32(1) / np.float32(255) * np.float32(1)
    return np.minimum(src.astype(np.float32) * scale, np.float32(1))


def test_resized_output_is_written_at_its_new_address():
    # A later output's callback moves an earlier output's buffer; the engine must
    # write into the new buffer, not the freed one.
    first = np.zeros((H, W), np.float32)
    second = meddling_output(lambda: (first.resize((H, W + 7), refcheck=False),
                                      first.resize((H, W), refcheck=False)))
    src = np.arange(H * W, dtype=np.uint8).reshape(H, W)
    g = graph([tensor_desc(0, "uint8", H, W), tensor_desc(1, "float32", H, W), tensor_desc(2, "float32", H, W)],
              [0], [1, 2], [convert_node(1, 0, 1), convert_node(2, 0, 2)])
    _pyxa.execute_graph(g, {0: src}, {1: first, 2: second})
    np.testing.assert_array_equal(first, expected_convert(src))
    np.testing.assert_array_equal(np.asarray(second), expected_convert(src))


def test_row_step_of_a_padded_view_is_used():
    parent = np.full((H, W + 4), -1.0, np.float32)
    out = parent[:, 2:2 + W]
    src = np.arange(H * W, dtype=np.uint8).reshape(H, W)
    g = graph([tensor_desc(0, "uint8", H, W), tensor_desc(1, "float32", H, W)], [0], [1],
              [convert_node(1, 0, 1)])
    _pyxa.execute_graph(g, {0: src}, {1: out})
    np.testing.assert_array_equal(out, expected_convert(src))
    assert (parent[:, :2] == -1).all() and (parent[:, 2 + W:] == -1).all()
