"""The execution driver through execute_graph: validation statuses, pruning,
node order, chain splits, opcode items between chains, caller-supplied
intermediates and strided arrays."""
import re

import numpy as np
import pytest

import _pyxa
from conftest import desc_for, graph, node, tensor_desc

F32 = np.float32
RNG = np.random.default_rng(7)


def status(name, code):
    return re.escape(f"execute_graph failed: {name} ({code})")


INVALID, GRAPH, UNKNOWN, INTERNAL = (status("INVALID_ARGUMENT", 1), status("GRAPH_INVALID", 11),
                                     status("UNKNOWN_OP", 10), status("INTERNAL", 13))
POLY = dict(top=0, left=0, bottom=3, right=4, start_plane=0, num_planes=1, row_pitch=1, col_pitch=1,
            coefficients=np.array([0.25, 0.5], F32), degree=1)


def mul(nid, src, dst, v):
    return node(nid, "mul_scalar", [src], [dst], value=v)


def poly(nid, srcs, dsts):
    return node(nid, "map_polynomial", srcs, dsts, **POLY)


def f32(tid, h=3, w=4, **extra):
    return tensor_desc(tid, "float32", h, w, **extra)


def line_graph(nodes, ids=(0, 1, 2, 3), outputs=None, extra_descs=()):
    descs = [f32(t) for t in ids] + list(extra_descs)
    return graph(descs, [ids[0]], outputs or [ids[-1]], nodes)


def src_array():
    return RNG.uniform(0, 1, (3, 4)).astype(F32)


# Each case: (graph, extra inputs, expected message). The input is tensor 0, the output tensor 3.
def _cases():
    ok_chain = [mul(1, 0, 1, 2.0), mul(2, 1, 2, 0.5), mul(3, 2, 3, 3.0)]
    yield "no_nodes", line_graph([]), {}, INVALID
    yield "duplicate_tensor_id", line_graph(ok_chain, extra_descs=[f32(2)]), {}, GRAPH
    yield "stride_not_multiple_of_pixel", line_graph(
        ok_chain, extra_descs=[tensor_desc(9, "uint16", 2, 10, 3, stride=64)]), {}, INVALID
    yield "stride_too_small", line_graph(ok_chain, extra_descs=[tensor_desc(9, "uint16", 2, 10, 3, stride=54)]), {}, INVALID
    yield "buffer_size_overflows", line_graph(
        ok_chain, extra_descs=[tensor_desc(9, "uint8", 2 ** 33, 2 ** 31, stride=2 ** 33)]), {}, GRAPH
    yield "origin_end_overflows", line_graph(ok_chain, extra_descs=[f32(9, origin_x=2 ** 63 - 2)]), {}, GRAPH
    yield "canvas_end_overflows", line_graph(ok_chain, extra_descs=[f32(9, canvas_x0=2 ** 63 - 2)]), {}, GRAPH
    yield "node_reads_undescribed", line_graph([mul(1, 0, 1, 2.0), mul(2, 7, 2, 1.0), mul(3, 2, 3, 1.0)]), {}, GRAPH
    yield "tensor_written_twice", line_graph(ok_chain + [mul(4, 0, 2, 1.0)]), {}, GRAPH
    yield "node_reads_own_output", line_graph([mul(1, 0, 1, 2.0), node(2, "sub_scalar", [1, 2], [2], value=0.0),
                                               mul(3, 2, 3, 1.0)]), {}, GRAPH
    yield "cycle", line_graph([mul(1, 0, 3, 1.0), mul(2, 2, 1, 1.0), mul(3, 1, 2, 1.0)]), {}, GRAPH
    yield "unknown_op_in_pruned_node", line_graph(ok_chain + [node(4, "no_such_op", [0], [9])],
                                                 extra_descs=[f32(9)]), {}, UNKNOWN
    yield "opcode_with_two_outputs", line_graph([poly(1, [0], [3, 9])], extra_descs=[f32(9)]), {}, GRAPH
    yield "opcode_without_inputs", line_graph([poly(1, [], [3])]), {}, INVALID
    yield "opcode_reads_unwritten_tensor", line_graph([poly(1, [9], [3])], extra_descs=[f32(9)]), {}, INTERNAL
    yield "input_binding_for_graph_output", line_graph(ok_chain), {3: np.zeros((3, 4), F32)}, GRAPH
    yield "extra_binding_nobody_reads", line_graph(ok_chain, extra_descs=[f32(9)]), {9: np.zeros((3, 4), F32)}, GRAPH


CASES = list(_cases())


