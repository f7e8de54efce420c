// One execute_graph call in its fixed order: profile flag, graph, inputs,
// outputs, engine, then the result or the status error.
#include "marshal/execute.hpp"

#include <string>

#include "engine/driver/engine.hpp"
#include "marshal/aligned_stand_ins.hpp"
#include "marshal/bind_arrays.hpp"
#include "marshal/error_notes.hpp"
#include "marshal/memory_overlap.hpp"
#include "marshal/numpy_api.hpp"
#include "marshal/parsed_graph.hpp"
#include "marshal/py_convert.hpp"

namespace pyxa {
namespace {

using py::Ref;

bool read_profile_flag(PyObject* profile) {
    if (PyBool_Check(profile)) return profile == Py_True;
    if (PyObject_TypeCheck(profile, &PyBoolArrType_Type)) {
        const int t = PyObject_IsTrue(profile);
        if (t < 0) throw py::ErrorSet{};
        return t == 1;
    }
    py::raise(PyExc_TypeError, "execute_graph() argument 'profile' must be a bool");
}

// The message names the status only; what the engine recorded about the fault
// (node, op, reason) goes into a note, dropped if it cannot be built.
[[noreturn]] void raise_status(Status status, const Diagnostic& diag) {
    const std::string msg =
        std::string("execute_graph failed: ") + status_name(status) + " (" + std::to_string(status) + ")";
    PyErr_SetString(PyExc_RuntimeError, msg.c_str());
    py::add_note_to_raised([&] { return describe(diag); });
    throw py::ErrorSet{};
}

void set_int_item(PyObject* dict, const char* key, PyObject* value) {
    Ref v = Ref::checked(value);
    if (PyDict_SetItemString(dict, key, v.get()) < 0) throw py::ErrorSet{};
}

PyObject* profile_result(const ProfileList& entries) {
    Ref list = Ref::checked(PyList_New(0));
    for (const ProfileEntry& e : entries) {
        Ref d = Ref::checked(PyDict_New());
        set_int_item(d.get(), "node_id", PyLong_FromUnsignedLong(e.node_id));
        set_int_item(d.get(), "exclusive_ns", PyLong_FromUnsignedLongLong(e.exclusive_ns));
        if (PyList_Append(list.get(), d.get()) < 0) throw py::ErrorSet{};
    }
    return list.release();
}

Status run_engine(const Graph& graph, const std::vector<TensorBinding>& in,
                  const std::vector<TensorBinding>& out, ProfileList* profile, Diagnostic* diag) {
    return engine_execute(graph, in.data(), in.size(), out.data(), out.size(), profile, diag);
}

}  // namespace

PyObject* execute_graph_call(PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"graph", "inputs", "outputs", "profile", nullptr};
    PyObject* graph = nullptr;
    PyObject* inputs = nullptr;
    PyObject* outputs = nullptr;
    PyObject* profile_arg = Py_False;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|O:execute_graph", const_cast<char**>(keywords),
                                     &graph, &inputs, &outputs, &profile_arg))
        throw py::ErrorSet{};
    const bool profile = read_profile_flag(profile_arg);

    ParsedGraph parsed;
    parse_graph(graph, parsed);
    const DescIndex descs = index_descs(parsed.descs);
    ArrayRefs refs;
    const std::vector<PendingBinding> in_pending = bind_arrays(inputs, descs, false, refs);
    const std::vector<PendingBinding> out_pending = bind_arrays(outputs, descs, true, refs);
    // No Python code runs from here until the engine returns.
    const std::vector<TensorBinding> in = finish_bindings(in_pending, false);
    const std::vector<TensorBinding> out = finish_bindings(out_pending, true);
    refuse_overlaps(parsed.graph(), in, out);
    const AlignedStandIns aligned(in, out);

    ProfileList entries;
    if (profile) entries.reserve(parsed.graph().node_count);
    Diagnostic diag;
    const Status status =
        run_engine(parsed.graph(), aligned.inputs(), aligned.outputs(), profile ? &entries : nullptr, &diag);
    if (status == OK) aligned.copy_back();
    refs.clear();
    if (status != OK) raise_status(status, diag);
    if (!profile) Py_RETURN_NONE;
    return profile_result(entries);
}

}  // namespace pyxa
