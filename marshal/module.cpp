// PLACEHOLDER: replaced by the module definition.
#define PY_ARRAY_UNIQUE_SYMBOL pyxa_ARRAY_API
#include <Python.h>
#include <numpy/arrayobject.h>

#include "tarnimg_opcodes.h"

static PyObject* version(PyObject*, PyObject*) { return PyUnicode_FromString(tarnimg_version()); }

static PyMethodDef methods[] = {{"version", version, METH_NOARGS, "version()\n--\n\n"}, {nullptr, nullptr, 0, nullptr}};
static PyModuleDef moddef = {PyModuleDef_HEAD_INIT, "_pyxa", nullptr, -1, methods, nullptr, nullptr, nullptr, nullptr};

PyMODINIT_FUNC PyInit__pyxa(void) {
    if (PyArray_ImportNumPyAPI() < 0) return nullptr;
    return PyModule_Create(&moddef);
}
