"""Graph description parsing: every message with its exception type, the order
in which problems are found, what is accepted, and attribute conversion as the
engine sees it."""

import collections.abc
import copy

import numpy as np
import pytest

import _pyxa
from conftest import graph, node, tensor_desc

ENGINE_PREFIX = "execute_graph failed: "
GRAPH_REQUIRES = "graph requires tensor_descs, inputs, outputs, nodes"
DESC_REQUIRES = "tensor_desc requires id, dtype, height, width, channels"
NODE_REQUIRES = "node requires id, op, inputs, outputs"
ATTR_REFUSED = "attr value must be str, bool, float, int, or 1-D array"


def base_graph():
    return graph([tensor_desc(0, "float32", 2, 3), tensor_desc(1, "float32", 2, 3)], [0], [1],
                 [node(7, "mul_scalar", [0], [1], value=0.5)])


def arrays():
    return {0: np.ones((2, 3), np.float32)}, {1: np.zeros((2, 3), np.float32)}


def run(g):
    ins, outs = arrays()
    return _pyxa.execute_graph(g, ins, outs)


def assert_parses(g, ins=None, outs=None):
    """The description parses and binds: the call either succeeds or fails in the engine."""
    if ins is None:
        ins, outs = arrays()
    try:
        _pyxa.execute_graph(g, ins, outs)
    except RuntimeError as e:
        assert str(e).startswith(ENGINE_PREFIX), str(e)


def with_desc(**changes):
    def edit(g):
        for k, v in changes.items():
            if v is _DELETE:
                del g["tensor_descs"][0][k]
            else:
                g["tensor_descs"][0][k] = v
    return edit


def with_node(**changes):
    def edit(g):
        for k, v in changes.items():
            if v is _DELETE:
                del g["nodes"][0][k]
            else:
                g["nodes"][0][k] = v
    return edit


def with_attrs(attrs):
    return with_node(attrs=attrs)


def with_graph(**changes):
    def edit(g):
        for k, v in changes.items():
            if v is _DELETE:
                del g[k]
            else:
                g[k] = v
    return edit


_DELETE = object()

# (edit of the base graph, exception type, exact message)
GRAPH_LEVEL = [
    (with_graph(tensor_descs=_DELETE), ValueError, GRAPH_REQUIRES),
    (with_graph(inputs=_DELETE), ValueError, GRAPH_REQUIRES),
    (with_graph(outputs=_DELETE), ValueError, GRAPH_REQUIRES),
    (with_graph(nodes=_DELETE), ValueError, GRAPH_REQUIRES),
    # presence is checked before type
    (with_graph(nodes=_DELETE, tensor_descs=5), ValueError, GRAPH_REQUIRES),
    (with_graph(tensor_descs=tuple(base_graph()["tensor_descs"])), TypeError,
     "tensor_descs and nodes must be lists"),
    (with_graph(nodes=tuple(base_graph()["nodes"])), TypeError, "tensor_descs and nodes must be lists"),
    (with_graph(nodes={}), TypeError, "tensor_descs and nodes must be lists"),
]

DESC_LEVEL = [
    (with_graph(tensor_descs=[[0, "uint8"]]), TypeError, "tensor_desc must be a dict"),
    (with_desc(id=_DELETE), ValueError, DESC_REQUIRES),
    (with_desc(dtype=_DELETE), ValueError, DESC_REQUIRES),
    (with_desc(height=_DELETE), ValueError, DESC_REQUIRES),
    (with_desc(width=_DELETE), ValueError, DESC_REQUIRES),
    (with_desc(channels=_DELETE), ValueError, DESC_REQUIRES),
    (with_desc(stride=_DELETE), ValueError, "tensor_desc requires stride"),
    (with_desc(dtype="UINT8"), ValueError, "unsupported dtype string: UINT8"),
    (with_desc(dtype="float64"), ValueError, "unsupported dtype string: float64"),
    (with_desc(dtype=""), ValueError, "unsupported dtype string: "),
    (with_desc(dtype=4), ValueError, "dtype enum out of range"),
    (with_desc(dtype=-1), ValueError, "dtype enum out of range"),
    (with_desc(dtype=2.0), TypeError, "dtype must be str or int"),
    (with_desc(dtype=None), TypeError, "dtype must be str or int"),
    (with_desc(dtype=b"uint8"), TypeError, "dtype must be str or int"),
    (with_desc(dtype=2**70), TypeError, "dtype must be str or int"),
]