@pytest.mark.parametrize("g,extra,message", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_validation_status(g, extra, message):
    out = np.full((3, 4), 5.0, F32)
    with pytest.raises(RuntimeError, match=message):
        _pyxa.execute_graph(g, {0: src_array(), **extra}, {3: out})
    if message != INTERNAL:  # every check before pixel work leaves the output untouched
        assert (out == 5.0).all()


def test_input_binding_for_tensor_both_input_and_output():
    a = src_array()
    g = line_graph([mul(1, 0, 3, 2.0)])
    g["inputs"] = [0, 3]
    with pytest.raises(RuntimeError, match=GRAPH):
        _pyxa.execute_graph(g, {0: a, 3: src_array()}, {3: np.zeros_like(a)})


def test_empty_outputs_list_is_invalid():
    g = line_graph([mul(1, 0, 1, 2.0)], ids=(0, 1))
    g["outputs"] = []
    with pytest.raises(RuntimeError, match=INVALID):
        _pyxa.execute_graph(g, {0: src_array()}, {})


def test_demosaic_cannot_be_asked_beyond_its_image():
    """A 1 x 1 view reading past the window's image into a wider output."""
    m = RNG.uniform(0, 1, (4, 4)).astype(F32)
    g = graph([desc_for(0, m), tensor_desc(1, "float32", 4, 4, 3), tensor_desc(2, "float32", 1, 3, 3)], [0], [2],
              [node(1, "bilinear_demosaic", [0], [1], cfa_pattern="RGGB"),
               node(2, "view", [1], [2], top=3, left=3, width=1, height=1)])
    with pytest.raises(RuntimeError, match=INVALID):
        _pyxa.execute_graph(g, {0: m}, {2: np.zeros((1, 3, 3), F32)})


def test_line_of_pointwise_nodes_is_one_chain_and_correct():
    a = src_array()
    out = np.zeros_like(a)
    prof = _pyxa.execute_graph(line_graph([mul(1, 0, 1, 2.0), mul(2, 1, 2, 0.5), mul(3, 2, 3, 3.0)]),
                               {0: a}, {3: out}, profile=True)
    np.testing.assert_array_equal(out, a * F32(2.0) * F32(0.5) * F32(3.0))
    assert [p["node_id"] for p in prof] == [1, 2, 3]


@pytest.mark.parametrize("split", ["graph_output", "read_twice"])
def test_split_chains_give_the_same_pixels(split):
    a = src_array()
    o3, o9 = np.zeros_like(a), np.zeros_like(a)
    nodes = [mul(1, 0, 1, 2.0), mul(2, 1, 2, 0.5), mul(3, 2, 3, 3.0)]
    if split == "graph_output":
        g = line_graph(nodes, outputs=[3, 1])
        _pyxa.execute_graph(g, {0: a}, {3: o3, 1: o9})
        np.testing.assert_array_equal(o9, a * F32(2.0))
    else:
        g = line_graph(nodes + [mul(4, 1, 9, 7.0)], outputs=[3, 9], extra_descs=[f32(9)])
        _pyxa.execute_graph(g, {0: a}, {3: o3, 9: o9})
        np.testing.assert_array_equal(o9, a * F32(2.0) * F32(7.0))
    np.testing.assert_array_equal(o3, a * F32(2.0) * F32(0.5) * F32(3.0))


def test_opcode_between_chains():
    a = src_array()
    out = np.zeros_like(a)
    g = line_graph([mul(1, 0, 1, 0.5), poly(2, [1], [2]), mul(3, 2, 3, 2.0)])
    prof = _pyxa.execute_graph(g, {0: a}, {3: out}, profile=True)
    want = (F32(0.25) + F32(0.5) * (a * F32(0.5))) * F32(2.0)
    np.testing.assert_allclose(out, want, rtol=1e-6)
    assert [p["node_id"] for p in prof] == [1, 2, 3]


def test_consecutive_opcodes_reuse_pool_buffers():
    a = src_array()
    out = np.zeros_like(a)
    ids = (0, 1, 2, 3, 4, 5)
    g = line_graph([poly(n, [n - 1], [n]) for n in range(1, 6)], ids=ids)
    _pyxa.execute_graph(g, {0: a}, {5: out})
    want = a
    for _ in range(5):
        want = F32(0.25) + F32(0.5) * want
    np.testing.assert_allclose(out, want, rtol=1e-6)


def test_an_opcode_runs_on_its_input_buffer_only_when_nothing_reads_it_later():
    # Tensor 1 (a pool buffer) is read by polynomial node 2, whose output feeds
    # node 3, and then by node 4. Node 2 may run on its input's buffer only
    # when no reader is left; node 4 must see tensor 1 as node 1 made it.
    a = src_array()
    outs = {3: np.zeros_like(a), 4: np.zeros_like(a)}
    g = graph([f32(t) for t in range(5)], [0], [3, 4],
              [mul(1, 0, 1, 0.5), poly(2, [1], [2]), poly(3, [2], [3]), poly(4, [1], [4])])
    _pyxa.execute_graph(g, {0: a}, outs)
    once = F32(0.25) + F32(0.5) * (a * F32(0.5))
    np.testing.assert_allclose(outs[4], once, rtol=1e-6)
    np.testing.assert_allclose(outs[3], F32(0.25) + F32(0.5) * once, rtol=1e-6)


def test_independent_nodes_run_in_list_order():
    a = src_array()
    outs = {t: np.zeros_like(a) for t in (1, 2, 3)}
    g = graph([f32(t) for t in range(4)], [0], [1, 2, 3],
              [mul(30, 0, 3, 3.0), mul(10, 0, 1, 1.0), mul(20, 0, 2, 2.0)])
    prof = _pyxa.execute_graph(g, {0: a}, outs, profile=True)
    assert [p["node_id"] for p in prof] == [30, 10, 20]
    for t in (1, 2, 3):
        np.testing.assert_array_equal(outs[t], a * F32(t))


def test_dependencies_come_before_list_order():
    a = src_array()
    out = np.zeros_like(a)
    g = line_graph([mul(3, 2, 3, 3.0), mul(2, 1, 2, 2.0), mul(1, 0, 1, 1.5)])
    prof = _pyxa.execute_graph(g, {0: a}, {3: out}, profile=True)
    assert [p["node_id"] for p in prof] == [1, 2, 3]
    np.testing.assert_array_equal(out, a * F32(1.5) * F32(2.0) * F32(3.0))


def test_nodes_not_reaching_an_output_do_not_run():
    a = src_array()
    out = np.zeros_like(a)
    g = line_graph([mul(1, 0, 3, 2.0), mul(2, 0, 9, 5.0), mul(4, 9, 8, 1.0)], extra_descs=[f32(9), f32(8)])
    prof = _pyxa.execute_graph(g, {0: a}, {3: out}, profile=True)
    assert [p["node_id"] for p in prof] == [1]


@pytest.mark.parametrize("canvas_extra,producer_runs", [(0, False), (1, True)])
def test_caller_supplied_intermediate(canvas_extra, producer_runs):
    """A bound intermediate replaces its producer, unless its canvas reaches
    beyond its own extent (then it is accepted but not used)."""
    a, m = src_array(), src_array()
    out = np.zeros_like(a)
    descs = [f32(0), f32(1, canvas_width=4 + canvas_extra), f32(3)]
    g = graph(descs, [0], [3], [mul(1, 0, 1, 2.0), mul(2, 1, 3, 3.0)])
    prof = _pyxa.execute_graph(g, {0: a, 1: m}, {3: out}, profile=True)
    mid = a * F32(2.0) if producer_runs else m
    np.testing.assert_array_equal(out, mid * F32(3.0))
    assert [p["node_id"] for p in prof] == ([1, 2] if producer_runs else [2])


@pytest.mark.parametrize("shape", [(5, 7), (1, 9), (6, 1)])
def test_strided_input_and_output(shape):
    h, w = shape
    big_in = RNG.uniform(0, 1, (h, w + 5, 3)).astype(F32)
    big_out = np.full((h, w + 3, 3), -1.0, F32)
    src, dst = big_in[:, 2:2 + w], big_out[:, 1:1 + w]
    g = graph([desc_for(0, src), desc_for(1, dst), desc_for(2, dst)], [0], [2],
              [mul(1, 0, 1, 0.5), node(2, "matrix_3x3", [1], [2], matrix=[0, 1, 0, 0, 0, 1, 1, 0, 0])])
    _pyxa.execute_graph(g, {0: src}, {2: dst})
    np.testing.assert_array_equal(dst, (src * F32(0.5))[..., [1, 2, 0]])
    assert (big_out[:, 0] == -1).all() and (big_out[:, 1 + w:] == -1).all()


def test_unallocatable_pool_buffer_is_out_of_memory():
    """A 2^59-byte intermediate between a chain and an opcode cannot be allocated."""
    a = src_array()
    g = graph([f32(0), tensor_desc(1, "float32", 2 ** 31, 2 ** 26), f32(3)], [0], [3],
              [node(1, "fill", [], [1], value=np.array([0.5], F32)), poly(2, [1], [3])])
    with pytest.raises(RuntimeError, match=status("OUT_OF_MEMORY", 4)):
        _pyxa.execute_graph(g, {0: a}, {3: np.zeros_like(a)})
