"""Generated calls of execute_graph and the promise each one must keep.

A case is a graph (chains and DAGs of every op and opcode, built through the
op table), arrays for its inputs and outputs, and at most a few mutations of
attributes, descriptions, nodes or bindings. `check_case` runs it and asserts:
only documented exception types; no byte written outside the outputs' pixels
(guard bytes around and between output rows); nothing written at all after a
TypeError, ValueError or OverflowError; a success gives the same bytes when
rerun into differently filled outputs; and an unmutated graph gives the bytes
of the same nodes run one per call.

The generator draws through a small interface so that the same code serves
hypothesis (tests/test_fuzz.py, with shrinking) and plain seeded random
numbers (scripts/fuzz_campaign.py, where every case is replayable by seed).
"""

from __future__ import annotations

import math
import random

import numpy as np

import _pyxa
from pyxa import OPS, Graph

DOCUMENTED = (TypeError, ValueError, RuntimeError, MemoryError, OverflowError)
NOTHING_WRITTEN = (TypeError, ValueError, OverflowError)
GUARD = 64  # guard bytes before and after every output
NUMERIC = ("uint8", "uint16", "float32")
SIZES = (1, 2, 3, 4, 5, 7, 8, 9, 16, 17, 33)
HOSTILE_INTS = (-1, 0, 1, 3, 255, 65536, 2**31 - 1, 2**31, 2**32, 2**63 - 1, 2**63, -2**63, 10**30)
HOSTILE_FLOATS = (math.nan, math.inf, -math.inf, -0.0, -1.0, 1e-45, 3.5e38, 1e300, 0.5)


class RandomDraw:
    """Draws from a seeded random.Random."""

    def __init__(self, seed):
        self.rng = random.Random(seed)

    def int(self, lo, hi):
        return self.rng.randint(lo, hi)

    def pick(self, seq):
        return seq[self.rng.randrange(len(seq))]

    def chance(self, p):
        return self.rng.random() < p


class HypothesisDraw:
    """Draws through hypothesis' `data` object, so failures shrink."""

    def __init__(self, data):
        from hypothesis import strategies as st
        self.data, self.st = data, st

    def int(self, lo, hi):
        return self.data.draw(self.st.integers(lo, hi))

    def pick(self, seq):
        return seq[self.int(0, len(seq) - 1)]

    def chance(self, p):
        return self.int(0, 999) < p * 1000


# ---- graphs ---------------------------------------------------------------------------------

def accepts(op, t):
    """Whether op reads tensor t (None: the op reads nothing)."""
    if not op.input_dtypes:
        return t is None
    if t is None or t.dtype.name not in op.input_dtypes:
        return False
    return op.input_channels is None or t.channels in op.input_channels


def valid_attrs(d, op, x, h, w):
    """The table's examples, with some values redrawn in their documented range."""
    attrs = {a.name: a.example for a in op.attrs if a.example is not None}
    for a in op.attrs:
        if a.kind == "int" and a.minimum is not None and d.chance(0.3):
            hi = a.maximum if a.maximum is not None else a.minimum + max(h, w)
            attrs[a.name] = d.int(int(a.minimum), int(min(hi, a.minimum + 64)))
        elif a.kind in ("float", "float64") and d.chance(0.3):
            attrs[a.name] = d.pick((0.0, 0.25, 0.5, 1.0, 2.0, -0.5))
        elif a.kind == "bool" and d.chance(0.3):
            attrs[a.name] = d.chance(0.5)
        elif a.kind == "cfa" and d.chance(0.5):
            attrs[a.name] = d.pick(("RGGB", "BGGR", "GRBG", "GBRG", "rggb"))
        elif a.kind == "dtype" and d.chance(0.5):
            attrs[a.name] = d.pick(NUMERIC)
        elif a.kind == "str" and a.choices and d.chance(0.5):
            attrs[a.name] = d.pick(a.choices)
    if op.output_shape == "given":
        attrs["shape"] = (d.pick(SIZES), d.pick(SIZES)) if d.chance(0.5) else (h, w)
        attrs["dtype"] = d.pick(NUMERIC)
    return attrs


