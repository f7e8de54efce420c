"""Memory the caller hands over: chains far longer than a thread's C stack,
arrays whose data pointer is not aligned to their element size, and output
memory that overlaps an input or another output."""

import threading

import numpy as np
import pytest

import _pyxa
from conftest import desc_for, graph, node, tensor_desc

F32 = np.float32
CONVERT = {"src_bits": 0, "dst_bits": 0, "clip_max": -1.0}


def in_small_stack_thread(fn, stack_bytes=256 * 1024):
    """Runs fn() in a thread with a small C stack; returns its result or re-raises."""
    result = {}

    def body():
        try:
            result["value"] = fn()
        except BaseException as e:  # noqa: BLE001 - handed back to the test
            result["error"] = e

    previous = threading.stack_size(stack_bytes)
    try:
        t = threading.Thread(target=body)
        t.start()
        t.join()
    finally:
        threading.stack_size(previous)
    if "error" in result:
        raise result["error"]
    return result["value"]


@pytest.mark.parametrize("length", [20_001, 100_001])
def test_long_pointwise_chain_runs_in_a_small_stack(length):
    """Rows are pulled without one set of C frames per node: a chain this long
    overflowed a 256 KiB thread stack when each node recursed into its producer."""
    descs = [tensor_desc(i, F32, 4, 5) for i in range(length + 1)]
    nodes = [node(i, "mul_scalar", [i], [i + 1], value=2.0 if i % 2 == 0 else 0.5) for i in range(length)]
    src = np.arange(20, dtype=F32).reshape(4, 5)
    out = np.zeros((4, 5), F32)

    def run():
        _pyxa.execute_graph(graph(descs, [0], [length], nodes), {0: src}, {length: out})

    in_small_stack_thread(run)
    np.testing.assert_array_equal(out, src * 2)  # an odd count of alternating x2, x0.5


def misaligned(shape, dtype, fill=None):
    """An array whose data pointer is one byte past an element boundary."""
    dtype = np.dtype(dtype)
    raw = np.zeros(int(np.prod(shape)) * dtype.itemsize + 1, np.uint8)
    a = np.ndarray(shape, dtype, buffer=raw, offset=1)
    if fill is not None:
        a[...] = fill
    assert not a.flags.aligned
    return a


@pytest.mark.parametrize("side", ["input", "output", "both"])
@pytest.mark.parametrize("op, attrs, in_dtype, out_dtype, reference", [
    ("mul_scalar", {"value": 3.0}, np.float32, np.float32, lambda x: x * np.float32(3)),
    ("convert_dtype", {"dest_dtype": "float32", **CONVERT}, np.uint16, np.float32, lambda x: x.astype(np.float32) / 65535),
    ("convert_dtype", {"dest_dtype": "uint16", **CONVERT}, np.float32, np.uint16,
     lambda x: np.round(np.clip(x, 0, 1) * 65535).astype(np.uint16)),
])
def test_misaligned_arrays_are_accepted(side, op, attrs, in_dtype, out_dtype, reference):
    """Misaligned arrays give the aligned result; under the sanitizer build this
    also proves no kernel reads or writes an element through a misaligned pointer."""
    values = (np.arange(3 * 7 * 3).reshape(3, 7, 3) * 37 % 1000).astype(in_dtype)
    if in_dtype == np.float32:
        values = values / np.float32(1000)
    src = misaligned(values.shape, in_dtype, values) if side in ("input", "both") else values.copy()
    out = misaligned(values.shape, out_dtype, 7) if side in ("output", "both") else np.full(values.shape, 7, out_dtype)
    g = graph([desc_for(0, src), desc_for(1, out)], [0], [1], [node(1, op, [0], [1], **attrs)])
    _pyxa.execute_graph(g, {0: src}, {1: out})
    np.testing.assert_allclose(out, reference(values), rtol=1e-6, atol=1)


def two_views(dtype=F32, shift=1):
    """Two (4, 5) views of one buffer, the second `shift` elements after the first."""
    buf = np.arange(20 + shift, dtype=dtype)
    return buf[:20].reshape(4, 5), buf[shift:].reshape(4, 5)


def mul(nid, src, dst, value=2.0):
    return node(nid, "mul_scalar", [src], [dst], value=value)