# Python's own conversion errors reach the caller unchanged (message not fixed).
DESC_CONVERSIONS = [
    (with_desc(id=-1), OverflowError),
    (with_desc(id=2**32), OverflowError),
    (with_desc(id="a"), TypeError),
    (with_desc(height=-1), OverflowError),
    (with_desc(width=2**64), OverflowError),
    (with_desc(channels=1.5), TypeError),
    (with_desc(stride=None), TypeError),
    (with_desc(origin_y=None), TypeError),
    (with_desc(origin_x=2**63), OverflowError),
    (with_desc(canvas_x0=-(2**63) - 1), OverflowError),
    (with_desc(canvas_y0="0"), TypeError),
    (with_desc(canvas_width=-1), OverflowError),
    (with_desc(canvas_height=2**64), OverflowError),
    (with_node(id=-1), OverflowError),
    (with_node(id=2**32), OverflowError),
    (with_node(id=None), TypeError),
]

ID_LISTS = [
    (with_graph(inputs=5), TypeError, "expected list/tuple of tensor ids"),
    (with_graph(inputs={0: 0}), TypeError, "expected list/tuple of tensor ids"),
    (with_graph(inputs={0}), TypeError, "expected list/tuple of tensor ids"),
    (with_graph(outputs=None), TypeError, "expected list/tuple of tensor ids"),
    (with_graph(inputs="12"), TypeError, "tensor id must be int"),
    (with_graph(inputs=[-1]), TypeError, "tensor id must be int"),
    (with_graph(inputs=[2**32]), TypeError, "tensor id must be int"),
    (with_graph(outputs=[1.0]), TypeError, "tensor id must be int"),
    (with_graph(outputs=[None]), TypeError, "tensor id must be int"),
    (with_node(inputs=7), TypeError, "expected list/tuple of tensor ids"),
    (with_node(outputs=[0, "1"]), TypeError, "tensor id must be int"),
    (with_node(inputs=(2**40,)), TypeError, "tensor id must be int"),
]

NODE_LEVEL = [
    (with_graph(nodes=[None]), TypeError, "node must be a dict"),
    (with_graph(nodes=[[7, "mul_scalar"]]), TypeError, "node must be a dict"),
    (with_node(id=_DELETE), ValueError, NODE_REQUIRES),
    (with_node(op=_DELETE), ValueError, NODE_REQUIRES),
    (with_node(inputs=_DELETE), ValueError, NODE_REQUIRES),
    (with_node(outputs=_DELETE), ValueError, NODE_REQUIRES),
    (with_node(op=5), TypeError, "node op must be str"),
    (with_node(op=b"mul_scalar"), TypeError, "node op must be str"),
    (with_node(op="mul\ud800"), TypeError, "node op must be str"),
    (with_node(op="mul\0scalar"), ValueError, "op name contains NUL"),
    # both id lists are looked up before either is parsed
    (with_node(inputs=5, outputs=_DELETE), ValueError, NODE_REQUIRES),
]

