// Array binding: key, tensor lookup, ndarray type, writeability, element type,
// shape, packed pixels and row step, checked in that order.
#include "marshal/bind_arrays.hpp"

#include <string>

#include "marshal/error_notes.hpp"
#include "marshal/numpy_api.hpp"
#include "marshal/py_convert.hpp"

namespace pyxa {
namespace {

using py::Ref;

uint32_t binding_key(PyObject* key) {
    return py::convert_or_type_error(py::to_u32, key, "binding key must be tensor id int");
}

const TensorDesc* find_desc(const DescIndex& descs, uint32_t id) {
    const auto it = descs.find(id);
    if (it != descs.end()) return it->second;
    const std::string msg = "binding for unknown tensor id " + std::to_string(id);
    py::raise(PyExc_ValueError, msg.c_str());
}

// The Python-level flags.writeable, read as a strict bool (a subclass may
// override `flags`, so this can run arbitrary code).
bool python_writeable(PyObject* array) {
    Ref flags = Ref::checked(PyObject_GetAttrString(array, "flags"));
    Ref w = Ref::checked(PyObject_GetAttrString(flags.get(), "writeable"));
    if (w.get() == Py_True) return true;
    if (w.get() == Py_False) return false;
    if (PyObject_TypeCheck(w.get(), &PyBoolArrType_Type)) {
        const int t = PyObject_IsTrue(w.get());
        if (t < 0) throw py::ErrorSet{};
        return t == 1;
    }
    py::raise(PyExc_TypeError, "flags.writeable must be a bool");
}

void check_writeable_flag(PyArrayObject* a) {
    if (!(PyArray_FLAGS(a) & NPY_ARRAY_WRITEABLE))
        py::raise(PyExc_ValueError, "output binding array must be writeable");
}

void check_element_type(PyArrayObject* a, const TensorDesc& d) {
    if (py::dtype_equiv(a, NPY_FLOAT32)) {
        if (d.dtype != FLOAT32) py::raise(PyExc_TypeError, "binding dtype mismatch (float32)");
    } else if (py::dtype_equiv(a, NPY_UINT16)) {
        if (d.dtype != UINT16) py::raise(PyExc_TypeError, "binding dtype mismatch (uint16)");
    } else if (py::dtype_equiv(a, NPY_UINT8)) {
        if (d.dtype != UINT8) py::raise(PyExc_TypeError, "binding dtype mismatch (uint8)");
    } else {
        py::raise(PyExc_TypeError, "binding array must be uint8/uint16/float32");
    }
}

bool dim_is(PyArrayObject* a, int axis, uint64_t want) {
    return static_cast<uint64_t>(PyArray_DIM(a, axis)) == want;
}

void check_shape(PyArrayObject* a, const TensorDesc& d) {
    constexpr const char* kRank = "binding array must be (H,W) or (H,W,C)";
    const int ndim = PyArray_NDIM(a);
    if (ndim == 0) py::raise(PyExc_ValueError, kRank);
    if (ndim == 2 && d.channels == 1) {
        if (!dim_is(a, 0, d.height) || !dim_is(a, 1, d.width))
            py::raise(PyExc_ValueError, "binding shape mismatch (H,W)");
        return;
    }
    if (ndim != 3) py::raise(PyExc_ValueError, kRank);
    if (!dim_is(a, 0, d.height) || !dim_is(a, 1, d.width) || !dim_is(a, 2, d.channels))
        py::raise(PyExc_ValueError, "binding shape mismatch (H,W,C)");
}

// A stride equals `want` bytes; negative strides never match.
bool stride_is(PyArrayObject* a, int axis, uint64_t want) {
    const npy_intp s = PyArray_STRIDE(a, axis);
    return s > 0 && static_cast<uint64_t>(s) == want;
}

void check_layout(PyArrayObject* a, const TensorDesc& d) {
    const uint64_t e = element_size(d.dtype);
    const bool packed = PyArray_NDIM(a) == 2
                            ? stride_is(a, 1, e)
                            : stride_is(a, 2, e) && stride_is(a, 1, saturating_mul(e, d.channels));
    if (!packed) py::raise(PyExc_ValueError, "binding array must have packed pixels (unit column stride)");
    const npy_intp row = PyArray_STRIDE(a, 0);
    // Pixels were just found packed, so only the row length is left to check.
    if (row <= 0 || row_layout(static_cast<uint64_t>(row), d.packed_row_size(), 1) != RowLayout::Fits)
        py::raise(PyExc_ValueError, "binding array must have a positive row stride of at least one packed row");
}

// The checks that read only the array's C-level fields.
void check_array_fields(PyArrayObject* a, const TensorDesc& d, bool require_writeable) {
    if (require_writeable) check_writeable_flag(a);
    check_element_type(a, d);
    check_shape(a, d);
    check_layout(a, d);
}

// The name of a value's type ("list"); under the stable ABI the type object is opaque.
std::string type_name(PyObject* value) {
#ifdef Py_LIMITED_API
    const Ref name = Ref::checked(PyType_GetName(Py_TYPE(value)));
    return std::string(py::utf8(name.get()));
#else
    return Py_TYPE(value)->tp_name;
#endif
}

// "float32", "int64", "complex128", ... from the C-level fields, so that naming
// the dtype of a refused array runs no Python code.
std::string dtype_text(PyArrayObject* a) {
    const PyArray_Descr* d = PyArray_DESCR(a);
    const std::string bits = std::to_string(PyDataType_ELSIZE(d) * 8);
    switch (d->kind) {
        case 'b': return "bool";
        case 'u': return "uint" + bits;
        case 'i': return "int" + bits;
        case 'f': return "float" + bits;
        case 'c': return "complex" + bits;
        default: return std::string("dtype of kind '") + d->kind + "'";
    }
}

std::string tuple_text(const npy_intp* values, int n) {
    std::string text = "(";
    for (int i = 0; i < n; ++i) text += (i ? ", " : "") + std::to_string(values[i]);
    return text + (n == 1 ? ",)" : ")");
}

// What the description asks for: "float32 (4000, 6000, 3)".
std::string expected_text(const TensorDesc& d) {
    std::string text = std::string(dtype_name(d.dtype)) + " (" + std::to_string(d.height) + ", " +
                       std::to_string(d.width);
    if (d.channels != 1) text += ", " + std::to_string(d.channels);
    return text + ")";
}

// The note on a refused binding: the tensor, what its description asks for and
// what the array is. Strides are named only when dtype and shape were fine.
std::string binding_note(uint32_t id, const TensorDesc& d, PyObject* value, bool output) {
    std::string note = "tensor " + std::to_string(id) + (output ? " (output)" : " (input)") + ": expected " +
                       expected_text(d) + ", got ";
    if (!PyArray_Check(value)) return note + type_name(value);
    PyArrayObject* a = reinterpret_cast<PyArrayObject*>(value);
    if (output && !(PyArray_FLAGS(a) & NPY_ARRAY_WRITEABLE)) note = note + "a read-only " + dtype_text(a);
    else note += dtype_text(a);
    note += " array of shape " + tuple_text(PyArray_DIMS(a), PyArray_NDIM(a));
    return note + " and byte strides " + tuple_text(PyArray_STRIDES(a), PyArray_NDIM(a));
}

// Runs `checks`; a refusal they raise keeps its message and gains the note.
template <class Checks>
void with_binding_note(uint32_t id, const TensorDesc& desc, PyObject* value, bool output, Checks checks) {
    try {
        checks();
    } catch (const py::ErrorSet&) {
        py::add_note_to_raised([&] { return binding_note(id, desc, value, output); });
        throw;
    }
}

void check_binding(PyObject* value, const TensorDesc& desc, uint32_t id, bool require_writeable) {
    with_binding_note(id, desc, value, require_writeable, [&] {
        if (!PyArray_Check(value)) py::raise(PyExc_TypeError, "binding value must be a numpy ndarray");
    });
    // Reading the Python-level flags may run the caller's own code: its errors pass unnoted.
    const bool writeable = !require_writeable || python_writeable(value);
    with_binding_note(id, desc, value, require_writeable, [&] {
        if (!writeable) py::raise(PyExc_ValueError, "output binding array must be writeable");
        check_array_fields(reinterpret_cast<PyArrayObject*>(value), desc, require_writeable);
    });
}

}  // namespace

DescIndex index_descs(const std::vector<TensorDesc>& descs) {
    DescIndex index;
    index.reserve(descs.size());
    for (const TensorDesc& d : descs) index.emplace(d.id, &d);  // keeps the first of an id
    return index;
}

std::vector<PendingBinding> bind_arrays(PyObject* bindings, const DescIndex& descs,
                                        bool require_writeable, ArrayRefs& refs) {
    if (!PyDict_Check(bindings)) py::raise(PyExc_TypeError, "bindings must be a dict id -> ndarray");
    const py::DictSnapshot entries(bindings);
    std::vector<PendingBinding> out;
    for (Py_ssize_t i = 0; i < entries.size(); ++i) {
        const uint32_t id = binding_key(entries.key(i));
        const TensorDesc* desc = find_desc(descs, id);
        PyObject* value = entries.value(i);
        check_binding(value, *desc, id, require_writeable);
        refs.push_back(Ref::borrow(value));
        out.push_back(PendingBinding{value, desc, id});
    }
    return out;
}

std::vector<TensorBinding> finish_bindings(const std::vector<PendingBinding>& pending,
                                           bool require_writeable) {
    std::vector<TensorBinding> out;
    out.reserve(pending.size());
    for (const PendingBinding& p : pending) {
        PyArrayObject* a = reinterpret_cast<PyArrayObject*>(p.array);
        with_binding_note(p.tensor_id, *p.desc, p.array, require_writeable,
                          [&] { check_array_fields(a, *p.desc, require_writeable); });
        TensorBinding b;
        b.data = PyArray_DATA(a);
        b.height = p.desc->height;
        b.width = p.desc->width;
        b.channels = p.desc->channels;
        b.dtype = p.desc->dtype;
        b.row_stride = static_cast<uint64_t>(PyArray_STRIDE(a, 0));
        b.tensor_id = p.tensor_id;
        out.push_back(b);
    }
    return out;
}

}  // namespace pyxa
