// Binding of caller arrays to tensors: every check of one array against its
// tensor description, and the TensorBindings taken from the accepted arrays.
#pragma once

#include <Python.h>

#include <unordered_map>
#include <vector>

#include "core/records.hpp"
#include "marshal/py_ref.hpp"

namespace pyxa {

// Strong references to every bound array of one call, shared by the input and
// output passes and released after the engine returns.
using ArrayRefs = std::vector<py::Ref>;

// The first description of each tensor id, for constant-time lookups.
using DescIndex = std::unordered_map<uint32_t, const TensorDesc*>;
DescIndex index_descs(const std::vector<TensorDesc>& descs);

// An accepted array waiting for its final pointer and strides.
struct PendingBinding {
    PyObject* array;  // kept alive by ArrayRefs
    const TensorDesc* desc;
    uint32_t tensor_id;
};

// Checks every (id, array) pair of `bindings` in dict order against the
// descriptions, raising the first failure; accepted arrays are appended to `refs`.
std::vector<PendingBinding> bind_arrays(PyObject* bindings, const DescIndex& descs,
                                        bool require_writeable, ArrayRefs& refs);

// Re-checks each accepted array from its C-level fields and takes its data
// pointer and row step. Called after all Python code of both passes has run,
// so a callback that edited an earlier array cannot leave a stale pointer or a
// read-only output behind.
std::vector<TensorBinding> finish_bindings(const std::vector<PendingBinding>& pending,
                                           bool require_writeable);

}  // namespace pyxa
