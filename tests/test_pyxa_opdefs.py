"""The op table agrees with the engine: each op's example node runs, every
attribute the table calls required is refused by the engine when left out, and
every float attribute is refused in the other float width."""

import json

import numpy as np
import pytest

import _pyxa
import pyxa
from pyxa import OPS

FLOAT_SWAP = {"float": np.float64, "float64": np.float32, "floats": np.float64, "floats64": np.float32}


def example(op):
    """The op's example node from the table's own examples and defaults, with its input arrays."""
    g = pyxa.Graph()
    inputs = []
    if op.example_input is not None:
        h, w, c, dtype = op.example_input
        x = g.input((h, w, c) if c > 1 else (h, w), dtype)
        inputs.append(x)
    attrs = {a.name: a.example for a in op.attrs if a.example is not None}
    extra = {"shape": (4, 4), "dtype": "float32"} if op.output_shape == "given" else {}
    g.add(op.name, *inputs, **extra, **attrs)
    arrays = {t.id: np.full(t.shape, 0.5 if t.dtype == np.float32 else 100, t.dtype) for t in g.inputs}
    return g, arrays


def run_engine(g, graph_dict, arrays):
    out = g.outputs[0]
    _pyxa.execute_graph(graph_dict, arrays, {out.id: np.zeros(out.shape, out.dtype)})


@pytest.mark.parametrize("op", OPS, ids=[op.name for op in OPS])
def test_example_node_runs(op):
    g, arrays = example(op)
    run_engine(g, g.engine_graph(), arrays)


REQUIRED = [(op, a.name) for op in OPS for a in op.attrs if a.required]


@pytest.mark.parametrize("op, name", REQUIRED, ids=[f"{op.name}.{name}" for op, name in REQUIRED])
def test_engine_refuses_node_without_required_attribute(op, name):
    g, arrays = example(op)
    d = g.engine_graph()
    del d["nodes"][0]["attrs"][name]
    with pytest.raises(RuntimeError) as refused:
        run_engine(g, d, arrays)
    assert refused.value.args == ("execute_graph failed: INVALID_ARGUMENT (1)",)
    if op.kind == "op":  # built-in ops name the attribute they miss; opcodes report a status only
        assert any(f'"{name}"' in note for note in getattr(refused.value, "__notes__", []))


FLOATS = [(op, a.name, a.kind) for op in OPS for a in op.attrs
          if a.kind in FLOAT_SWAP and (a.required or a.example is not None)]


@pytest.mark.parametrize("op, name, kind", FLOATS, ids=[f"{op.name}.{name}" for op, name, _ in FLOATS])
def test_engine_refuses_attribute_in_the_other_float_width(op, name, kind):
    g, arrays = example(op)
    d = g.engine_graph()
    attrs = d["nodes"][0]["attrs"]
    attrs[name] = np.asarray(attrs[name], FLOAT_SWAP[kind])
    if kind in ("float", "float64"):
        attrs[name] = FLOAT_SWAP[kind](attrs[name])
    with pytest.raises(RuntimeError) as refused:
        run_engine(g, d, arrays)
    assert refused.value.args == ("execute_graph failed: INVALID_ARGUMENT (1)",)


def test_table_dumps_as_json_with_every_op_once():
    ops = json.loads(pyxa.table_as_json())
    assert [op["name"] for op in ops] == [op.name for op in OPS]
    assert len({op["name"] for op in ops}) == len(OPS)