ATTRS = [
    (with_attrs([]), TypeError, "node attrs must be a dict"),
    (with_attrs((("value", 1.0),)), TypeError, "node attrs must be a dict"),
    (with_attrs({"val\0ue": 1.0}), ValueError, "attr key contains NUL"),
    (with_attrs({"value": "a\0b"}), ValueError, "attr string contains NUL"),
    (with_attrs({"value": []}), ValueError, "attr array must be non-empty"),
    (with_attrs({"value": np.array([])}), ValueError, "attr array must be non-empty"),
    (with_attrs({"value": np.zeros(0, np.int16)}), ValueError, "attr array must be non-empty"),
    (with_attrs({"value": np.zeros((2, 2))}), ValueError, "attr array must be 1-D"),
    (with_attrs({"value": np.zeros((1, 1, 1), np.float32)}), ValueError, "attr array must be 1-D"),
    (with_attrs({"value": np.zeros((0, 3), np.int32)}), ValueError, "attr array must be 1-D"),
    (with_attrs({"value": np.arange(6.0)[::2]}), TypeError, "The given array is not contiguous"),
    (with_attrs({"value": np.arange(6, dtype=np.float32)[::-1]}), TypeError,
     "The given array is not contiguous"),
    (with_attrs({"value": (1, 2)}), TypeError, ATTR_REFUSED),
    (with_attrs({"value": 2**64}), TypeError, ATTR_REFUSED),
    (with_attrs({"value": -(2**63) - 1}), TypeError, ATTR_REFUSED),
    (with_attrs({"value": None}), TypeError, ATTR_REFUSED),
    (with_attrs({"value": {"a": 1}}), TypeError, ATTR_REFUSED),
    (with_attrs({"value": b"bytes"}), TypeError, ATTR_REFUSED),
    (with_attrs({"value": object()}), TypeError, ATTR_REFUSED),
    (with_attrs({"value": np.True_}), TypeError, ATTR_REFUSED),
]

TABLE = GRAPH_LEVEL + DESC_LEVEL + ID_LISTS + NODE_LEVEL + ATTRS


@pytest.mark.parametrize("edit, exc, message", TABLE)
def test_message_table(edit, exc, message):
    g = base_graph()
    edit(g)
    with pytest.raises(exc) as info:
        run(g)
    assert type(info.value) is exc
    assert str(info.value) == message


@pytest.mark.parametrize("not_a_dict", [None, [], "graph", 3, (("nodes", []),)])
def test_graph_must_be_a_dict(not_a_dict):
    with pytest.raises(TypeError, match="^graph must be a dict$"):
        run(not_a_dict)


@pytest.mark.parametrize("edit, exc", DESC_CONVERSIONS)
def test_python_conversion_errors_pass_through(edit, exc):
    g = base_graph()
    edit(g)
    with pytest.raises(exc) as info:
        run(g)
    assert type(info.value) is exc
    assert str(info.value) not in {DESC_REQUIRES, NODE_REQUIRES, "tensor id must be int"}


class Boom(Exception):
    pass


class RaisingIndex:
    def __index__(self):
        raise Boom("index")


class BadDtype:
    class _Name:
        @property
        def name(self):
            raise Boom("dtype.name")

    dtype = _Name()


class BadItem:
    class _D:
        name = "float64"

    dtype = _D()

    def item(self):
        raise Boom("item")


class FailingSequence(collections.abc.Sequence):
    def __len__(self):
        raise Boom("len")

    def __getitem__(self, i):
        return 0


class FailingItem(collections.abc.Sequence):
    def __len__(self):
        return 1

    def __getitem__(self, i):
        raise Boom("getitem")


class ClassLookupRaises:
    """The Sequence test itself raises: isinstance() reads __class__."""

    @property
    def __class__(self):
        raise Boom("isinstance")


@pytest.mark.parametrize("edit, exc, text", [
    (with_attrs({"value": ["1.0"]}), TypeError, None),
    (with_attrs({"value": [1.0, None]}), TypeError, None),
    (with_attrs({"value": np.array(["x"])}), ValueError, "invalid literal"),
    (with_attrs({"value": np.array([object()], dtype=object)}), TypeError, "int()"),
    (with_attrs({"value": BadDtype()}), Boom, "dtype.name"),
    (with_attrs({"value": BadItem()}), Boom, "item"),
    (with_attrs({1: 2.0}), TypeError, None),
    (with_graph(inputs=FailingSequence()), Boom, "len"),
    (with_graph(inputs=ClassLookupRaises()), Boom, "isinstance"),
    (with_node(outputs=FailingItem()), Boom, "getitem"),
    (with_desc(height=RaisingIndex()), Boom, "index"),
])
def test_errors_raised_by_python_pass_through(edit, exc, text):
    g = base_graph()
    edit(g)
    with pytest.raises(exc) as info:
        run(g)
    assert str(info.value) != ATTR_REFUSED
    if text is not None:
        assert text in str(info.value)


