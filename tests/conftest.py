"""Shared helpers for the pyxa test suite: graph-description builders and the
module fixture. Tests import the built module `_pyxa` from the environment (an
installed wheel, or PYTHONPATH pointing at a build directory), and the
development tooling (`sample_dng`, the DNG writer) from the repository's tools/."""

import sys
from pathlib import Path

import numpy as np
import pytest

import _pyxa

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tools"))

DTYPE_NAMES = {np.uint8: "uint8", np.uint16: "uint16", np.float32: "float32"}


def dtype_name(dtype):
    """The graph-description name of a NumPy dtype."""
    return DTYPE_NAMES[np.dtype(dtype).type]


def tensor_desc(tid, dtype, height, width, channels=1, stride=None, **extra):
    """A tensor description dict; `dtype` is a NumPy dtype or a name string,
    `stride` defaults to the packed row size."""
    name = dtype if isinstance(dtype, str) else dtype_name(dtype)
    esize = {"uint8": 1, "uint16": 2, "float16": 2, "float32": 4}[name]
    d = {"id": tid, "dtype": name, "height": height, "width": width, "channels": channels,
         "stride": width * channels * esize if stride is None else stride}
    d.update(extra)
    return d


def desc_for(tid, array, **extra):
    """A tensor description matching a NumPy array of shape (H, W) or (H, W, C)."""
    h, w = array.shape[:2]
    c = array.shape[2] if array.ndim == 3 else 1
    return tensor_desc(tid, array.dtype, h, w, c, **extra)


def node(nid, op, inputs, outputs, **attrs):
    """A node dict; keyword arguments become its attributes."""
    n = {"id": nid, "op": op, "inputs": list(inputs), "outputs": list(outputs)}
    if attrs:
        n["attrs"] = attrs
    return n


def graph(descs, inputs, outputs, nodes):
    return {"tensor_descs": list(descs), "inputs": list(inputs), "outputs": list(outputs),
            "nodes": list(nodes)}


def single_node_graph(op, src, dst, **attrs):
    """A one-node graph from tensor 0 (array `src`) to tensor 1 (array `dst`)."""
    return graph([desc_for(0, src), desc_for(1, dst)], [0], [1], [node(1, op, [0], [1], **attrs)])


def run_single(op, src, dst, **attrs):
    """Runs a one-node graph writing into `dst`; returns `dst`."""
    _pyxa.execute_graph(single_node_graph(op, src, dst, **attrs), {0: src}, {1: dst})
    return dst


def run_chain_fused(src, chain, profile=False):
    """Runs a line of nodes, given as (op, attrs, output shape, output dtype),
    as one graph from `src`; returns the final array (and the profile)."""
    arrays = [src] + [np.zeros(shape, dt) for _, _, shape, dt in chain]
    descs = [desc_for(i, a) for i, a in enumerate(arrays)]
    nodes = [node(i + 1, op, [i], [i + 1], **attrs) for i, (op, attrs, _, _) in enumerate(chain)]
    n = len(chain)
    prof = _pyxa.execute_graph(graph(descs, [0], [n], nodes), {0: src}, {n: arrays[n]}, profile=profile)
    return (arrays[n], prof) if profile else arrays[n]


def run_chain_one_by_one(src, chain):
    """The same line of nodes, one graph per node, every intermediate in a NumPy array."""
    cur = src
    for i, (op, attrs, shape, dt) in enumerate(chain):
        out = np.zeros(shape, dt)
        g = graph([desc_for(0, cur), desc_for(1, out)], [0], [1], [node(i + 1, op, [0], [1], **attrs)])
        _pyxa.execute_graph(g, {0: cur}, {1: out})
        cur = out
    return cur


@pytest.fixture
def pyxa():
    return _pyxa