def build_graph(d):
    """A valid graph through the builder: a chain, with branches now and then."""
    h, w = d.pick(SIZES), d.pick(SIZES)
    g = Graph()
    tensors = []
    for _ in range(d.int(1, 2)):
        c = d.pick((1, 1, 3))
        tensors.append(g.input((h, w, c) if c > 1 else (h, w), d.pick(NUMERIC)))
    for _ in range(d.int(1, 6)):
        x = tensors[-1] if d.chance(0.7) else d.pick(tensors)
        ops = [op for op in OPS if accepts(op, x)] or [op for op in OPS if accepts(op, None)]
        if d.chance(0.1):
            ops = [op for op in OPS if accepts(op, None)]
        op = d.pick(ops)
        src = x if op.input_dtypes else None
        attrs = valid_attrs(d, op, src, src.height if src else h, src.width if src else w)
        try:
            tensors.append(g.add(op.name, *([src] if src is not None else []), **attrs))
        except Exception:  # the builder refused these attributes for this image: draw on
            continue
    made = [t for t in tensors if t.id not in {i.id for i in g.inputs}]
    if not made:
        return None
    outs = [made[-1]] + [t for t in made[:-1] if d.chance(0.3)]
    g.output(*outs)
    return g


# ---- mutations ------------------------------------------------------------------------------

def mutate_value(d, v):
    kind = d.int(0, 5)
    if kind == 0:  # another type
        return d.pick(("x", None, [], {}, 1.5, 7, True, b"ab", [1, "a"], np.float64(1.0), (1.0, 2.0)))
    if kind == 1 and isinstance(v, (list, tuple, np.ndarray)) and len(v):  # another length
        a = np.asarray(v)
        n = d.pick((0, 1, len(a) - 1, len(a) + 1, len(a) * 7))
        return np.resize(a, n) if n else a[:0]
    if kind == 2:  # hostile numbers
        return d.pick(HOSTILE_INTS) if isinstance(v, (int, np.integer)) else d.pick(HOSTILE_FLOATS)
    if kind == 3 and isinstance(v, np.ndarray) and v.size and v.dtype.kind == "f":
        a = v.copy()
        with np.errstate(over="ignore"):  # 1e300 into float32 becomes inf, as intended
            a.flat[d.int(0, a.size - 1)] = d.pick(HOSTILE_FLOATS)
        return a
    if kind == 4 and isinstance(v, np.ndarray):
        return v.astype(d.pick((np.float32, np.float64, np.int32, np.int64, np.uint8)))
    return d.pick(HOSTILE_INTS + HOSTILE_FLOATS)


def mutate_graph(d, gd):
    """One change to the engine dict; returns its name."""
    nodes, descs = gd["nodes"], gd["tensor_descs"]
    what = d.int(0, 9)
    if what <= 3:
        n = d.pick(nodes)
        if n["attrs"] and d.chance(0.85):
            name = d.pick(sorted(n["attrs"]))
            if d.chance(0.15):
                del n["attrs"][name]
                return f"attr {name} removed"
            n["attrs"][name] = mutate_value(d, n["attrs"][name])
            return f"attr {name} mutated"
        n["attrs"]["bogus"] = 1
        return "unknown attr"
    if what <= 6:
        t = d.pick(descs)
        field = d.pick(("height", "width", "channels", "stride", "dtype", "id"))
        if field == "dtype":
            t[field] = d.pick(("float16", "int8", "float64", "", 3, None))
        elif field == "stride" and d.chance(0.6):
            t[field] = t[field] + d.pick((-1, 1, 2, 3, 1 << 20))
        else:
            t[field] = d.pick((0, 1, 2, 5, 2**20, 2**31, 2**40, 2**62, -1, 2**64))
        return f"desc {field}"
    n = d.pick(nodes)
    if what == 7:
        n["op"] = d.pick(("nope", "", "MUL_SCALAR", "view\0", "x" * 300, 5))
        return "op name"
    if what == 8:
        n["inputs"] = d.pick(([], n["outputs"][:1], [10**6], [-1], n["inputs"] * 2, ["0"]))
        return "node inputs"
    n["outputs"] = d.pick(([], gd["inputs"][:1], n["outputs"] * 2, [10**6], [2**32]))
    return "node outputs"


# ---- arrays ---------------------------------------------------------------------------------

def fill_bytes(rng_seed, n):
    return np.random.default_rng(rng_seed).integers(0, 256, n, dtype=np.uint8)


class OutputBuffer:
    """An output array inside a larger byte buffer: guard bytes before and after,
    and between rows when the row stride is wider than a row."""

    def __init__(self, shape, dtype, row_pad=0, misalign=0, seed=0):
        dtype = np.dtype(dtype)
        h, w = shape[0], shape[1]
        c = shape[2] if len(shape) == 3 else 1
        row = w * c * dtype.itemsize
        self.stride = row + row_pad * dtype.itemsize
        span = (h - 1) * self.stride + row if h and row else 0
        self.raw = fill_bytes(seed, GUARD + misalign + span + GUARD)
        strides = (self.stride, c * dtype.itemsize, dtype.itemsize)[:len(shape)]
        self.array = np.ndarray(shape, dtype, buffer=self.raw, offset=GUARD + misalign, strides=strides)
        self.pixels = np.zeros(self.raw.size, bool)
        for y in range(h):
            o = GUARD + misalign + y * self.stride
            self.pixels[o:o + row] = True

    def refill(self, seed):
        self.raw[self.pixels] = fill_bytes(seed, int(self.pixels.sum()))


