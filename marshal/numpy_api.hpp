// NumPy C API access for the boundary's translation units. Only module.cpp
// imports the API table; the others share it through the unique symbol.
#pragma once

#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL pyxa_ARRAY_API
#ifndef PYXA_IMPORT_NUMPY
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>

namespace pyxa::py {

// True when the array's dtype is equivalent to the native dtype `typenum`
// (same kind, size and byte order).
inline bool dtype_equiv(PyArrayObject* a, int typenum) {
    PyArray_Descr* want = PyArray_DescrFromType(typenum);
    if (!want) {
        PyErr_Clear();
        return false;
    }
    const bool same = PyArray_EquivTypes(PyArray_DESCR(a), want) != 0;
    Py_DECREF(want);
    return same;
}

}  // namespace pyxa::py
