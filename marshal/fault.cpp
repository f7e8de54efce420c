// Creation and raising of the fault exception.
#include "marshal/fault.hpp"

namespace pyxa::py {

PyObject* create_fault_type() {
    return PyErr_NewExceptionWithDoc(
        "_pyxa.InternalFault",
        "An internal invariant of _pyxa was violated; the call was abandoned.",
        PyExc_BaseException, nullptr);
}

void set_fault(PyObject* fault_type, const char* message) {
    if (!fault_type) Py_FatalError("_pyxa: internal fault without a fault exception type");
    PyErr_SetString(fault_type, message);
}

}  // namespace pyxa::py
