// Checks of the graph's structure before anything is planned: tensor
// descriptions (with the size limits that keep later arithmetic from wrapping)
// and references to described tensors.
#include <limits>
#include <new>

#include "engine/mod/driver_parts.hpp"

namespace pyxa {
namespace {

constexpr __int128 kI64Max = std::numeric_limits<int64_t>::max();

// Every size and every end the engine derives from a description must be
// addressable as a signed 64-bit value, and the whole buffer as 64 bits.
bool sizes_addressable(const TensorDesc& d) {
    if (!fits_i64(d.height) || !fits_i64(d.width) || !fits_i64(d.channels) || !fits_i64(d.stride)) return false;
    if (!fits_i64(d.canvas_width) || !fits_i64(d.canvas_height)) return false;
    uint64_t bytes = 0;
    if (!checked_mul(d.height, d.stride, &bytes)) return false;
    const __int128 ends[] = {
        static_cast<__int128>(d.origin_x) + d.width,
        static_cast<__int128>(d.origin_y) + d.height,
        static_cast<__int128>(d.canvas_x0) + d.canvas_width,
        static_cast<__int128>(d.canvas_y0) + d.canvas_height,
    };
    for (__int128 e : ends)
        if (e > kI64Max) return false;
    return true;
}

Status check_desc(const TensorDesc& d) {
    if (d.height == 0 || d.width == 0) return GRAPH_INVALID;
    if (!dtype_valid(d.dtype) || d.channels == 0) return GRAPH_INVALID;
    const uint64_t row = d.packed_row_size();
    const uint64_t px = d.pixel_size();
    if (row == 0 || px == 0 || d.stride < row || d.stride % px != 0) return INVALID_ARGUMENT;
    if (!sizes_addressable(d)) return GRAPH_INVALID;
    return OK;
}

bool described(const TensorTable& t, const uint32_t* ids, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (!t.count(ids[i])) return false;
    return true;
}

}  // namespace

Status build_tensor_table(const Graph& g, TensorTable* table) {
    table->clear();
    table->reserve(g.tensor_desc_count);
    for (size_t i = 0; i < g.tensor_desc_count; ++i) {
        const TensorDesc& d = g.tensor_descs[i];
        if (table->count(d.id)) return GRAPH_INVALID;
        PYXA_TRY(check_desc(d));
        table->emplace(d.id, &d);
    }
    return OK;
}

Status check_references(const Graph& g, const TensorTable& t) {
    if (!described(t, g.inputs, g.input_count) || !described(t, g.outputs, g.output_count)) return GRAPH_INVALID;
    for (size_t i = 0; i < g.node_count; ++i) {
        const GraphNode& n = g.nodes[i];
        if (n.output_count == 0) return GRAPH_INVALID;
        if (!described(t, n.inputs, n.input_count) || !described(t, n.outputs, n.output_count))
            return GRAPH_INVALID;
    }
    return OK;
}

Status check_opcode_arity(const GraphNode& node, const KernelStep& step) {
    if (step.kind != KernelKind::Opcode) return OK;
    // A second output would be read later or returned without ever being written.
    if (node.output_count > 1) return GRAPH_INVALID;
    // Several opcodes read their first input without looking at the count.
    if (node.input_count == 0) return INVALID_ARGUMENT;
    return OK;
}

}  // namespace pyxa
