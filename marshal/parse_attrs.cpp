// Conversion of node attributes into AttrItems: the first matching rule of
// str, bool, NumPy arrays, float-named dtypes, float, integer and list decides.
#include <cstring>

#include "marshal/numpy_api.hpp"
#include "marshal/parsed_graph.hpp"
#include "marshal/py_convert.hpp"

namespace pyxa {
namespace {

using py::Ref;

constexpr const char* kRefused = "attr value must be str, bool, float, int, or 1-D array";

void set_int(ParsedAttr& out, int32_t v) {
    out.item.type = ATTR_INT32;
    out.item.count = 1;
    out.item.value.i32 = v;
}

void set_f32(ParsedAttr& out, float v) {
    out.item.type = ATTR_FLOAT32;
    out.item.count = 1;
    out.item.value.f32 = v;
}

void set_f64(ParsedAttr& out, double v) {
    out.item.type = ATTR_FLOAT64;
    out.item.count = 1;
    out.item.value.f64 = v;
}

double item_as_double(PyObject* o) {
    Ref item = Ref::checked(PyObject_CallMethod(o, "item", nullptr));
    const double v = PyFloat_AsDouble(item.get());
    if (v == -1.0 && PyErr_Occurred()) throw py::ErrorSet{};
    return v;
}

void set_string(PyObject* value, ParsedAttr& out) {
    const std::string_view text = py::utf8(value);
    if (text.find('\0') != std::string_view::npos) py::raise(PyExc_ValueError, "attr string contains NUL");
    out.text.assign(text);
    out.item.type = ATTR_STRING;
    out.item.count = 1;
}

template <class T>
void copy_contiguous(PyArrayObject* a, std::vector<T>& dst) {
    if (!PyArray_IS_C_CONTIGUOUS(a)) py::raise(PyExc_TypeError, "The given array is not contiguous");
    const size_t n = static_cast<size_t>(PyArray_SIZE(a));
    dst.resize(n);
    std::memcpy(dst.data(), PyArray_DATA(a), n * sizeof(T));
}

// Any other element type goes through astype("int32"); the result is then
// forced into a contiguous native int32 vector whatever a subclass returned.
void copy_as_int32(PyObject* array, ParsedAttr& out) {
    Ref cast = Ref::checked(PyObject_CallMethod(array, "astype", "s", "int32"));
    Ref ints = Ref::checked(PyArray_FromAny(cast.get(), PyArray_DescrFromType(NPY_INT32), 1, 1,
                                            NPY_ARRAY_CARRAY | NPY_ARRAY_FORCECAST, nullptr));
    PyArrayObject* a = reinterpret_cast<PyArrayObject*>(ints.get());
    if (PyArray_SIZE(a) == 0) py::raise(PyExc_ValueError, "attr array must be non-empty");
    copy_contiguous(a, out.ints);
    out.item.type = ATTR_INT32_ARRAY;
    out.item.count = out.ints.size();
}

void set_1d_array(PyObject* value, ParsedAttr& out) {
    PyArrayObject* a = reinterpret_cast<PyArrayObject*>(value);
    if (PyArray_SIZE(a) == 0) py::raise(PyExc_ValueError, "attr array must be non-empty");
    if (py::dtype_equiv(a, NPY_FLOAT64)) {
        copy_contiguous(a, out.doubles);
        out.item.type = ATTR_FLOAT64_ARRAY;
        out.item.count = out.doubles.size();
    } else if (py::dtype_equiv(a, NPY_FLOAT32)) {
        copy_contiguous(a, out.floats);
        out.item.type = ATTR_FLOAT32_ARRAY;
        out.item.count = out.floats.size();
    } else {
        copy_as_int32(value, out);
    }
}

// Rules for NumPy arrays; false when a zero-dimensional array of another
// element type has to go on to the later rules.
bool try_ndarray(PyObject* value, ParsedAttr& out) {
    PyArrayObject* a = reinterpret_cast<PyArrayObject*>(value);
    const int ndim = PyArray_NDIM(a);
    if (ndim == 1) {
        set_1d_array(value, out);
        return true;
    }
    if (ndim >= 2) py::raise(PyExc_ValueError, "attr array must be 1-D");
    if (py::dtype_equiv(a, NPY_FLOAT64)) {
        set_f64(out, item_as_double(value));
        return true;
    }
    if (py::dtype_equiv(a, NPY_FLOAT32)) {
        set_f32(out, py::narrow_to_float(item_as_double(value)));
        return true;
    }
    return false;
}

// NumPy scalars and look-alikes: an object whose dtype.name says float64/float32.
bool try_float_dtype(PyObject* value, ParsedAttr& out) {
    Ref dtype(PyObject_GetAttrString(value, "dtype"));
    if (!dtype) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw py::ErrorSet{};
        PyErr_Clear();
        return false;
    }
    Ref name = Ref::checked(PyObject_GetAttrString(dtype.get(), "name"));
    if (!PyUnicode_Check(name.get())) return false;
    if (PyUnicode_CompareWithASCIIString(name.get(), "float64") == 0) {
        set_f64(out, item_as_double(value));
        return true;
    }
    if (PyUnicode_CompareWithASCIIString(name.get(), "float32") == 0) {
        set_f32(out, py::narrow_to_float(item_as_double(value)));
        return true;
    }
    if (PyErr_Occurred()) throw py::ErrorSet{};
    return false;
}

// Integers keep their low 32 bits; a value that is no signed 64-bit integer
// simply does not match this rule.
bool try_integer(PyObject* value, ParsedAttr& out) {
    try {
        const int64_t v = py::to_i64(value);
        set_int(out, static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))));
        return true;
    } catch (const py::ErrorSet&) {
        py::clear_ordinary_error();
        if (PyErr_Occurred()) throw;
        return false;
    }
}

