// engine_execute: checks the graph, plans memory, orders, resolves, prunes and
// groups the nodes, then runs the plan items in order.
#include <exception>
#include <new>
#include <unordered_map>
#include <vector>

#include "engine/kernel_chain/run_chain.hpp"
#include "engine/driver/driver_parts.hpp"
#include "engine/driver/engine.hpp"
#include "ops/registry.hpp"

namespace pyxa {
namespace {

Status check_preconditions(const Graph& g, size_t n_in, size_t n_out, Diagnostic* diag) {
    if (g.tensor_desc_count == 0 || g.tensor_descs == nullptr)
        return fail(diag, INVALID_ARGUMENT, "the graph describes no tensors");
    if (g.node_count == 0 || g.nodes == nullptr) return fail(diag, INVALID_ARGUMENT, "the graph has no nodes");
    if (g.output_count == 0 || g.outputs == nullptr) return fail(diag, INVALID_ARGUMENT, "the graph has no outputs");
    if (g.input_count && g.inputs == nullptr) return INVALID_ARGUMENT;
    if (n_out != g.output_count)
        return fail(diag, INVALID_ARGUMENT, "outputs binds ", n_out, " arrays for ", g.output_count, " graph outputs");
    if (n_in < g.input_count)
        return fail(diag, INVALID_ARGUMENT, "inputs binds ", n_in, " arrays for ", g.input_count, " graph inputs");
    return OK;
}

// Every node is resolved, even those that pruning will leave out. A refusal
// names the node; an unknown op is not repeated beside it.
Status resolve_all(const Graph& g, const TensorTable& table, std::vector<KernelStep>* steps, Diagnostic* diag) {
    steps->resize(g.node_count);
    for (size_t i = 0; i < g.node_count; ++i) {
        const GraphNode& n = g.nodes[i];
        const TensorDesc* in = n.input_count ? table.at(n.inputs[0]) : nullptr;
        const TensorDesc& out = *table.at(n.outputs[0]);
        Status s = resolve_kernel_step(n.op, n.op_len, n.attrs, n.attr_count, in, out, &(*steps)[i], diag);
        if (s == OK) s = check_opcode_arity(n, (*steps)[i], diag);
        if (s != OK) return fail_at_node(diag, s, n.id, s == UNKNOWN_OP ? nullptr : n.op, n.op_len);
    }
    return OK;
}

Status run_items(const Graph& g, BufferPlanner& planner, const std::vector<KernelStep>& steps,
                 const std::vector<PlanItem>& items, ProfileList* profile, Diagnostic* diag) {
    for (const PlanItem& item : items) {
        if (item.is_opcode) {
            PYXA_TRY(run_opcode_item(planner, g.nodes[item.node], steps[item.node], profile, diag));
        } else {
            PYXA_TRY(run_chain(planner, item.chain, profile, kUnboundedTileWidth, kTileSize));
        }
    }
    return OK;
}

Status execute(const Graph& g, const TensorBinding* inputs, size_t n_in, const TensorBinding* outputs,
               size_t n_out, ProfileList* profile, Diagnostic* diag) {
    if (profile) profile->clear();
    PYXA_TRY(check_preconditions(g, n_in, n_out, diag));
    TensorTable table;
    PYXA_TRY(build_tensor_table(g, &table, diag));
    PYXA_TRY(check_references(g, table, diag));
    BufferPlanner planner;
    PYXA_TRY(build_planner(g, table, inputs, n_in, outputs, n_out, &planner, diag));
    std::unordered_map<uint32_t, size_t> producers;
    std::vector<size_t> topo;
    PYXA_TRY(topological_order(g, &topo, &producers, diag));
    std::vector<KernelStep> steps;
    PYXA_TRY(resolve_all(g, table, &steps, diag));
    std::vector<size_t> run_order;
    PYXA_TRY(needed_run_order(g, planner, producers, topo, &run_order));
    std::vector<PlanItem> items;
    PYXA_TRY(group_plan_items(g, run_order, steps, planner.consumer_counts, &items));
    return run_items(g, planner, steps, items, profile, diag);
}

}  // namespace

Status engine_execute(const Graph& graph, const TensorBinding* inputs, size_t input_count,
                      const TensorBinding* outputs, size_t output_count, ProfileList* profile,
                      Diagnostic* diag) {
    try {
        return execute(graph, inputs, input_count, outputs, output_count, profile, diag);
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    } catch (...) {
        return INTERNAL;
    }
}

}  // namespace pyxa
