// Building the buffer planner: consumer counts and the checks of every binding.
#include <new>

#include "engine/memory/buffer_planner.hpp"

namespace pyxa {
namespace {

bool layout_fits(const TensorBinding& b, const TensorDesc& d) {
    if (b.data == nullptr) return false;
    if (b.height != d.height || b.width != d.width || b.channels != d.channels || b.dtype != d.dtype)
        return false;
    const uint64_t row = d.packed_row_size();
    const uint64_t px = d.pixel_size();
    return row != 0 && row_layout(b.row_stride, row, px) == RowLayout::Fits;
}

// The canvas of an extra input lies inside the tensor's own extent. The tensor
// table has already checked that every one of these sums fits.
bool canvas_inside(const TensorDesc& d) {
    const __int128 ox = d.origin_x, oy = d.origin_y;
    return d.canvas_x0 >= d.origin_x && d.canvas_y0 >= d.origin_y &&
           ox + d.width >= static_cast<__int128>(d.canvas_x0) + d.canvas_width &&
           oy + d.height >= static_cast<__int128>(d.canvas_y0) + d.canvas_height;
}

void count_consumers(const Graph& g, BufferPlanner& p) {
    for (size_t i = 0; i < g.node_count; ++i) {
        const GraphNode& n = g.nodes[i];
        for (size_t k = 0; k < n.input_count; ++k) ++p.consumer_counts[n.inputs[k]];
    }
}

BufferEntry caller_entry(const TensorBinding& b) { return BufferEntry{b.view(), 0, 0}; }

// Refusals shared by input and output bindings.
Status mismatch(Diagnostic* diag, uint32_t id) {
    return fail(diag, DIMENSION_MISMATCH, "tensor ", id, ": the bound array does not match its description");
}
Status bound_twice(Diagnostic* diag, uint32_t id) { return fail(diag, GRAPH_INVALID, "tensor ", id, " is bound twice"); }
Status not_described(Diagnostic* diag, uint32_t id) {
    return fail(diag, GRAPH_INVALID, "tensor ", id, " is bound but not described");
}

Status bind_input(const TensorBinding& b, const std::unordered_set<uint32_t>& graph_inputs,
                  std::unordered_set<uint32_t>& bound, BufferPlanner& p, Diagnostic* diag) {
    const uint32_t id = b.tensor_id;
    const TensorDesc* d = p.desc(id);
    // Graph outputs are written in place; an input binding for one (even a
    // tensor listed as both input and output) would hand a read-only array to a writer.
    if (p.output_ids.count(id))
        return fail(diag, GRAPH_INVALID, "tensor ", id, " is a graph output: bind it in outputs, not inputs");
    if (!bound.insert(id).second) return bound_twice(diag, id);
    if (d == nullptr) return not_described(diag, id);
    if (graph_inputs.count(id)) {
        if (!layout_fits(b, *d)) return mismatch(diag, id);
        p.buffers[id] = caller_entry(b);
        return OK;
    }
    // An intermediate tensor supplied by the caller.
    if (!p.consumer_counts.count(id))
        return fail(diag, GRAPH_INVALID, "tensor ", id, " is bound in inputs but no node reads it");
    if (!layout_fits(b, *d)) return mismatch(diag, id);
    if (canvas_inside(*d)) p.buffers[id] = caller_entry(b);
    return OK;
}

// The first graph input without an array.
Status unbound_input(const Graph& g, const std::unordered_set<uint32_t>& bound, Diagnostic* diag) {
    for (size_t i = 0; i < g.input_count; ++i)
        if (!bound.count(g.inputs[i]))
            return fail(diag, GRAPH_INVALID, "graph input ", g.inputs[i], " has no array in inputs");
    return GRAPH_INVALID;
}

Status build(const Graph& g, const TensorTable& descs, const TensorBinding* inputs, size_t n_in,
             const TensorBinding* outputs, size_t n_out, BufferPlanner& p, Diagnostic* diag) {
    p.graph = &g;
    p.descs = &descs;
    std::unordered_set<uint32_t> graph_inputs(g.inputs, g.inputs + g.input_count);
    p.output_ids.insert(g.outputs, g.outputs + g.output_count);
    count_consumers(g, p);

    std::unordered_set<uint32_t> bound_inputs, bound_extra;
    for (size_t i = 0; i < n_in; ++i) {
        const bool is_graph_input = graph_inputs.count(inputs[i].tensor_id) != 0;
        PYXA_TRY(bind_input(inputs[i], graph_inputs, is_graph_input ? bound_inputs : bound_extra, p, diag));
    }
    if (bound_inputs.size() != graph_inputs.size()) return unbound_input(g, bound_inputs, diag);

    std::unordered_set<uint32_t> bound_outputs;
    for (size_t i = 0; i < n_out; ++i) {
        const TensorBinding& b = outputs[i];
        if (!p.output_ids.count(b.tensor_id))
            return fail(diag, GRAPH_INVALID, "tensor ", b.tensor_id, " is bound in outputs but is not a graph output");
        if (!bound_outputs.insert(b.tensor_id).second) return bound_twice(diag, b.tensor_id);
        const TensorDesc* d = p.desc(b.tensor_id);
        if (d == nullptr) return not_described(diag, b.tensor_id);
        if (!layout_fits(b, *d)) return mismatch(diag, b.tensor_id);
        p.buffers[b.tensor_id] = caller_entry(b);
    }
    if (bound_outputs.size() != p.output_ids.size()) return GRAPH_INVALID;
    return OK;
}

}  // namespace

const TensorDesc* BufferPlanner::desc(uint32_t id) const {
    if (descs == nullptr) return nullptr;
    auto it = descs->find(id);
    return it == descs->end() ? nullptr : it->second;
}

uint64_t BufferPlanner::consumers(uint32_t id) const {
    auto it = consumer_counts.find(id);
    return it == consumer_counts.end() ? 0 : it->second;
}

Status build_planner(const Graph& graph, const TensorTable& descs, const TensorBinding* inputs,
                     size_t input_count, const TensorBinding* outputs, size_t output_count,
                     BufferPlanner* out, Diagnostic* diag) {
    if (out == nullptr) return INTERNAL;
    if ((input_count && !inputs) || (output_count && !outputs)) return INVALID_ARGUMENT;
    try {
        BufferPlanner p;
        const Status s = build(graph, descs, inputs, input_count, outputs, output_count, p, diag);
        if (s != OK) return s;
        *out = std::move(p);
        return OK;
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    }
}

}  // namespace pyxa
