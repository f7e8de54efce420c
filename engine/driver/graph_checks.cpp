// Checks of the graph's structure before anything is planned: tensor
// descriptions (with the size limits that keep later arithmetic from wrapping)
// and references to described tensors.
#include <limits>
#include <new>

#include "engine/driver/driver_parts.hpp"

namespace pyxa {
namespace {

constexpr __int128 kI64Max = std::numeric_limits<int64_t>::max();

// Every size and every end the engine derives from a description must be
// addressable as a signed 64-bit value, and the whole buffer as 64 bits.
// Returns what is not, or null.
const char* unaddressable_part(const TensorDesc& d) {
    if (!fits_i64(d.height) || !fits_i64(d.width) || !fits_i64(d.channels) || !fits_i64(d.stride))
        return "a size exceeds 2^63 - 1";
    if (!fits_i64(d.canvas_width) || !fits_i64(d.canvas_height)) return "a canvas size exceeds 2^63 - 1";
    uint64_t bytes = 0;
    if (!checked_mul(d.height, d.stride, &bytes)) return "height * stride overflows";
    const __int128 ends[] = {
        static_cast<__int128>(d.origin_x) + d.width,
        static_cast<__int128>(d.origin_y) + d.height,
        static_cast<__int128>(d.canvas_x0) + d.canvas_width,
        static_cast<__int128>(d.canvas_y0) + d.canvas_height,
    };
    for (__int128 e : ends)
        if (e > kI64Max) return "an origin or canvas end exceeds 2^63 - 1";
    return nullptr;
}

Status check_desc(const TensorDesc& d, Diagnostic* diag) {
    if (d.height == 0 || d.width == 0)
        return fail(diag, GRAPH_INVALID, "tensor ", d.id, ": height and width must be positive, got ", d.height, " x ",
                    d.width);
    if (!dtype_valid(d.dtype)) return fail(diag, GRAPH_INVALID, "tensor ", d.id, ": unknown dtype ", d.dtype);
    if (d.channels == 0) return fail(diag, GRAPH_INVALID, "tensor ", d.id, ": channels must be positive");
    const uint64_t row = d.packed_row_size();
    const uint64_t px = d.pixel_size();
    // A stride below one row is most often a stride given in elements, not bytes.
    const RowLayout layout = row_layout(d.stride, row, px);
    if (row == 0 || layout == RowLayout::ShortRow)
        return fail(diag, INVALID_ARGUMENT, "tensor ", d.id, ": stride ", d.stride,
                    " is less than one packed row (", row, " bytes)");
    if (layout != RowLayout::Fits)
        return fail(diag, INVALID_ARGUMENT, "tensor ", d.id, ": stride ", d.stride,
                    " is not a multiple of the pixel size (", px, " bytes)");
    if (const char* part = unaddressable_part(d)) return fail(diag, GRAPH_INVALID, "tensor ", d.id, ": ", part);
    return OK;
}

// The first of `ids` without a description, or null.
const uint32_t* first_undescribed(const TensorTable& t, const uint32_t* ids, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (!t.count(ids[i])) return &ids[i];
    return nullptr;
}

Status undescribed(Diagnostic* diag, const char* what, uint32_t id) {
    return fail(diag, GRAPH_INVALID, what, ' ', id, " has no tensor description");
}

Status check_node_references(const GraphNode& n, const TensorTable& t, Diagnostic* diag) {
    Status s = OK;
    if (n.output_count == 0) s = fail(diag, GRAPH_INVALID, "a node needs an output");
    else if (const uint32_t* id = first_undescribed(t, n.inputs, n.input_count)) s = undescribed(diag, "input", *id);
    else if (const uint32_t* id = first_undescribed(t, n.outputs, n.output_count)) s = undescribed(diag, "output", *id);
    return s == OK ? OK : fail_at_node(diag, s, n.id, n.op, n.op_len);
}

}  // namespace

Status build_tensor_table(const Graph& g, TensorTable* table, Diagnostic* diag) {
    table->clear();
    table->reserve(g.tensor_desc_count);
    for (size_t i = 0; i < g.tensor_desc_count; ++i) {
        const TensorDesc& d = g.tensor_descs[i];
        if (table->count(d.id)) return fail(diag, GRAPH_INVALID, "tensor ", d.id, " is described twice");
        PYXA_TRY(check_desc(d, diag));
        table->emplace(d.id, &d);
    }
    return OK;
}

Status check_references(const Graph& g, const TensorTable& t, Diagnostic* diag) {
    if (const uint32_t* id = first_undescribed(t, g.inputs, g.input_count)) return undescribed(diag, "graph input", *id);
    if (const uint32_t* id = first_undescribed(t, g.outputs, g.output_count))
        return undescribed(diag, "graph output", *id);
    for (size_t i = 0; i < g.node_count; ++i) PYXA_TRY(check_node_references(g.nodes[i], t, diag));
    return OK;
}

Status check_opcode_arity(const GraphNode& node, const KernelStep& step, Diagnostic* diag) {
    if (step.kind != KernelKind::Opcode) return OK;
    // A second output would be read later or returned without ever being written.
    if (node.output_count > 1)
        return fail(diag, GRAPH_INVALID, "an opcode writes one output, got ", node.output_count);
    // Several opcodes read their first input without looking at the count.
    if (node.input_count == 0) return fail(diag, INVALID_ARGUMENT, "an opcode needs an input");
    return OK;
}

}  // namespace pyxa
