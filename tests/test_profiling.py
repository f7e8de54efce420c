"""Profiling results: one entry per executed node in execution order, chain
nodes in chain order, nothing for pruned nodes or failed calls."""
import numpy as np
import pytest

import _pyxa
from conftest import desc_for, graph, node, tensor_desc

F32 = np.float32
RNG = np.random.default_rng(5)
POLY = dict(top=0, left=0, bottom=4, right=6, start_plane=0, num_planes=1, row_pitch=1, col_pitch=1,
            coefficients=np.array([0.1, 0.5], F32), degree=1)


def f32(tid, h=4, w=6, c=1):
    return tensor_desc(tid, "float32", h, w, c)


def run(g, a, outs, **kw):
    return _pyxa.execute_graph(g, {0: a}, outs, **kw)


def test_without_profile_returns_none():
    a = RNG.uniform(0, 1, (4, 6)).astype(F32)
    g = graph([f32(0), f32(1)], [0], [1], [node(1, "mul_scalar", [0], [1], value=2.0)])
    assert run(g, a, {1: np.zeros_like(a)}) is None


def test_entries_are_dicts_with_node_id_then_time():
    a = RNG.uniform(0, 1, (4, 6)).astype(F32)
    g = graph([f32(0), f32(1)], [0], [1], [node(7, "mul_scalar", [0], [1], value=2.0)])
    prof = run(g, a, {1: np.zeros_like(a)}, profile=True)
    assert len(prof) == 1
    assert list(prof[0]) == ["node_id", "exclusive_ns"]
    assert prof[0]["node_id"] == 7 and isinstance(prof[0]["exclusive_ns"], int) and prof[0]["exclusive_ns"] >= 0


@pytest.mark.parametrize("layout", ["chain", "chain_opcode_chain", "opcodes"])
def test_one_entry_per_executed_node_in_execution_order(layout):
    a = RNG.uniform(0, 1, (4, 6)).astype(F32)
    ops = {"chain": ["mul", "mul", "mul"], "chain_opcode_chain": ["mul", "poly", "mul"],
           "opcodes": ["poly", "poly", "poly"]}[layout]
    nodes = []
    for i, op in enumerate(ops):
        nid = 100 - i  # ids need not follow list order
        if op == "mul":
            nodes.append(node(nid, "mul_scalar", [i], [i + 1], value=0.9))
        else:
            nodes.append(node(nid, "map_polynomial", [i], [i + 1], **POLY))
    # A node whose output nobody wants gets no entry.
    nodes.append(node(5, "mul_scalar", [0], [9], value=1.0))
    g = graph([f32(t) for t in range(4)] + [f32(9)], [0], [3], nodes)
    prof = run(g, a, {3: np.zeros_like(a)}, profile=True)
    assert [p["node_id"] for p in prof] == [100, 99, 98]


def test_tiled_chain_reports_every_step():
    a = RNG.uniform(0, 1, (300, 520, 3)).astype(F32)
    g = graph([desc_for(0, a), desc_for(1, a), f32(2, 520, 300, 3), f32(3, 520, 300, 3)], [0], [3],
              [node(1, "mul_scalar", [0], [1], value=0.5), node(2, "orientation", [1], [2], orientation=6),
               node(3, "mul_scalar", [2], [3], value=2.0)])
    out = np.zeros((520, 300, 3), F32)
    prof = run(g, a, {3: out}, profile=True)
    assert [p["node_id"] for p in prof] == [1, 2, 3]
    assert sum(p["exclusive_ns"] for p in prof) > 0  # the first tile is always measured
    np.testing.assert_array_equal(out, np.rot90(a * F32(0.5), -1) * F32(2.0))


def test_row_chain_is_sampled_and_reports_every_step():
    a = RNG.uniform(0, 1, (25, 400)).astype(F32)
    g = graph([f32(0, 25, 400), f32(1, 25, 400), f32(2, 25, 400)], [0], [2],
              [node(1, "mul_scalar", [0], [1], value=0.5), node(2, "sub_scalar", [1], [2], value=0.25)])
    prof = run(g, a, {2: np.zeros_like(a)}, profile=True)
    assert [p["node_id"] for p in prof] == [1, 2]
    assert sum(p["exclusive_ns"] for p in prof) > 0


def test_duplicate_node_ids_give_separate_entries():
    a = RNG.uniform(0, 1, (4, 6)).astype(F32)
    g = graph([f32(0), f32(1), f32(2)], [0], [1, 2],
              [node(4, "mul_scalar", [0], [1], value=2.0), node(4, "mul_scalar", [0], [2], value=3.0)])
    prof = run(g, a, {1: np.zeros_like(a), 2: np.zeros_like(a)}, profile=True)
    assert [p["node_id"] for p in prof] == [4, 4]


def test_failed_call_returns_no_entries():
    a = RNG.uniform(0, 1, (4, 6)).astype(F32)
    bad = dict(POLY, degree=-1)  # refused by the opcode when it runs, after the chain ran
    g = graph([f32(0), f32(1), f32(2)], [0], [2],
              [node(1, "mul_scalar", [0], [1], value=2.0), node(2, "map_polynomial", [1], [2], **bad)])
    with pytest.raises(RuntimeError, match="INVALID_ARGUMENT"):
        run(g, a, {2: np.zeros_like(a)}, profile=True)