@pytest.mark.parametrize("edit, exc, message", [
    # a node without op fails on its id conversion first
    (with_graph(nodes=[{"id": "a"}]), TypeError, None),
    # dtype is converted before height's presence is checked
    (with_desc(dtype="bad", height=_DELETE), ValueError, "unsupported dtype string: bad"),
    # sizes are converted before the stride's presence is checked
    (with_desc(width="x", stride=_DELETE), TypeError, None),
    # descriptions before graph inputs, graph inputs before outputs
    (lambda g: (with_desc(id=_DELETE)(g), with_graph(inputs=5)(g)), ValueError, DESC_REQUIRES),
    (lambda g: (with_graph(inputs=[-1], outputs=5)(g)), TypeError, "tensor id must be int"),
    (lambda g: (with_graph(inputs=5, outputs=[-1])(g)), TypeError, "expected list/tuple of tensor ids"),
    # graph id lists before nodes
    (lambda g: (with_graph(outputs=[None])(g), with_node(op=5)(g)), TypeError, "tensor id must be int"),
    # node inputs before outputs, id lists before attrs
    (with_node(inputs=[-1], outputs=3), TypeError, "tensor id must be int"),
    (with_node(outputs=3, attrs=[]), TypeError, "expected list/tuple of tensor ids"),
    # op type before the id lists' presence
    (with_node(op=1, inputs=_DELETE), TypeError, "node op must be str"),
    # the first failing node decides
    (lambda g: g["nodes"].extend([{"id": 1}, None]), ValueError, NODE_REQUIRES),
])
def test_first_problem_decides(edit, exc, message):
    g = base_graph()
    edit(g)
    with pytest.raises(exc) as info:
        run(g)
    assert type(info.value) is exc
    if message is not None:
        assert str(info.value) == message


def test_graph_is_parsed_before_arrays_are_bound():
    g = base_graph()
    g["nodes"][0]["op"] = 3
    with pytest.raises(TypeError, match="^node op must be str$"):
        _pyxa.execute_graph(g, "not a dict", "not a dict")


class IdSeq(collections.abc.Sequence):
    def __init__(self, *ids):
        self.ids = ids

    def __len__(self):
        return len(self.ids)

    def __getitem__(self, i):
        return self.ids[i]


class Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


class ListSub(list):
    pass


class DictSub(dict):
    pass


@pytest.mark.parametrize("edit", [
    lambda g: None,
    with_graph(inputs=(0,)),
    with_graph(inputs=range(0, 1)),
    with_graph(outputs=IdSeq(1)),
    with_graph(outputs=np.array([1])),  # an ndarray is no Sequence: see below
    with_graph(tensor_descs=ListSub(base_graph()["tensor_descs"]), nodes=ListSub(base_graph()["nodes"])),
    with_desc(id=np.uint32(0), height=np.int64(2), width=Index(3), channels=True),
    with_desc(origin_y=-5, origin_x=2**63 - 1, canvas_x0=-(2**63), canvas_y0=0,
              canvas_width=2**64 - 1, canvas_height=0),
    with_desc(extra_key="ignored"),
    with_node(id=2**32 - 1, inputs=IdSeq(Index(0)), outputs=(np.uint8(1),), extra=None),
    with_node(attrs=None),
    with_node(inputs=[]),
    with_node(op=""),
    with_node(op="\u00e9l\u00e8ve"),
    with_attrs({}),
    with_attrs(DictSub(value=0.5)),
])
def test_accepted_descriptions(edit):
    g = base_graph()
    edit(g)
    if isinstance(g["outputs"], np.ndarray):
        # ndarrays are not registered as collections.abc.Sequence
        with pytest.raises(TypeError, match="^expected list/tuple of tensor ids$"):
            run(g)
        return
    assert_parses(g)


