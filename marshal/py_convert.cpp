// Python value helpers: lookups, integer conversions, UTF-8 views, dict snapshots.
#include "marshal/py_convert.hpp"

#include <cmath>
#include <limits>

#include "marshal/fault.hpp"

namespace pyxa::py {

Ref dict_get(PyObject* dict, const char* key) {
    Ref name = Ref::checked(PyUnicode_FromString(key));
    PyObject* found = PyDict_GetItemWithError(dict, name.get());
    if (!found && PyErr_Occurred()) throw ErrorSet{};
    // Borrowed from the dict: take our own reference before any Python code can
    // run and drop the dict's.
    return Ref::borrow(found);
}

uint64_t to_u64(PyObject* o) {
    Ref index = Ref::checked(PyNumber_Index(o));
    const unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw ErrorSet{};
    return v;
}

uint32_t to_u32(PyObject* o) {
    const uint64_t v = to_u64(o);
    if (v > std::numeric_limits<uint32_t>::max())
        raise(PyExc_OverflowError, "value too large for an unsigned 32-bit integer");
    return static_cast<uint32_t>(v);
}

int64_t to_i64(PyObject* o) {
    Ref index = Ref::checked(PyNumber_Index(o));
    const long long v = PyLong_AsLongLong(index.get());
    if (v == -1 && PyErr_Occurred()) throw ErrorSet{};
    return v;
}

std::string_view utf8(PyObject* s) {
    Py_ssize_t len = 0;
    const char* text = PyUnicode_AsUTF8AndSize(s, &len);
    if (!text) throw ErrorSet{};
    return std::string_view(text, static_cast<size_t>(len));
}

void clear_ordinary_error() {
    if (PyErr_ExceptionMatches(PyExc_Exception)) PyErr_Clear();
}

float narrow_to_float(double d) {
    // Doubles at or beyond FLT_MAX + half an ulp round to infinity; converting
    // them with a cast would be undefined.
    constexpr double kOverflow = 340282356779733661637539395458142568448.0;  // 2^128 - 2^103
    if (std::isnan(d)) return std::numeric_limits<float>::quiet_NaN();
    if (d >= kOverflow) return std::numeric_limits<float>::infinity();
    if (d <= -kOverflow) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

DictSnapshot::DictSnapshot(PyObject* dict)
    : dict_(dict), items_(Ref::checked(PyDict_Items(dict))) {
    size_ = PyList_Size(items_.get());
    if (size_ < 0) throw ErrorSet{};
}

PyObject* DictSnapshot::key(Py_ssize_t i) const {
    return check(PyTuple_GetItem(check(PyList_GetItem(items_.get(), i)), 0));
}

PyObject* DictSnapshot::value(Py_ssize_t i) const {
    return check(PyTuple_GetItem(check(PyList_GetItem(items_.get(), i)), 1));
}

void DictSnapshot::require_unchanged(Py_ssize_t i, const char* what) const {
    if (PyDict_Size(dict_) != size_) throw InternalFault(std::string(what) + " changed during iteration");
    PyObject* now = PyDict_GetItemWithError(dict_, key(i));
    if (!now && PyErr_Occurred()) throw ErrorSet{};
    if (now != value(i)) throw InternalFault(std::string(what) + " changed during iteration");
}

void DictSnapshot::require_all_unchanged(const char* what) const {
    for (Py_ssize_t i = 0; i < size_; ++i) require_unchanged(i, what);
}

}  // namespace pyxa::py
