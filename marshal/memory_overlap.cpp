// Overlap checks between bound arrays: byte extents first, then row by row,
// since two views of one buffer (alternate rows, side-by-side columns) can
// interleave without sharing a byte.
#include "marshal/memory_overlap.hpp"

#include <string>

#include "engine/memory/in_place.hpp"
#include "marshal/py_ref.hpp"

namespace pyxa {
namespace {

uint64_t row_bytes(const TensorBinding& b) { return b.width * b.channels * element_size(b.dtype); }

uintptr_t first_byte(const TensorBinding& b) { return reinterpret_cast<uintptr_t>(b.data); }

// One past the last byte of the last row; the sizes fit, since NumPy holds the array.
uintptr_t end_byte(const TensorBinding& b) { return first_byte(b) + (b.height - 1) * b.row_stride + row_bytes(b); }

bool empty(const TensorBinding& b) { return b.height == 0 || row_bytes(b) == 0; }

// Rows of one binding are ascending and disjoint (row stride >= packed row), so
// a merge of the two row sequences finds a shared byte in O(rows).
bool rows_share_a_byte(const TensorBinding& a, const TensorBinding& b) {
    uint64_t i = 0, j = 0;
    while (i < a.height && j < b.height) {
        const uintptr_t a0 = first_byte(a) + i * a.row_stride, a1 = a0 + row_bytes(a);
        const uintptr_t b0 = first_byte(b) + j * b.row_stride, b1 = b0 + row_bytes(b);
        if (a1 <= b0) {
            ++i;
        } else if (b1 <= a0) {
            ++j;
        } else {
            return true;
        }
    }
    return false;
}

bool overlap(const TensorBinding& a, const TensorBinding& b) {
    if (empty(a) || empty(b)) return false;
    if (first_byte(a) >= end_byte(b) || first_byte(b) >= end_byte(a)) return false;
    return rows_share_a_byte(a, b);
}

bool same_layout(const TensorBinding& a, const TensorBinding& b) {
    return a.data == b.data && a.row_stride == b.row_stride && a.height == b.height && a.width == b.width &&
           a.channels == b.channels && a.dtype == b.dtype;
}

[[noreturn]] void refuse(const TensorBinding& out, const char* other_kind, const TensorBinding& other,
                         const char* why) {
    const std::string msg = "output tensor " + std::to_string(out.tensor_id) + " overlaps " + other_kind +
                            " tensor " + std::to_string(other.tensor_id) + why + "; pass a separate array";
    py::raise(PyExc_ValueError, msg.c_str());
}

bool computed_in_place(const Graph& graph, const TensorBinding& in, const TensorBinding& out) {
    bool allowed = false;
    if (in_place_allowed(graph, in.tensor_id, out.tensor_id, &allowed) != OK) {
        PyErr_NoMemory();
        throw py::ErrorSet{};
    }
    return allowed;
}

}  // namespace

void refuse_overlaps(const Graph& graph, const std::vector<TensorBinding>& inputs,
                     const std::vector<TensorBinding>& outputs) {
    for (size_t o = 0; o < outputs.size(); ++o) {
        const TensorBinding& out = outputs[o];
        for (const TensorBinding& in : inputs) {
            // One tensor both bound as input and output is a graph the engine refuses.
            if (in.tensor_id == out.tensor_id || !overlap(out, in)) continue;
            if (!same_layout(out, in)) refuse(out, "input", in, " (same buffer, different layout)");
            if (!computed_in_place(graph, in, out))
                refuse(out, "input", in, " (in place, allowed only when pointwise ops alone read the input)");
        }
        for (size_t p = 0; p < o; ++p)
            if (overlap(out, outputs[p])) refuse(out, "output", outputs[p], "");
    }
}

}  // namespace pyxa
