// The _pyxa module: its two functions, its state (the fault exception type,
// kept out of the module namespace) and the guard that keeps it in a single
// interpreter of the process.
#define PYXA_IMPORT_NUMPY
#include "marshal/numpy_api.hpp"

#include <cstring>

#include "marshal/execute.hpp"
#include "marshal/fault.hpp"
#include "tarnimg_opcodes.h"

namespace {

struct ModuleState {
    PyObject* fault_type;
};

ModuleState* state_of(PyObject* module) {
    return static_cast<ModuleState*>(PyModule_GetState(module));
}

PyObject* fault_type_of(PyObject* module) {
    ModuleState* s = module ? state_of(module) : nullptr;
    return s ? s->fault_type : nullptr;
}

PyObject* execute_graph(PyObject* module, PyObject* args, PyObject* kwargs) {
    return pyxa::py::guarded(fault_type_of(module), [&] { return pyxa::execute_graph_call(args, kwargs); });
}

PyObject* version(PyObject* module, PyObject*) {
    return pyxa::py::guarded(fault_type_of(module), [&]() -> PyObject* {
        const char* v = tarnimg_version();
        if (!v) pyxa::py::raise(PyExc_RuntimeError, "tarnimg_version returned null");
        return pyxa::py::check(PyUnicode_DecodeUTF8(v, static_cast<Py_ssize_t>(strlen(v)), "replace"));
    });
}

PyMethodDef kMethods[] = {
    {"execute_graph", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(execute_graph)),
     METH_VARARGS | METH_KEYWORDS,
     "execute_graph(graph, inputs, outputs, profile=False)\n--\n\n"
     "execute_graph(graph, inputs, outputs, profile=False) -> None | list[dict]"},
    {"version", version, METH_NOARGS, "version()\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

// NumPy's API table is process-wide, so the module refuses a second interpreter.
// The module slot below makes isolated sub-interpreters refuse it; legacy ones
// (and interpreters without the slot) skip that check, so the first interpreter
// to load the module claims it here.
PyInterpreterState* g_owner = nullptr;

int claim_interpreter() {
    PyInterpreterState* current = PyInterpreterState_Get();
    if (g_owner && g_owner != current) {
        PyErr_SetString(PyExc_ImportError, "_pyxa can be loaded in only one interpreter per process");
        return -1;
    }
    g_owner = current;
    return 0;
}

int exec_module(PyObject* module) {
    if (claim_interpreter() < 0) return -1;
    if (PyArray_ImportNumPyAPI() < 0) return -1;
    ModuleState* s = state_of(module);
    s->fault_type = pyxa::py::create_fault_type();
    return s->fault_type ? 0 : -1;
}

int traverse_module(PyObject* module, visitproc visit, void* arg) {
    ModuleState* s = state_of(module);
    if (s) Py_VISIT(s->fault_type);
    return 0;
}

int clear_module(PyObject* module) {
    ModuleState* s = state_of(module);
    if (s) Py_CLEAR(s->fault_type);
    return 0;
}

void free_module(void* module) { clear_module(static_cast<PyObject*>(module)); }

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#ifdef Py_mod_multiple_interpreters
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "_pyxa", nullptr, sizeof(ModuleState), kMethods, kSlots,
    traverse_module,       clear_module, free_module,
};

}  // namespace

PyMODINIT_FUNC PyInit__pyxa(void) { return PyModuleDef_Init(&kModule); }
