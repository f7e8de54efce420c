// Python value helpers shared by graph parsing and array binding: dict lookups
// that keep a strong reference, integer conversions with Python's own errors,
// UTF-8 views and dict snapshots that detect changes made by Python callbacks.
#pragma once

#include <Python.h>

#include <cstdint>
#include <string_view>

#include "marshal/py_ref.hpp"

namespace pyxa::py {

// dict[key] as a strong reference, or an empty Ref when absent. Lookup errors
// (a raising __eq__ of a colliding key) propagate.
Ref dict_get(PyObject* dict, const char* key);

// int or __index__ object in 0 .. 2^64-1; TypeError / OverflowError otherwise.
uint64_t to_u64(PyObject* o);
// As to_u64 but below 2^32.
uint32_t to_u32(PyObject* o);
// int or __index__ object in the signed 64-bit range.
int64_t to_i64(PyObject* o);

// UTF-8 bytes of a str (valid while `s` lives); throws ErrorSet when not encodable.
std::string_view utf8(PyObject* s);

// Clears a pending error when it is an ordinary Exception (the value simply
// did not convert); KeyboardInterrupt and the like keep propagating.
void clear_ordinary_error();

// convert(o), where a value that does not convert raises TypeError(message)
// instead of its own error; KeyboardInterrupt and the like keep propagating.
template <typename T>
T convert_or_type_error(T (*convert)(PyObject*), PyObject* o, const char* message) {
    try {
        return convert(o);
    } catch (const ErrorSet&) {
        clear_ordinary_error();
        if (PyErr_Occurred()) throw;
        raise(PyExc_TypeError, message);
    }
}

// A double rounded to float without undefined behaviour for out-of-range values.
float narrow_to_float(double d);

// The (key, value) pairs of a dict taken up front, so that Python code run while
// converting one pair can neither invalidate the iteration nor free the objects.
class DictSnapshot {
public:
    explicit DictSnapshot(PyObject* dict);
    Py_ssize_t size() const { return size_; }
    PyObject* key(Py_ssize_t i) const;
    PyObject* value(Py_ssize_t i) const;
    // Raises an internal fault when the dict no longer maps key i to value i or
    // changed size: conversions must not edit the dict they came from.
    void require_unchanged(Py_ssize_t i, const char* what) const;
    void require_all_unchanged(const char* what) const;

private:
    PyObject* dict_;
    Ref items_;
    Py_ssize_t size_ = 0;
};

}  // namespace pyxa::py
