"""Graph: builds a development graph one op at a time (checking every node as it
is added), derives ids, strides and intermediate images, runs it with one
execute_graph call, and converts to and from the plain graph dict."""

from __future__ import annotations

from collections.abc import Callable, Mapping, Sequence
from typing import TYPE_CHECKING, Any, Union

import numpy as np
import numpy.typing as npt

from ._binding_notes import add_binding_note, refused_binding
from ._convert import to_engine, to_json
from ._errors import GraphError, GraphTypeError, did_you_mean, node_label
from ._opdefs import OPS_BY_NAME, OpDef
from ._ops import OpMethods
from ._rules import CROSS_CHECKS, derive, output_of
from ._tensor import Tensor
from ._types import NodeTimings

__all__ = ["Graph", "Tensor"]

ENGINE_DTYPES = ("uint8", "uint16", "float32")

ArrayMap = Union[Mapping[Union[Tensor, int], np.ndarray], Sequence[np.ndarray], np.ndarray, None]
InputArrays = Union[np.ndarray, Mapping[Union[Tensor, int], np.ndarray]]


class _Node:
    __slots__ = ("id", "op", "inputs", "outputs", "attrs")

    def __init__(self, node_id: int, op: str, inputs: list[int], outputs: list[int], attrs: dict[str, Any]):
        self.id = node_id
        self.op = op
        self.inputs = inputs
        self.outputs = outputs
        self.attrs = attrs


def _dtype(value: npt.DTypeLike, what: str) -> np.dtype:
    try:
        dt = np.dtype(value)
    except TypeError:
        raise GraphTypeError(f'{what} needs a dtype such as "uint8" or np.uint8, got {value!r}') from None
    if dt.name not in ENGINE_DTYPES:
        raise GraphError(f"{what} must be uint8, uint16 or float32, got {dt.name}")
    return dt