def test_dict_subclass_graph_is_accepted():
    assert_parses(DictSub(base_graph()))


@pytest.mark.parametrize("dtype_value, accepts, refused_by", [
    ("uint8", np.uint8, np.uint16),
    ("uint16", np.uint16, np.float32),
    ("float32", np.float32, np.uint8),
    (0, np.uint8, np.float32),
    (1, np.uint16, np.uint8),
    (3, np.float32, np.uint16),
    (True, np.uint16, np.uint8),
    (False, np.uint8, np.uint16),
    (np.int8(3), np.float32, np.uint8),
])
def test_dtype_spellings(dtype_value, accepts, refused_by):
    # The parsed dtype shows in which array types the tensor binds.
    def g_with(dtype_spec):
        g = base_graph()
        g["tensor_descs"][0]["dtype"] = dtype_spec
        return g

    outs = {1: np.zeros((2, 3), np.float32)}
    assert_parses(g_with(dtype_value), {0: np.zeros((2, 3), accepts)}, outs)
    refused = np.dtype(refused_by).name
    with pytest.raises(TypeError, match=rf"(?m)^binding dtype mismatch \({refused}\)$"):
        _pyxa.execute_graph(g_with(dtype_value), {0: np.zeros((2, 3), refused_by)}, outs)


@pytest.mark.parametrize("dtype_value", ["float16", 2])
def test_float16_tensors_bind_no_array(dtype_value):
    g = base_graph()
    g["tensor_descs"][0]["dtype"] = dtype_value
    for dt in (np.uint8, np.uint16, np.float32):
        with pytest.raises(TypeError, match="^binding dtype mismatch"):
            _pyxa.execute_graph(g, {0: np.zeros((2, 3), dt)}, {1: np.zeros((2, 3), np.float32)})
    with pytest.raises(TypeError, match=r"(?m)^binding array must be uint8/uint16/float32$"):
        _pyxa.execute_graph(g, {0: np.zeros((2, 3), np.float16)}, {1: np.zeros((2, 3), np.float32)})


@pytest.mark.parametrize("value", [
    "text", True, 0.1, 3, 2**32 + 5, -(2**63), np.float64(1.5), np.float32(1.5), np.int16(4),
    np.array(2.0), np.array(2.0, np.float32), np.array(7), np.array([1.0]), np.array([1], np.uint64),
    np.array([1.5, 2.5], np.float32), np.arange(8, dtype=np.int16)[::2], np.array([1, 2], ">f8"),
    [1, 2.5], [Index(3)], ListSub([1.0]), Index(9), np.array([True, False]),
])
def test_accepted_attribute_values(value):
    g = base_graph()
    g["nodes"][0]["attrs"] = {"other": value, "value": 0.5}
    assert_parses(g)


class MutatingIndex:
    """Adds a key to the attrs dict that is being converted."""

    def __init__(self, target):
        self.target = target

    def __index__(self):
        self.target["added"] = 1
        return 1


def test_attrs_dict_changed_during_conversion_is_an_internal_fault():
    attrs = {"value": 0.5}
    attrs["k"] = MutatingIndex(attrs)
    g = base_graph()
    g["nodes"][0]["attrs"] = attrs
    with pytest.raises(BaseException) as info:
        run(g)
    assert not isinstance(info.value, Exception)
    assert "changed" in str(info.value)


@pytest.mark.parametrize("meddle", [
    lambda descs, nodes: descs.append(dict(descs[0])),  # would never end if re-read
    lambda descs, nodes: nodes.append(dict(nodes[0])),
    lambda descs, nodes: (descs.clear(), nodes.clear()),
])
def test_lists_edited_during_parsing_are_read_as_they_were(meddle):
    g = base_graph()
    descs, nodes = g["tensor_descs"], g["nodes"]

    class Meddling:
        def __index__(self):
            meddle(descs, nodes)
            return 3

    descs[0]["width"] = Meddling()
    ins, outs = arrays()
    _pyxa.execute_graph(g, ins, outs)
    np.testing.assert_array_equal(outs[1], ins[0] * np.float32(0.5))


