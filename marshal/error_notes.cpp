// Adding a note to the pending exception without ever losing the exception.
#include "marshal/error_notes.hpp"

#include <Python.h>

#include <functional>
#include <string>

namespace pyxa::py {
namespace {

// The pending exception as one object (a new reference), clearing it; null when none.
PyObject* take_raised() {
#if PY_VERSION_HEX >= 0x030C0000
    return PyErr_GetRaisedException();
#else
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr) return nullptr;
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value == nullptr) {  // cannot happen after normalising; never lose the error
        PyErr_Restore(type, value, traceback);
        return nullptr;
    }
    if (traceback != nullptr) PyException_SetTraceback(value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return value;
#endif
}

// Sets `exc` (a reference this steals) as the pending exception again.
void restore_raised(PyObject* exc) {
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exc);
#else
    PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exc))), exc, PyException_GetTraceback(exc));
#endif
}

// The note, or an empty text when building it failed in any way.
std::string built_note(const std::function<std::string()>& make_note) {
    try {
        return make_note();
    } catch (...) {
        PyErr_Clear();
        return std::string();
    }
}

}  // namespace

void add_note_to_raised(const std::function<std::string()>& make_note) noexcept {
    PyObject* exc = take_raised();
    if (exc == nullptr) return;
    const std::string note = built_note(make_note);
    if (!note.empty()) {
        PyObject* result = PyObject_CallMethod(exc, "add_note", "s", note.c_str());
        Py_XDECREF(result);
        // A note that could not be added is dropped; the original error stands.
        if (result == nullptr) PyErr_Clear();
    }
    restore_raised(exc);
}

}  // namespace pyxa::py
