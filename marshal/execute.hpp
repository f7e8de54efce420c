// The execute_graph call: argument binding, parsing, array binding, the engine
// run and the conversion of its status or profile into Python results.
#pragma once

#include <Python.h>

namespace pyxa {

// Body of execute_graph; throws py::ErrorSet or C++ exceptions, which the
// module function turns into Python exceptions.
PyObject* execute_graph_call(PyObject* args, PyObject* kwargs);

}  // namespace pyxa
