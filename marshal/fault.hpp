// The boundary's fault exception: a violated invariant or any C++ exception
// inside a module function becomes a Python exception derived from
// BaseException, so that ordinary `except Exception` handlers do not swallow it
// and the interpreter never crashes.
#pragma once

#include <Python.h>

#include <stdexcept>
#include <string>

#include "marshal/py_ref.hpp"

namespace pyxa::py {

// A violated invariant found by the boundary itself.
class InternalFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Creates the exception type "_pyxa.InternalFault" (new reference, or null).
PyObject* create_fault_type();

// Sets the fault exception with `message`; ends the process when the type is
// missing, since then the fault cannot be reported any other way.
void set_fault(PyObject* fault_type, const char* message);

// Runs `body` (returning a new reference or null) and turns every escaping C++
// exception into a Python exception: ErrorSet keeps the pending one, anything
// else becomes the fault exception.
template <class Body>
PyObject* guarded(PyObject* fault_type, Body&& body) noexcept {
    try {
        return body();
    } catch (const ErrorSet&) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    } catch (const std::exception& e) {
        set_fault(fault_type, e.what());
    } catch (...) {
        set_fault(fault_type, "unknown internal fault");
    }
    return nullptr;
}

}  // namespace pyxa::py
