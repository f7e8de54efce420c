"""The module surface: its two functions with their signatures, the profile
flag, argument binding, engine statuses as RuntimeError, the profile result,
the fault exception and the single-interpreter rule."""

import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import _pyxa
from conftest import graph, node, tensor_desc

H, W = 3, 4


def convert_graph(node_ids=(5,)):
    """uint8 -> float32 conversion, one node per id chained through float32 copies."""
    descs = [tensor_desc(0, "uint8", H, W), tensor_desc(1, "float32", H, W)]
    nodes = [node(node_ids[0], "convert_dtype", [0], [1], dest_dtype="float32", src_bits=8, dst_bits=8,
                  clip_max=1.0)]
    last = 1
    for nid in node_ids[1:]:
        descs.append(tensor_desc(last + 1, "float32", H, W))
        nodes.append(node(nid, "mul_scalar", [last], [last + 1], value=1.0))
        last += 1
    return graph(descs, [0], [last], nodes), last


def arrays(out_id=1):
    return {0: np.arange(H * W, dtype=np.uint8).reshape(H, W)}, {out_id: np.zeros((H, W), np.float32)}


def test_module_exposes_only_its_two_functions():
    public = sorted(n for n in dir(_pyxa) if not n.startswith("_"))
    assert public == ["execute_graph", "version"]
    assert _pyxa.__name__ == "_pyxa"
    assert not _pyxa.__doc__


def test_signatures_and_docstrings():
    assert _pyxa.execute_graph.__text_signature__ == "(graph, inputs, outputs, profile=False)"
    assert _pyxa.execute_graph.__doc__ == \
        "execute_graph(graph, inputs, outputs, profile=False) -> None | list[dict]"
    assert _pyxa.version.__text_signature__ == "()"
    assert not _pyxa.version.__doc__


def test_version():
    v = _pyxa.version()
    assert type(v) is str and v == "1.0.0"


@pytest.mark.parametrize("args, kwargs", [((1,), {}), ((), {"x": 1}), ((None,), {})])
def test_version_takes_no_arguments(args, kwargs):
    with pytest.raises(TypeError):
        _pyxa.version(*args, **kwargs)


@pytest.mark.parametrize("profile", [1, 0, None, "True", 1.0, np.int8(1), [True], np.array([True])])
@pytest.mark.parametrize("graph_arg", [None, {}, "not a graph"])
def test_profile_must_be_bool_and_is_checked_first(profile, graph_arg):
    with pytest.raises(TypeError, match="profile"):
        _pyxa.execute_graph(graph_arg, {}, {}, profile=profile)
    with pytest.raises(TypeError, match="profile"):
        _pyxa.execute_graph(graph_arg, "bad", "bad", profile)


@pytest.mark.parametrize("profile", [True, False, np.True_, np.False_, np.bool_(1)])
def test_bool_and_numpy_bool_profile_are_accepted(profile):
    with pytest.raises(TypeError, match="^graph must be a dict$"):
        _pyxa.execute_graph(None, {}, {}, profile=profile)


@pytest.mark.parametrize("call", [
    lambda: _pyxa.execute_graph(None, {}),
    lambda: _pyxa.execute_graph(),
    lambda: _pyxa.execute_graph(None, {}, {}, False, 1),
    lambda: _pyxa.execute_graph(None, {}, {}, bogus=1),
    lambda: _pyxa.execute_graph(None, {}, {}, graph=None),
    lambda: _pyxa.execute_graph(inputs={}, outputs={}, profile=False),
])
def test_argument_binding_errors_come_before_any_work(call):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) != "graph must be a dict"


def test_all_arguments_by_keyword():
    with pytest.raises(TypeError, match="^graph must be a dict$"):
        _pyxa.execute_graph(outputs={}, inputs={}, graph=[], profile=False)


# ---- engine statuses (these wait on the execution driver) ----

def cycle_graph():
    return graph([tensor_desc(0, "float32", H, W), tensor_desc(1, "float32", H, W),
                  tensor_desc(2, "float32", H, W)], [0], [2],
                 [node(1, "mul_scalar", [0, 2], [1], value=1.0), node(2, "mul_scalar", [1], [2], value=1.0)])


@pytest.mark.parametrize("make, name, code", [
    (lambda: graph([tensor_desc(0, "float32", H, W), tensor_desc(1, "float32", H, W)], [0], [1], []),
     "INVALID_ARGUMENT", 1),
    (cycle_graph, "GRAPH_INVALID", 11),
])
@pytest.mark.parametrize("profile", [False, True])
def test_engine_status_becomes_runtime_error(make, name, code, profile):
    ins = {0: np.zeros((H, W), np.float32)}
    outs = {2 if make is cycle_graph else 1: np.zeros((H, W), np.float32)}
    with pytest.raises(RuntimeError) as info:
        _pyxa.execute_graph(make(), ins, outs, profile=profile)
    assert type(info.value) is RuntimeError
    assert str(info.value) == f"execute_graph failed: {name} ({code})"