void set_float_list(PyObject* list, ParsedAttr& out) {
    // A snapshot: element conversions may run Python code that edits the list.
    Ref items = Ref::checked(PyList_GetSlice(list, 0, PyList_Size(list)));
    const Py_ssize_t n = PyList_Size(items.get());
    if (n == 0) py::raise(PyExc_ValueError, "attr array must be non-empty");
    out.floats.reserve(static_cast<size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        const double v = PyFloat_AsDouble(py::check(PyList_GetItem(items.get(), i)));
        if (v == -1.0 && PyErr_Occurred()) throw py::ErrorSet{};
        out.floats.push_back(py::narrow_to_float(v));
    }
    out.item.type = ATTR_FLOAT32_ARRAY;
    out.item.count = out.floats.size();
}

}  // namespace

void parse_attr_value(PyObject* value, ParsedAttr& out) {
    if (PyUnicode_Check(value)) return set_string(value, out);
    if (PyBool_Check(value)) return set_int(out, value == Py_True ? 1 : 0);
    if (PyArray_Check(value) && try_ndarray(value, out)) return;
    if (try_float_dtype(value, out)) return;
    if (PyFloat_Check(value)) {
        const double v = PyFloat_AsDouble(value);
        if (v == -1.0 && PyErr_Occurred()) throw py::ErrorSet{};
        return set_f32(out, py::narrow_to_float(v));
    }
    if (try_integer(value, out)) return;
    if (PyList_Check(value)) return set_float_list(value, out);
    py::raise(PyExc_TypeError, kRefused);
}

void parse_attrs(PyObject* attrs, std::vector<ParsedAttr>& out) {
    if (!PyDict_Check(attrs)) py::raise(PyExc_TypeError, "node attrs must be a dict");
    const py::DictSnapshot entries(attrs);
    for (Py_ssize_t i = 0; i < entries.size(); ++i) {
        ParsedAttr a;
        const std::string_view key = py::utf8(entries.key(i));
        if (key.find('\0') != std::string_view::npos) py::raise(PyExc_ValueError, "attr key contains NUL");
        a.name.assign(key);
        parse_attr_value(entries.value(i), a);
        entries.require_unchanged(i, "node attrs dict");
        out.push_back(std::move(a));
    }
    entries.require_all_unchanged("node attrs dict");
}

}  // namespace pyxa
