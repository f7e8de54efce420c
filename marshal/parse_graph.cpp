// Parsing of the graph description dict: tensor descriptions, tensor id lists
// and nodes, checked in a fixed order so the first problem decides the error.
#include <cstring>
#include <new>
#include <stdexcept>

#include "marshal/parsed_graph.hpp"
#include "marshal/py_convert.hpp"

namespace pyxa {
namespace {

using py::Ref;

constexpr const char* kDescRequires = "tensor_desc requires id, dtype, height, width, channels";
constexpr const char* kNodeRequires = "node requires id, op, inputs, outputs";

Ref require(PyObject* dict, const char* key, const char* message) {
    Ref v = py::dict_get(dict, key);
    if (!v) py::raise(PyExc_ValueError, message);
    return v;
}

int32_t parse_dtype(PyObject* v) {
    if (PyUnicode_Check(v)) {
        static const char* const kNames[] = {"uint8", "uint16", "float16", "float32"};
        for (int32_t d = 0; d < 4; ++d) {
            const int cmp = PyUnicode_CompareWithASCIIString(v, kNames[d]);
            if (cmp == -1 && PyErr_Occurred()) throw py::ErrorSet{};
            if (cmp == 0) return d;
        }
        Ref msg = Ref::checked(PyUnicode_FromFormat("unsupported dtype string: %U", v));
        py::raise_object(PyExc_ValueError, msg.get());
    }
    const int64_t d = py::convert_or_type_error(py::to_i64, v, "dtype must be str or int");
    // Taken as unsigned, so negative codes fail the same bound.
    if (static_cast<uint64_t>(d) >= 4) py::raise(PyExc_ValueError, "dtype enum out of range");
    return static_cast<int32_t>(d);
}

template <class T, class Convert>
void optional_field(PyObject* dict, const char* key, T* field, Convert convert) {
    Ref v = py::dict_get(dict, key);
    if (v) *field = convert(v.get());
}

TensorDesc parse_tensor_desc(PyObject* d) {
    if (!PyDict_Check(d)) py::raise(PyExc_TypeError, "tensor_desc must be a dict");
    TensorDesc t;
    t.id = py::to_u32(require(d, "id", kDescRequires).get());
    t.dtype = parse_dtype(require(d, "dtype", kDescRequires).get());
    t.height = py::to_u64(require(d, "height", kDescRequires).get());
    t.width = py::to_u64(require(d, "width", kDescRequires).get());
    t.channels = py::to_u64(require(d, "channels", kDescRequires).get());
    t.stride = py::to_u64(require(d, "stride", "tensor_desc requires stride").get());
    t.canvas_width = t.width;
    t.canvas_height = t.height;
    optional_field(d, "origin_y", &t.origin_y, py::to_i64);
    optional_field(d, "origin_x", &t.origin_x, py::to_i64);
    optional_field(d, "canvas_x0", &t.canvas_x0, py::to_i64);
    optional_field(d, "canvas_y0", &t.canvas_y0, py::to_i64);
    optional_field(d, "canvas_width", &t.canvas_width, py::to_u64);
    optional_field(d, "canvas_height", &t.canvas_height, py::to_u64);
    return t;
}

bool is_abc_sequence(PyObject* o) {
    Ref abc = Ref::checked(PyImport_ImportModule("collections.abc"));
    Ref seq_type = Ref::checked(PyObject_GetAttrString(abc.get(), "Sequence"));
    const int r = PyObject_IsInstance(o, seq_type.get());
    if (r < 0) throw py::ErrorSet{};
    return r == 1;
}

uint32_t parse_tensor_id(PyObject* item) {
    // Every element failure reads the same; only interrupts keep their own.
    return py::convert_or_type_error(py::to_u32, item, "tensor id must be int");
}

// Lists are read through the list itself (a subclass's __getitem__ is not
// consulted); the length is re-read every step because an element's __index__
// may shrink the list, in which case reading past the end raises IndexError.
Ref sequence_item(PyObject* seq, bool is_list, Py_ssize_t i) {
    if (is_list) {
        PyObject* item = PyList_GetItem(seq, i);
        return Ref::borrow(py::check(item));
    }
    return Ref::checked(PySequence_GetItem(seq, i));
}

// A sequence may claim any length (a range, a custom __len__): room for it is
// taken up front so that an impossible length fails at once with MemoryError
// instead of after hours of element reads. Beyond 2^32 ids (16 GiB) no
// allocation is even attempted.
void reserve_or_raise(std::vector<uint32_t>& ids, Py_ssize_t n) {
    constexpr Py_ssize_t kMaxIds = Py_ssize_t{1} << 32;
    if (n > kMaxIds) {
        PyErr_NoMemory();
        throw py::ErrorSet{};
    }
    try {
        ids.reserve(static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        throw py::ErrorSet{};
    } catch (const std::length_error&) {
        PyErr_NoMemory();
        throw py::ErrorSet{};
    }
}

Ref snapshot(PyObject* list) { return Ref::checked(PyList_GetSlice(list, 0, PyList_Size(list))); }

ParsedNode parse_node(PyObject* d) {
    if (!PyDict_Check(d)) py::raise(PyExc_TypeError, "node must be a dict");
    ParsedNode n;
    n.id = py::to_u32(require(d, "id", kNodeRequires).get());
    Ref op = require(d, "op", kNodeRequires);
    if (!PyUnicode_Check(op.get())) py::raise(PyExc_TypeError, "node op must be str");
    Py_ssize_t len = 0;
    const char* text = PyUnicode_AsUTF8AndSize(op.get(), &len);
    if (!text) {
        py::clear_ordinary_error();
        if (PyErr_Occurred()) throw py::ErrorSet{};
        py::raise(PyExc_TypeError, "node op must be str");
    }
    n.op.assign(text, static_cast<size_t>(len));
    if (n.op.find('\0') != std::string::npos) py::raise(PyExc_ValueError, "op name contains NUL");
    Ref inputs = require(d, "inputs", kNodeRequires);
    Ref outputs = require(d, "outputs", kNodeRequires);
    n.inputs = parse_id_list(inputs.get());
    n.outputs = parse_id_list(outputs.get());
    Ref attrs = py::dict_get(d, "attrs");
    if (attrs && attrs.get() != Py_None) parse_attrs(attrs.get(), n.attrs);
    return n;
}

}  // namespace

std::vector<uint32_t> parse_id_list(PyObject* seq) {
    const bool is_list = PyList_Check(seq);
    if (!is_list && !PyTuple_Check(seq) && !is_abc_sequence(seq))
        py::raise(PyExc_TypeError, "expected list/tuple of tensor ids");
    const Py_ssize_t n = PySequence_Size(seq);
    if (n < 0) throw py::ErrorSet{};
    std::vector<uint32_t> ids;
    reserve_or_raise(ids, n);
    for (Py_ssize_t i = 0; i < n; ++i) {
        Ref item = sequence_item(seq, is_list, i);
        ids.push_back(parse_tensor_id(item.get()));
    }
    return ids;
}

void parse_graph(PyObject* graph, ParsedGraph& out) {
    if (!PyDict_Check(graph)) py::raise(PyExc_TypeError, "graph must be a dict");
    constexpr const char* kGraphRequires = "graph requires tensor_descs, inputs, outputs, nodes";
    Ref descs = require(graph, "tensor_descs", kGraphRequires);
    Ref inputs = require(graph, "inputs", kGraphRequires);
    Ref outputs = require(graph, "outputs", kGraphRequires);
    Ref nodes = require(graph, "nodes", kGraphRequires);
    if (!PyList_Check(descs.get()) || !PyList_Check(nodes.get()))
        py::raise(PyExc_TypeError, "tensor_descs and nodes must be lists");

    // Both lists are copied first: conversions may run Python code that edits
    // them, and a list that grows while it is read would never end.
    Ref desc_items = snapshot(descs.get());
    Ref node_items = snapshot(nodes.get());
    for (Py_ssize_t i = 0; i < PyList_Size(desc_items.get()); ++i)
        out.descs.push_back(parse_tensor_desc(PyList_GetItem(desc_items.get(), i)));
    out.inputs = parse_id_list(inputs.get());
    out.outputs = parse_id_list(outputs.get());
    for (Py_ssize_t i = 0; i < PyList_Size(node_items.get()); ++i)
        out.nodes.push_back(parse_node(PyList_GetItem(node_items.get(), i)));
    out.finish();
}

}  // namespace pyxa