def test_success_without_profile_returns_none():
    g, out_id = convert_graph()
    ins, outs = arrays(out_id)
    assert _pyxa.execute_graph(g, ins, outs) is None
    assert _pyxa.execute_graph(g, ins, outs, profile=np.False_) is None
    expected = np.minimum(ins[0].astype(np.float32) * (np.float32(1) / np.float32(255)), np.float32(1))
    np.testing.assert_array_equal(outs[out_id], expected)


@pytest.mark.parametrize("node_ids", [(5,), (9, 2**32 - 1, 0)])
@pytest.mark.parametrize("profile", [True, np.True_])
def test_profile_result_shape(node_ids, profile):
    g, out_id = convert_graph(node_ids)
    ins, outs = arrays(out_id)
    result = _pyxa.execute_graph(g, ins, outs, profile=profile)
    assert type(result) is list
    assert 1 <= len(result) <= len(node_ids)
    for entry in result:
        assert type(entry) is dict
        assert list(entry) == ["node_id", "exclusive_ns"]
        assert type(entry["node_id"]) is int and entry["node_id"] in node_ids
        assert type(entry["exclusive_ns"]) is int and entry["exclusive_ns"] >= 0


# ---- internal faults ----

class MutatingIndex:
    def __init__(self, target):
        self.target = target

    def __index__(self):
        self.target.pop("value", None)
        self.target["other"] = 2
        return 1


def test_internal_fault_is_a_base_exception_not_an_exception():
    g, out_id = convert_graph()
    attrs = g["nodes"][0]["attrs"]
    attrs["k"] = MutatingIndex(attrs)
    ins, outs = arrays(out_id)
    before = outs[out_id].copy()
    caught_as_exception = False
    try:
        try:
            _pyxa.execute_graph(g, ins, outs)
        except Exception:
            caught_as_exception = True
    except BaseException as fault:
        assert type(fault).__name__ == "InternalFault"
        assert "changed" in str(fault)
        assert fault.__class__.__mro__[1] is BaseException
    else:
        pytest.fail("no fault raised")
    assert not caught_as_exception
    np.testing.assert_array_equal(outs[out_id], before)
    # the module stays usable after a fault
    assert _pyxa.version() == "1.0.0"


# ---- one interpreter per process ----

SUB_CODE = (
    "import sys\n"
    "sys.path.insert(0, {module_dir!r})\n"
    "try:\n"
    "    import _pyxa\n"
    "    result = 'imported'\n"
    "except ImportError as e:\n"
    "    result = 'ImportError: ' + str(e)\n"
    "with open({result_path!r}, 'w') as f:\n"
    "    f.write(result)\n"
)

SUBINTERPRETER_SCRIPT = textwrap.dedent("""
    import sys
    module_dir, result_path, code, isolated = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4] == "1"
    sys.path.insert(0, module_dir)
    import _pyxa  # the main interpreter owns the module
    try:
        import _interpreters as interp
        iid = interp.create("isolated" if isolated else "legacy")
    except ImportError:
        import _xxsubinterpreters as interp
        try:
            iid = interp.create(isolated=isolated)
        except TypeError:
            iid = interp.create()
    interp.run_string(iid, code)
    interp.destroy(iid)
""")


@pytest.mark.parametrize("isolated", [False, True])
def test_second_interpreter_cannot_import(tmp_path, isolated):
    try:
        import _interpreters  # noqa: F401
    except ImportError:
        try:
            import _xxsubinterpreters  # noqa: F401
        except ImportError:
            pytest.skip("this Python has no sub-interpreter API")
    script = tmp_path / "sub.py"
    script.write_text(SUBINTERPRETER_SCRIPT)
    result = tmp_path / "result.txt"
    module_dir = os.path.dirname(_pyxa.__file__)
    code = SUB_CODE.format(module_dir=module_dir, result_path=str(result))
    proc = subprocess.run([sys.executable, str(script), module_dir, str(result), code, str(int(isolated))],
                          capture_output=True, text=True, check=False)
    assert proc.returncode == 0, proc.stderr
    text = result.read_text()
    assert text.startswith("ImportError: "), text
    assert "_pyxa" in text


def test_reimport_in_the_same_interpreter_works():
    code = ("import sys, _pyxa; del sys.modules['_pyxa']; import _pyxa as again; "
            "assert again is not _pyxa; print(again.version())")
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join([os.path.dirname(_pyxa.__file__), env.get("PYTHONPATH", "")])
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env, check=False)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.strip() == "1.0.0"
