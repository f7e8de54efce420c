// Producers, dependencies, the first-in first-out topological order and the
// pruning of nodes whose work reaches no graph output.
#include <algorithm>
#include <deque>

#include "engine/driver/driver_parts.hpp"

namespace pyxa {
namespace {

Status cycle_through(Diagnostic* diag, uint32_t node_id) {
    return fail(diag, GRAPH_INVALID, "the graph has a cycle through node ", node_id);
}

Status record_producers(const Graph& g, std::unordered_map<uint32_t, size_t>* producers, Diagnostic* diag) {
    producers->clear();
    for (size_t i = 0; i < g.node_count; ++i) {
        const GraphNode& n = g.nodes[i];
        for (size_t k = 0; k < n.output_count; ++k) {
            const auto [it, first] = producers->emplace(n.outputs[k], i);
            if (!first)
                return fail(diag, GRAPH_INVALID, "tensor ", n.outputs[k], " is written by node ",
                            g.nodes[it->second].id, " and node ", n.id);
        }
    }
    return OK;
}

// Successor lists in ascending node order and counts of unfinished predecessors.
Status link_dependencies(const Graph& g, const std::unordered_map<uint32_t, size_t>& producers,
                         std::vector<std::vector<size_t>>* succ, std::vector<size_t>* pending, Diagnostic* diag) {
    succ->assign(g.node_count, {});
    pending->assign(g.node_count, 0);
    std::vector<size_t> preds;
    for (size_t i = 0; i < g.node_count; ++i) {
        const GraphNode& n = g.nodes[i];
        preds.clear();
        for (size_t k = 0; k < n.input_count; ++k) {
            auto it = producers.find(n.inputs[k]);
            if (it == producers.end()) continue;
            if (std::find(preds.begin(), preds.end(), it->second) == preds.end()) preds.push_back(it->second);
        }
        for (size_t p : preds) {
            if (p == i) return cycle_through(diag, n.id);
        }
        for (size_t p : preds) {
            (*succ)[p].push_back(i);
            ++(*pending)[i];
        }
    }
    return OK;
}

// A node on a cycle, found from a node the order never reached: every such
// node waits on an unreached producer, so following unreached producers as
// many times as there are nodes ends on the cycle itself.
size_t node_on_cycle(const Graph& g, const std::unordered_map<uint32_t, size_t>& producers,
                     const std::vector<size_t>& pending) {
    size_t at = 0;
    while (at < g.node_count && pending[at] == 0) ++at;
    for (size_t step = 0; step < g.node_count && at < g.node_count; ++step) {
        const GraphNode& n = g.nodes[at];
        for (size_t k = 0; k < n.input_count; ++k) {
            const auto it = producers.find(n.inputs[k]);
            if (it != producers.end() && pending[it->second] != 0) {
                at = it->second;
                break;
            }
        }
    }
    return at;
}

}  // namespace

Status topological_order(const Graph& g, std::vector<size_t>* order,
                         std::unordered_map<uint32_t, size_t>* producers, Diagnostic* diag) {
    PYXA_TRY(record_producers(g, producers, diag));
    std::vector<std::vector<size_t>> succ;
    std::vector<size_t> pending;
    PYXA_TRY(link_dependencies(g, *producers, &succ, &pending, diag));
    order->clear();
    std::vector<size_t> queue;
    for (size_t i = 0; i < g.node_count; ++i)
        if (pending[i] == 0) queue.push_back(i);
    for (size_t head = 0; head < queue.size(); ++head) {
        const size_t n = queue[head];
        order->push_back(n);
        for (size_t s : succ[n])
            if (--pending[s] == 0) queue.push_back(s);
    }
    if (order->size() == g.node_count) return OK;
    const size_t at = node_on_cycle(g, *producers, pending);
    if (at >= g.node_count) return GRAPH_INVALID;
    return cycle_through(diag, g.nodes[at].id);
}

Status needed_run_order(const Graph& g, const BufferPlanner& planner,
                        const std::unordered_map<uint32_t, size_t>& producers, const std::vector<size_t>& topo,
                        std::vector<size_t>* run_order) {
    auto bound = [&](uint32_t t) { return planner.buffers.count(t) != 0; };
    auto wanted = [&](uint32_t t) { return planner.output_ids.count(t) != 0; };
    std::vector<uint8_t> needed(g.node_count, 0);
    std::vector<size_t> stack;
    for (size_t i = 0; i < g.output_count; ++i) {
        auto it = producers.find(g.outputs[i]);
        if (it != producers.end()) stack.push_back(it->second);
    }
    while (!stack.empty()) {
        const size_t n = stack.back();
        stack.pop_back();
        if (needed[n]) continue;
        const GraphNode& node = g.nodes[n];
        bool useful = false;
        for (size_t k = 0; k < node.output_count && !useful; ++k)
            useful = !bound(node.outputs[k]) || wanted(node.outputs[k]);
        if (!useful) continue;
        needed[n] = 1;
        for (size_t k = 0; k < node.input_count; ++k) {
            const uint32_t t = node.inputs[k];
            if (bound(t) && !wanted(t)) continue;
            auto it = producers.find(t);
            if (it != producers.end()) stack.push_back(it->second);
        }
    }
    run_order->clear();
    for (size_t n : topo)
        if (needed[n]) run_order->push_back(n);
    return OK;
}

}  // namespace pyxa