def overlap_case(name):
    """(graph, inputs, outputs) of one refused overlap."""
    a = np.arange(20, dtype=F32).reshape(4, 5)
    d = [tensor_desc(i, F32, 4, 5) for i in range(3)]
    if name == "shifted input and output":
        src, dst = two_views()
        return graph(d[:2], [0], [1], [mul(1, 0, 1)]), {0: src}, {1: dst}
    if name == "output inside the input's row gap":
        wide = np.zeros((4, 10), F32)
        src, dst = wide[:, :5], wide[:, 3:8]
        return graph(d[:2], [0], [1], [mul(1, 0, 1)]), {0: src}, {1: dst}
    if name == "two outputs":
        o1, o2 = two_views()
        return graph(d, [0], [1, 2], [mul(1, 0, 1), mul(2, 0, 2)]), {0: a}, {1: o1, 2: o2}
    if name == "in place through a rotation":
        return graph(d[:2], [0], [1], [node(1, "orientation", [0], [1], orientation=3)]), {0: a}, {1: a}
    if name == "in place with a second reader":
        return graph(d, [0], [1, 2], [mul(1, 0, 1), mul(2, 0, 2)]), {0: a}, {1: a, 2: np.zeros((4, 5), F32)}
    raise AssertionError(name)


@pytest.mark.parametrize("name, message", [
    ("shifted input and output",
     "output tensor 1 overlaps input tensor 0 (same buffer, different layout); pass a separate array"),
    ("output inside the input's row gap",
     "output tensor 1 overlaps input tensor 0 (same buffer, different layout); pass a separate array"),
    ("two outputs", "output tensor 2 overlaps output tensor 1; pass a separate array"),
    ("in place through a rotation",
     "output tensor 1 overlaps input tensor 0 (in place, allowed only when pointwise ops alone read the input); "
     "pass a separate array"),
    ("in place with a second reader",
     "output tensor 1 overlaps input tensor 0 (in place, allowed only when pointwise ops alone read the input); "
     "pass a separate array"),
])
def test_overlapping_memory_is_refused_before_any_pixel_work(name, message):
    g, inputs, outputs = overlap_case(name)
    before = {k: v.copy() for k, v in {**inputs, **{-1 - k: v for k, v in outputs.items()}}.items()}
    with pytest.raises(ValueError) as e:
        _pyxa.execute_graph(g, inputs, outputs)
    assert str(e.value) == message
    after = {**inputs, **{-1 - k: v for k, v in outputs.items()}}
    for k, v in before.items():
        np.testing.assert_array_equal(after[k], v)


@pytest.mark.parametrize("case", ["one node", "two nodes", "three channels", "interleaved rows", "misaligned"])
def test_memory_that_is_read_before_written_is_accepted(case):
    """Exact in-place use along pointwise ops, and views of one buffer that share
    no byte, run and give the out-of-place result."""
    m = np.array([[0.5, 0.25, 0.0], [0.0, 1.0, 0.5], [0.25, 0.0, 0.75]], F32)
    if case == "three channels":
        a = np.arange(4 * 5 * 3, dtype=F32).reshape(4, 5, 3) / F32(120)
        src = out = a
        nodes = [node(1, "matrix_3x3", [0], [1], matrix=m.ravel().tolist())]
        expected = np.einsum("ij,hwj->hwi", m.astype(np.float64), a.astype(np.float64))
    else:
        if case == "interleaved rows":
            buf = np.arange(40, dtype=F32).reshape(8, 5)
            src, out = buf[::2], buf[1::2]
        elif case == "misaligned":
            src = out = misaligned((4, 5), F32, np.arange(20).reshape(4, 5))
        else:
            src = out = np.arange(20, dtype=F32).reshape(4, 5)
        nodes = [mul(1, 0, 1, 3.0)] if case != "two nodes" else [mul(1, 0, 2, 3.0), mul(2, 2, 1, 0.5)]
        expected = src * np.float32(3) * (np.float32(0.5) if case == "two nodes" else 1)
    expected = np.array(expected, dtype=F32)
    d = [desc_for(0, src), desc_for(1, out), desc_for(2, src)]
    _pyxa.execute_graph(graph(d, [0], [1], nodes), {0: src}, {1: out})
    np.testing.assert_allclose(out, expected, rtol=1e-6)