def input_array(d, t):
    shape = (t.height, t.width, t.channels) if t.channels > 1 else (t.height, t.width)
    if t.dtype == np.float32:
        a = (np.arange(int(np.prod(shape)), dtype=np.float32).reshape(shape) * 0.37) % 1.3 - 0.1
        if d.chance(0.2):
            a.flat[d.int(0, a.size - 1)] = d.pick((np.nan, np.inf, -np.inf, -0.0))
        return a.astype(np.float32)
    top = 255 if t.dtype == np.uint8 else 4095 if d.chance(0.5) else 65535
    return (np.arange(int(np.prod(shape))).reshape(shape) * 97 % (top + 1)).astype(t.dtype)


def misaligned_copy(a):
    raw = np.zeros(a.nbytes + 1, np.uint8)
    b = np.ndarray(a.shape, a.dtype, buffer=raw, offset=1)
    b[...] = a
    return b


def mutate_binding(d, inputs, outputs):
    """One change to the arrays of a call; returns its name."""
    what = d.int(0, 8)
    side = inputs if (d.chance(0.5) and inputs) else outputs
    key = d.pick(sorted(side))
    a = side[key]
    if what == 0:
        with np.errstate(invalid="ignore"):  # NaN cast to an integer type: any value will do
            side[key] = a.astype(d.pick((np.float64, np.int16, np.uint8, np.float32, np.uint16)))
        return "dtype"
    if what == 1:
        wide = np.zeros(a.shape[:1] + (a.shape[1] * 2,) + a.shape[2:], a.dtype)
        side[key] = wide[:, ::2]
        return "column stride"
    if what == 2:
        b = a.copy()
        b.flags.writeable = False
        side[key] = b
        return "read-only"
    if what == 3:
        side[key] = misaligned_copy(a)
        return "misaligned"
    if what == 4 and inputs:
        src = d.pick(sorted(inputs))
        o = d.pick(sorted(outputs))
        base = inputs[src]
        if base.nbytes >= outputs[o].nbytes and base.dtype == outputs[o].dtype:
            flat = base.reshape(-1)
            shift = d.pick((0, 1))
            n = outputs[o].size
            if flat.size >= n + shift:
                outputs[o] = flat[shift:shift + n].reshape(outputs[o].shape)
                return "output over input"
        return "no overlap possible"
    if what == 5:
        side[key] = np.asfortranarray(a) if a.ndim >= 2 else a
        return "fortran order"
    if what == 6:
        side[key] = a[..., None] if d.chance(0.5) else a.reshape(-1)
        return "rank"
    if what == 7:
        side[d.pick((10**6, -1, "0", 2**40))] = a
        return "extra key"
    del side[key]
    return "missing binding"


# ---- one case -------------------------------------------------------------------------------

def make_case(d):
    g = build_graph(d)
    if g is None:
        return None
    gd = g.engine_graph()
    arrays = {t.id: input_array(d, t) for t in g.inputs}
    out_specs = {}
    for t in g.outputs:
        shape = (t.height, t.width, t.channels) if t.channels > 1 else (t.height, t.width)
        pad = d.pick((0, 0, 0, 1, 3))
        out_specs[t.id] = (shape, t.dtype.name, pad, d.pick((0, 0, 0, 1)) if t.dtype.itemsize > 1 else 0)
    mutations = []
    if d.chance(0.5):
        for _ in range(d.int(1, 2)):
            mutations.append(mutate_graph(d, gd))
    case = {"graph": gd, "inputs": arrays, "outputs": out_specs, "mutations": mutations,
            "binding_mutation": None, "binding_seed": d.int(0, 2**31)}
    if d.chance(0.25):
        case["binding_mutation"] = True
    return case


def fused_pairing_differs(gd):
    """A view with the default oob_valid lets a later demosaic in its chain
    read real pixels beyond the window, where the view run alone has none:
    such graphs differ from their nodes run one per call by design."""
    ops = [n["op"] for n in gd["nodes"]]
    views = [n for n in gd["nodes"] if n["op"] == "view" and bool(n["attrs"].get("oob_valid", True))]
    return bool(views) and any(op.endswith("demosaic") for op in ops)