class Graph(OpMethods):
    """A development graph, built op by op and run in one fused call.

    >>> g = Graph()
    >>> raw = g.input((4000, 6000), "uint16")
    >>> rgb = g.bilinear_demosaic(g.normalize_raw(raw, black_level=256, white_level=4095),
    ...                           cfa_pattern="RGGB")
    >>> # g.run(mosaic) returns the float32 (4000, 6000, 3) image

    Every op and correction opcode is a method named like the op, whose
    keyword arguments are named like its attributes; see ``docs/ops.md`` or
    ``help(pyxa.Graph.normalize_raw)``. Each call checks its node at once and
    returns the Tensor of the image it makes. Images that nothing consumes are
    the graph's outputs unless ``output`` names them.
    """

    def __init__(self) -> None:
        self._tensors: dict[int, Tensor] = {}
        self._nodes: list[_Node] = []
        self._inputs: list[int] = []
        self._outputs: list[int] | None = None
        self._arrays: dict[int, np.ndarray] = {}
        self.last_profile: NodeTimings | None = None
        """Per-node timings of the last ``run(..., profile=True)``: dicts with
        "node_id", "op" and "exclusive_ns"."""

    if not TYPE_CHECKING:  # mypy keeps flagging misspelled methods statically

        def __getattr__(self, name: str) -> Any:
            # Only reached when normal lookup fails: a misspelled op gets a suggestion.
            if name.startswith("_"):
                raise AttributeError(name)
            raise AttributeError(f"'Graph' has no op or method \"{name}\"{did_you_mean(name, OPS_BY_NAME)}")

    # -- building ---------------------------------------------------------------------------------
    def input(self, source: np.ndarray | Sequence[int], dtype: npt.DTypeLike | None = None) -> Tensor:
        """Declares an input image, from an array or from a shape and a dtype.

        ``g.input(mosaic)`` takes the array's shape and dtype and remembers the
        array as the default for ``run``; ``g.input((h, w), "uint16")`` or
        ``g.input((h, w, 3), np.float32)`` declares the image only.
        """
        if isinstance(source, np.ndarray):
            if dtype is not None:
                raise GraphError("input: give an array or a (shape, dtype), not both")
            shape = source.shape
            dt = _dtype(source.dtype, "input")
        else:
            if dtype is None:
                raise GraphError("input: a shape needs a dtype, e.g. g.input((h, w), \"uint16\")")
            shape = tuple(source)
            dt = _dtype(dtype, "input")
        if len(shape) not in (2, 3) or any(not isinstance(s, (int, np.integer)) or s < 1 for s in shape):
            raise GraphError(f"input: shape must be (height, width) or (height, width, channels), got {shape}")
        t = self._new_tensor(dt, int(shape[0]), int(shape[1]), int(shape[2]) if len(shape) == 3 else 1)
        self._inputs.append(t.id)
        if isinstance(source, np.ndarray):
            self._arrays[t.id] = source
        return t

    def output(self, *tensors: Tensor) -> None:
        """Names the graph's outputs, in the order ``run_all`` returns them.

        Without it, every image that no op consumes is an output."""
        for t in tensors:
            self._own(t, "output")
        self._outputs = [t.id for t in tensors]

    def add(self, op: str, *inputs: Tensor, dtype: npt.DTypeLike | None = None, shape: Sequence[int] | None = None,
            **attrs: Any) -> Tensor:
        """Adds a node by op name: ``g.add("matrix_3x3", rgb, matrix=m)``.

        The same as the method of that name; useful when the op name is data."""
        return self._add_node(op, inputs, attrs, {}, dtype=dtype, shape=shape)

    def _add_node(self, op: str, inputs: Sequence[Tensor | None], given: Mapping[str, Any],
                  unknown: Mapping[str, Any], dtype: npt.DTypeLike | None = None,
                  shape: Sequence[int] | None = None) -> Tensor:
        node_id = len(self._nodes) + 1
        where = node_label(node_id, op)
        opdef = OPS_BY_NAME.get(op)
        if opdef is None:
            raise GraphError(f"{where}: unknown op{did_you_mean(op, OPS_BY_NAME)}")
        x = self._check_inputs(opdef, where, [t for t in inputs if t is not None])
        known = [a.name for a in opdef.attrs]
        strangers = [name for name in (*unknown, *given) if name not in known]
        if strangers:
            raise GraphError(f'{where}: unknown attribute "{strangers[0]}"{did_you_mean(strangers[0], known)}')
        attrs = self._convert_attrs(opdef, where, given, x)
        check = CROSS_CHECKS.get(op)
        if check is not None:
            check(where, attrs, x)
        out_dtype = _dtype(dtype, f"{where}: dtype=") if dtype is not None else None
        if shape is not None and opdef.output_shape != "given":
            raise GraphError(f"{where}: shape= is only for ops that make an image from nothing")
        if dtype is not None and opdef.output_dtype not in ("chosen",):
            raise GraphError(f"{where}: the output type follows the op; dtype= is not accepted here")
        dt, h, w, c = output_of(opdef, where, attrs, x, out_dtype, shape)
        out = self._new_tensor(np.dtype(dt), h, w, c)
        self._nodes.append(_Node(node_id, op, [] if x is None else [x.id], [out.id], attrs))
        return out

    def _check_inputs(self, opdef: OpDef, where: str, inputs: list[Tensor]) -> Tensor | None:
        want = 1 if opdef.input_dtypes else 0
        if len(inputs) != want:
            raise GraphError(f"{where}: takes {want} input image{'s' * (want != 1)}, got {len(inputs)}")
        if not inputs:
            return None
        x = inputs[0]
        if not isinstance(x, Tensor):
            raise GraphTypeError(f"{where}: the input must be a Tensor of this graph, got {type(x).__name__}")
        self._own(x, where)
        if x.dtype.name not in opdef.input_dtypes:
            raise GraphError(f"{where}: input {x.describe()} must be {' or '.join(opdef.input_dtypes)}")
        if opdef.input_channels is not None and x.channels not in opdef.input_channels:
            want_c = " or ".join(str(c) for c in opdef.input_channels)
            raise GraphError(f"{where}: input {x.describe()} must have {want_c} channel"
                             f"{'s' * (opdef.input_channels != (1,))}")
        return x

    def _convert_attrs(self, opdef: OpDef, where: str, given: Mapping[str, Any], x: Tensor | None) -> dict[str, Any]:
        attrs: dict[str, Any] = {}
        derived: list[tuple[str, str]] = []
        for a in opdef.attrs:
            value = given.get(a.name)
            if value is None:
                if not a.required:
                    continue
                if a.derived is not None:
                    derived.append((a.name, a.derived))
                    continue
                if a.default is None:
                    raise GraphError(f'{where}: "{a.name}" is required: {a.doc}')
                value = a.default
            attrs[a.name] = to_engine(a, where, value)
        for name, rule in derived:
            attrs[name] = to_engine(opdef.attr(name), where, derive(opdef, name, rule, attrs, x))
        # Keep the table's order so dicts read (and compare) the same every time.
        return {a.name: attrs[a.name] for a in opdef.attrs if a.name in attrs}

    def _new_tensor(self, dtype: np.dtype, h: int, w: int, c: int) -> Tensor:
        t = Tensor(self, len(self._tensors), dtype, h, w, c)
        self._tensors[t.id] = t
        return t

    def _own(self, t: object, where: str) -> None:
        if not isinstance(t, Tensor) or t.graph is not self:
            raise GraphError(f"{where}: {t!r} is not a tensor of this graph")

    # -- inspecting -------------------------------------------------------------------------------
    @property
    def inputs(self) -> list[Tensor]:
        """The input images, in the order ``run`` takes arrays."""
        return [self._tensors[i] for i in self._inputs]

    @property
    def outputs(self) -> list[Tensor]:
        """The output images, in the order ``run_all`` returns them."""
        if self._outputs is not None:
            return [self._tensors[i] for i in self._outputs]
        consumed = {i for n in self._nodes for i in n.inputs}
        produced = [i for n in self._nodes for i in n.outputs]
        return [self._tensors[i] for i in produced if i not in consumed]

    def engine_graph(self) -> dict[str, Any]:
        """The graph dict exactly as ``_pyxa.execute_graph`` receives it (NumPy-typed attributes)."""
        return self._as_dict(lambda v: v)

    def to_dict(self) -> dict[str, Any]:
        """The graph dict with plain Python values only, ready for ``json.dumps``.

        ``Graph.from_dict`` turns it back into a Graph (and so into the engine's typed values)."""
        return self._as_dict(to_json)

    def _as_dict(self, convert: Callable[[Any], Any]) -> dict[str, Any]:
        descs = [{"id": t.id, "dtype": t.dtype.name, "height": t.height, "width": t.width,
                  "channels": t.channels, "stride": t.stride} for t in self._tensors.values()]
        nodes = [{"id": n.id, "op": n.op, "inputs": list(n.inputs), "outputs": list(n.outputs),
                  "attrs": {k: convert(v) for k, v in n.attrs.items()}} for n in self._nodes]
        return {"tensor_descs": descs, "inputs": list(self._inputs), "outputs": [t.id for t in self.outputs],
                "nodes": nodes}

    @classmethod
    def from_dict(cls, graph: Mapping[str, Any]) -> Graph:
        """A Graph from a graph dict (``to_dict`` output, JSON loaded, or hand-written).

        Tensor ids must be 0, 1, 2, ... in list order and nodes must come after
        the nodes that produce their inputs; every node is checked as when built."""
        g = cls()
        descs = list(graph["tensor_descs"])
        by_id = {int(d["id"]): d for d in descs}
        made = {o for n in graph["nodes"] for o in n["outputs"]}
        for i in graph["inputs"]:
            d = by_id[int(i)]
            shape = (d["height"], d["width"]) + ((d["channels"],) if d["channels"] != 1 else ())
            t = g.input(shape, d["dtype"])
            if t.id != int(i):
                raise GraphError(f"from_dict: input tensor {i} must have id {t.id} (ids count up from 0)")
        for n in graph["nodes"]:
            ins = [g._tensors[int(i)] for i in n["inputs"] if int(i) in g._tensors]
            if len(ins) != len(n["inputs"]):
                raise GraphError(f"from_dict: {node_label(n['id'], n['op'])} reads a tensor not made yet")
            out_desc = by_id[int(n["outputs"][0])]
            opdef = OPS_BY_NAME.get(n["op"])
            extra: dict[str, Any] = {}
            if opdef is not None and opdef.output_dtype == "chosen":
                extra["dtype"] = out_desc["dtype"]
            if opdef is not None and opdef.output_shape == "given":
                extra["shape"] = (out_desc["height"], out_desc["width"], out_desc["channels"])
            t = g._add_node(n["op"], ins, dict(n.get("attrs") or {}), {}, **extra)
            if t.id != int(n["outputs"][0]) or (t.height, t.width, t.channels) != (
                    out_desc["height"], out_desc["width"], out_desc["channels"]) or t.dtype.name != out_desc["dtype"]:
                raise GraphError(f"from_dict: {node_label(n['id'], n['op'])} makes {t.describe()}, "
                                 f"the dict describes tensor {out_desc['id']} differently")
        outs = [int(o) for o in graph["outputs"]]
        if not set(outs) <= made:
            raise GraphError("from_dict: an output is not made by any node")
        g.output(*[g._tensors[o] for o in outs])
        return g

    # -- running ----------------------------------------------------------------------------------
    def run(self, *arrays: InputArrays, out: ArrayMap = None,
            profile: bool = False) -> np.ndarray:
        """Runs the graph once and returns its single output array.

        ``arrays`` are the input arrays in the order of ``input`` calls (or one
        dict {Tensor: array}); inputs declared from an array may be left out.
        ``out`` is an array (or {Tensor: array}) to write into instead of a new
        one. With ``profile=True`` the per-node timings land in ``last_profile``.
        """
        outs = self.outputs
        if len(outs) != 1:
            raise GraphError(f"run: the graph has {len(outs)} outputs; use run_all to get them all")
        return self.run_all(*arrays, out=out, profile=profile)[0]

    def run_all(self, *arrays: InputArrays, out: ArrayMap = None,
                profile: bool = False) -> tuple[np.ndarray, ...]:
        """Runs the graph once and returns every output array, in ``outputs`` order."""
        import _pyxa

        outs = self.outputs
        if not outs:
            raise GraphError("run: the graph has no output; add an op")
        inputs = self._bind_inputs(arrays)
        results = self._bind_outputs(outs, out)
        try:
            prof = _pyxa.execute_graph(self.engine_graph(), inputs, results, profile=profile)
        except (TypeError, ValueError) as error:
            self._note_binding(error, arrays, out)
            raise
        if profile:
            ops = {n.id: n.op for n in self._nodes}
            self.last_profile = [dict(e, op=ops.get(e["node_id"], "?")) for e in prof or []]
        return tuple(results[t.id] for t in outs)

    def _bind_inputs(self, arrays: Sequence[Any]) -> dict[int, np.ndarray]:
        bound: dict[int, np.ndarray] = dict(self._arrays)
        if len(arrays) == 1 and isinstance(arrays[0], Mapping):
            for key, arr in arrays[0].items():
                bound[self._key(key, self._inputs, "input")] = arr
        else:
            if len(arrays) > len(self._inputs):
                raise GraphError(f"run: {len(arrays)} arrays given for {len(self._inputs)} inputs")
            for tid, arr in zip(self._inputs, arrays):
                bound[tid] = arr
        for tid in self._inputs:
            if tid not in bound:
                raise GraphError(f"run: input {self._tensors[tid].describe()} has no array")
        return {tid: bound[tid] for tid in self._inputs}

    def _bind_outputs(self, outs: list[Tensor], out: ArrayMap) -> dict[int, np.ndarray]:
        given: dict[int, np.ndarray] = {}
        if isinstance(out, np.ndarray):
            if len(outs) != 1:
                raise GraphError(f"run: out= is one array but the graph has {len(outs)} outputs")
            given[outs[0].id] = out
        elif isinstance(out, Mapping):
            given = {self._key(k, [t.id for t in outs], "output"): a for k, a in out.items()}
        elif out is not None:
            if len(out) != len(outs):
                raise GraphError(f"run: out= has {len(out)} arrays for {len(outs)} outputs")
            given = {t.id: a for t, a in zip(outs, out)}
        return {t.id: given[t.id] if t.id in given else np.zeros(t.shape, t.dtype) for t in outs}

    def _note_binding(self, error: BaseException, arrays: Sequence[Any], out: ArrayMap) -> None:
        """Names, in a note, the argument of run whose array the engine refused."""
        refused = refused_binding(error)
        if refused is None or refused[0] not in self._tensors:
            return
        tid, output = refused
        add_binding_note(error, self._tensors[tid], self._argument_of(tid, arrays, out), output)

    def _argument_of(self, tid: int, arrays: Sequence[Any], out: ArrayMap) -> str:
        """How the caller passed tensor tid's array: "input 0 of run()", "out=", ..."""
        if tid in self._inputs:
            position = self._inputs.index(tid)
            if len(arrays) == 1 and isinstance(arrays[0], Mapping):
                if tid in {k.id if isinstance(k, Tensor) else int(k) for k in arrays[0]}:
                    return f"run()'s input for tensor {tid}"
            elif position < len(arrays):
                return f"input {position} of run()"
            return f"the array given to input() for tensor {tid}"
        # Outputs the graph allocates itself are never refused: this one was passed.
        if isinstance(out, np.ndarray):
            return "out="
        if isinstance(out, Mapping):
            return f"out= for tensor {tid}"
        return f"out[{[t.id for t in self.outputs].index(tid)}]"

    def _key(self, key: Tensor | int, allowed: list[int], role: str) -> int:
        tid = key.id if isinstance(key, Tensor) else int(key)
        if tid not in allowed:
            raise GraphError(f"run: tensor {tid} is not an {role} of this graph")
        return tid

    def __repr__(self) -> str:
        ops = " -> ".join(n.op for n in self._nodes) or "empty"
        return f"<pyxa.Graph {len(self._tensors)} tensors: {ops}>"


# The op methods are written in OpMethods; tracebacks and Python's own call
# errors ("missing 1 required keyword-only argument") should name Graph.
for _name in OPS_BY_NAME:
    getattr(Graph, _name).__qualname__ = f"Graph.{_name}"
