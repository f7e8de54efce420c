// The input and output buffers of a chain, and their release after it has run.
#include "engine/memory/buffer_planner.hpp"

namespace pyxa {

Status chain_endpoints(BufferPlanner& p, const std::vector<size_t>& nodes, ChainEnds* ends) {
    if (nodes.empty() || p.graph == nullptr) return INTERNAL;
    for (size_t n : nodes)
        if (n >= p.graph->node_count) return INTERNAL;
    const GraphNode& first = p.graph->nodes[nodes.front()];
    const GraphNode& last = p.graph->nodes[nodes.back()];
    if (first.input_count > 1 || last.output_count != 1) return GRAPH_INVALID;

    ChainEnds e;
    e.output_id = last.outputs[0];
    PYXA_TRY(acquire(p, e.output_id, &e.output));
    if (!view_layout_valid(e.output)) return INTERNAL;

    if (first.input_count == 1) {
        e.has_input = true;
        e.input_id = first.inputs[0];
        auto it = p.buffers.find(e.input_id);
        if (it == p.buffers.end() || !view_layout_valid(it->second.view)) return INTERNAL;
        e.input = it->second.view;
    }
    *ends = e;
    return OK;
}

void release_chain(BufferPlanner& p, const std::vector<size_t>& nodes, bool has_input, uint32_t input_id,
                   uint32_t output_id) {
    release_tensor(p, output_id);
    if (has_input) release_tensor(p, input_id);
    if (p.graph == nullptr) return;
    for (size_t i = 0; i + 1 < nodes.size(); ++i) {
        if (nodes[i] >= p.graph->node_count) continue;
        const GraphNode& n = p.graph->nodes[nodes[i]];
        if (n.output_count > 0) release_tensor(p, n.outputs[0]);
    }
}

}  // namespace pyxa