# Opcodes that by design leave some output samples as the output held them:
# a defective sample with no good neighbour, planes beyond "num_planes".
PARTIAL_WRITERS = ("fix_bad_pixels_constant", "warp_rectilinear", "warp_fisheye")


def keeps_caller_bytes(gd):
    """Outputs whose bytes may legitimately depend on what the output held:
    graph outputs no node writes (a node writes its first output only) and
    whatever reads them, and every output of a graph with a partial writer."""
    produced = {n["outputs"][0] for n in gd["nodes"] if isinstance(n.get("outputs"), list) and n["outputs"]}
    if any(n.get("op") in PARTIAL_WRITERS for n in gd["nodes"]) or set(gd["outputs"]) - produced:
        return set(gd["outputs"])
    return set()


def needed_nodes(gd):
    """The nodes whose work reaches a graph output (the engine runs only those)."""
    producer = {n["outputs"][0]: n for n in gd["nodes"]}
    need, todo = set(), list(gd["outputs"])
    while todo:
        n = producer.get(todo.pop())
        if n is not None and n["id"] not in need:
            need.add(n["id"])
            todo.extend(i for i in n["inputs"] if i not in gd["inputs"])
    return [n for n in gd["nodes"] if n["id"] in need]


def node_by_node(gd, inputs):
    """Every needed node as its own call, intermediates in NumPy arrays."""
    descs = {t["id"]: t for t in gd["tensor_descs"]}
    have = dict(inputs)
    for n in needed_nodes(gd):
        t = descs[n["outputs"][0]]
        shape = (t["height"], t["width"], t["channels"]) if t["channels"] > 1 else (t["height"], t["width"])
        out = np.zeros(shape, t["dtype"])
        ids = list(n["inputs"]) + list(n["outputs"])
        g = {"tensor_descs": [descs[i] for i in ids], "inputs": list(n["inputs"]), "outputs": list(n["outputs"]),
             "nodes": [n]}
        _pyxa.execute_graph(g, {i: have[i] for i in n["inputs"]}, {n["outputs"][0]: out})
        have[n["outputs"][0]] = out
    return have


def bind(case):
    """Fresh arrays for one run: inputs, output buffers and the bound outputs."""
    inputs = {k: v.copy() for k, v in case["inputs"].items()}
    bufs = {k: OutputBuffer(*layout[:1], layout[1], layout[2], layout[3], seed=k + 1) for k, layout in case["outputs"].items()}
    outputs = {k: b.array for k, b in bufs.items()}
    what = None
    if case["binding_mutation"]:
        what = mutate_binding(RandomDraw(case["binding_seed"]), inputs, outputs)
    return inputs, bufs, outputs, what


def check_case(case):
    """Runs a case and asserts the promise; returns the outcome's name."""
    gd = case["graph"]
    inputs, bufs, outputs, what = bind(case)
    in_before = {k: np.array(v, copy=True) for k, v in inputs.items() if isinstance(v, np.ndarray)}
    raw_before = {k: b.raw.copy() for k, b in bufs.items()}
    try:
        _pyxa.execute_graph(gd, inputs, outputs)
    except DOCUMENTED as e:
        outcome = type(e).__name__
    else:
        outcome = "ok"
    # An output accepted over an input's memory (in place) may change that
    # input as soon as pixel work starts, even when a later node fails.
    nothing_written = outcome in ("TypeError", "ValueError", "OverflowError")
    overlapped = what == "output over input" and not nothing_written
    for k, b in bufs.items():
        if nothing_written:
            assert np.array_equal(b.raw, raw_before[k]), f"output {k} written after {outcome}"
        else:
            outside = ~b.pixels
            assert np.array_equal(b.raw[outside], raw_before[k][outside]), f"bytes written outside output {k}"
    if not overlapped:
        for k, v in in_before.items():
            assert np.array_equal(inputs[k], v, equal_nan=v.dtype.kind == "f"), f"input {k} changed"
    if outcome != "ok" or overlapped:
        return outcome
    varying = keeps_caller_bytes(gd)
    first = {k: o.tobytes() for k, o in outputs.items() if k not in varying}
    for k, b in bufs.items():
        if outputs[k] is b.array:
            b.refill(k + 101)
    _pyxa.execute_graph(gd, inputs, outputs)
    for k, o in first.items():
        assert outputs[k].tobytes() == o, f"output {k} differs on a rerun"
    if not case["mutations"] and what is None and not varying and not fused_pairing_differs(gd):
        alone = node_by_node(gd, inputs)
        for k, o in outputs.items():
            assert alone[k].tobytes() == o.tobytes(), f"output {k} differs from its nodes run one per call"
    return outcome