class HugeSequence(collections.abc.Sequence):
    def __len__(self):
        return 2**62

    def __getitem__(self, i):
        return 0


@pytest.mark.parametrize("edit", [
    with_graph(inputs=range(2**40)),
    with_graph(outputs=HugeSequence()),
    with_node(inputs=range(2**62)),
])
def test_impossible_id_list_lengths_fail_at_once(edit):
    g = base_graph()
    edit(g)
    with pytest.raises(MemoryError):
        run(g)


# ---- attribute conversion seen through the ops that read the attributes ----

def _mul(value, src=None):
    src = np.arange(6, dtype=np.float32).reshape(2, 3) if src is None else src
    out = np.zeros_like(src)
    g = base_graph()
    g["nodes"][0]["attrs"] = {"value": value}
    _pyxa.execute_graph(g, {0: src}, {1: out})
    return src, out


@pytest.mark.parametrize("value, factor", [
    (0.1, np.float32(0.1)),
    (np.float32(0.25), np.float32(0.25)),
    (np.array(0.75, np.float32), np.float32(0.75)),
    (1e300, np.float32(np.inf)),
])
def test_float32_scalars_reach_the_kernel(value, factor):
    src, out = _mul(value)
    with np.errstate(invalid="ignore"):
        np.testing.assert_array_equal(out, src * factor)


@pytest.mark.parametrize("value", [3, True, np.float64(0.5), np.array(0.5), [0.5], "0.5"])
def test_non_float32_scalars_are_refused_by_a_float_attribute(value):
    with pytest.raises(RuntimeError, match=r"(?m)^execute_graph failed: INVALID_ARGUMENT \(1\)$"):
        _mul(value)


@pytest.mark.parametrize("left, top", [(2**32 + 1, True), (Index(1), np.int64(1)), (-(2**32) + 1, 1)])
def test_integer_attributes_keep_their_low_32_bits(left, top):
    src = np.arange(20, dtype=np.uint8).reshape(4, 5)
    out = np.zeros((2, 3), np.uint8)
    g = graph([tensor_desc(0, "uint8", 4, 5), tensor_desc(1, "uint8", 2, 3)], [0], [1],
              [node(1, "view", [0], [1], top=top, left=left, width=3, height=2)])
    _pyxa.execute_graph(g, {0: src}, {1: out})
    np.testing.assert_array_equal(out, src[1:3, 1:4])


@pytest.mark.parametrize("value, expected", [
    ([1, 2.5, Index(3)], [1, 3, 3]),
    (np.array([7.0, 300.0], np.float32), [7, 255]),
])
def test_float_arrays_reach_the_fill_kernel(value, expected):
    out = np.zeros((2, 3, len(expected)), np.uint8)
    g = graph([tensor_desc(1, "uint8", 2, 3, len(expected))], [], [1], [node(1, "fill", [], [1], value=value)])
    _pyxa.execute_graph(g, {}, {1: out})
    np.testing.assert_array_equal(out, np.broadcast_to(np.array(expected, np.uint8), out.shape))


@pytest.mark.parametrize("value", [np.array([1.0, 2.0]), np.array([1, 2], np.int16), np.array([1.0], ">f4")])
def test_other_arrays_are_not_float32_arrays(value):
    out = np.zeros((2, 3), np.uint8)
    g = graph([tensor_desc(1, "uint8", 2, 3)], [], [1], [node(1, "fill", [], [1], value=value)])
    with pytest.raises(RuntimeError, match=r"(?m)^execute_graph failed: INVALID_ARGUMENT \(1\)$"):
        _pyxa.execute_graph(g, {}, {1: out})
