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
    if (row == 0 || px == 0 || b.row_stride < row) return false;
    return b.row_stride % px == 0;
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

Status bind_input(const TensorBinding& b, const std::unordered_set<uint32_t>& graph_inputs,
                  std::unordered_set<uint32_t>& bound, BufferPlanner& p) {
    const uint32_t id = b.tensor_id;
    const TensorDesc* d = p.desc(id);
    // Graph outputs are written in place; an input binding for one (even a
    // tensor listed as both input and output) would hand a read-only array to a writer.
    if (p.output_ids.count(id)) return GRAPH_INVALID;
    if (graph_inputs.count(id)) {
        if (!bound.insert(id).second) return GRAPH_INVALID;
        if (d == nullptr || !layout_fits(b, *d)) return d == nullptr ? GRAPH_INVALID : DIMENSION_MISMATCH;
        p.buffers[id] = caller_entry(b);
        return OK;
    }
    // An intermediate tensor supplied by the caller.
    if (d == nullptr) return GRAPH_INVALID;
    if (!p.consumer_counts.count(id)) return GRAPH_INVALID;
    if (!bound.insert(id).second) return GRAPH_INVALID;
    if (!layout_fits(b, *d)) return DIMENSION_MISMATCH;
    if (canvas_inside(*d)) p.buffers[id] = caller_entry(b);
    return OK;
}

Status build(const Graph& g, const TensorTable& descs, const TensorBinding* inputs, size_t n_in,
             const TensorBinding* outputs, size_t n_out, BufferPlanner& p) {
    p.graph = &g;
    p.descs = &descs;
    std::unordered_set<uint32_t> graph_inputs(g.inputs, g.inputs + g.input_count);
    p.output_ids.insert(g.outputs, g.outputs + g.output_count);
    count_consumers(g, p);

    std::unordered_set<uint32_t> bound_inputs, bound_extra;
    for (size_t i = 0; i < n_in; ++i) {
        const bool is_graph_input = graph_inputs.count(inputs[i].tensor_id) != 0;
        PYXA_TRY(bind_input(inputs[i], graph_inputs, is_graph_input ? bound_inputs : bound_extra, p));
    }
    if (bound_inputs.size() != graph_inputs.size()) return GRAPH_INVALID;

    std::unordered_set<uint32_t> bound_outputs;
    for (size_t i = 0; i < n_out; ++i) {
        const TensorBinding& b = outputs[i];
        if (!p.output_ids.count(b.tensor_id)) return GRAPH_INVALID;
        if (!bound_outputs.insert(b.tensor_id).second) return GRAPH_INVALID;
        const TensorDesc* d = p.desc(b.tensor_id);
        if (d == nullptr) return GRAPH_INVALID;
        if (!layout_fits(b, *d)) return DIMENSION_MISMATCH;
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
                     BufferPlanner* out) {
    if (out == nullptr) return INTERNAL;
    if ((input_count && !inputs) || (output_count && !outputs)) return INVALID_ARGUMENT;
    try {
        BufferPlanner p;
        const Status s = build(graph, descs, inputs, input_count, outputs, output_count, p);
        if (s != OK) return s;
        *out = std::move(p);
        return OK;
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    }
}

}  // namespace pyxa
