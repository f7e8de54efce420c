// The phases of engine_execute, one file each: graph checks, ordering and
// pruning, and whole-image opcode items.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/kernel_chain/plan_items.hpp"
#include "engine/memory/buffer_planner.hpp"
#include "core/diagnostic.hpp"

namespace pyxa {

// Each phase records why it refused in `diag` (which may be null).

// Tensor table with every description checked (graph_checks.cpp).
Status build_tensor_table(const Graph& g, TensorTable* table, Diagnostic* diag);
// Graph inputs and outputs and every node's inputs and outputs are described.
Status check_references(const Graph& g, const TensorTable& table, Diagnostic* diag);
// Opcode nodes write only their first output and need at least one input view.
Status check_opcode_arity(const GraphNode& node, const KernelStep& step, Diagnostic* diag);

// Producers, dependencies and the first-in first-out topological order (graph_order.cpp).
Status topological_order(const Graph& g, std::vector<size_t>* order,
                         std::unordered_map<uint32_t, size_t>* producers, Diagnostic* diag);
// The topological order restricted to the nodes whose work reaches a graph output.
Status needed_run_order(const Graph& g, const BufferPlanner& planner,
                        const std::unordered_map<uint32_t, size_t>& producers, const std::vector<size_t>& topo,
                        std::vector<size_t>* run_order);

// One opcode node over whole images (opcode_item.cpp).
Status run_opcode_item(BufferPlanner& planner, const GraphNode& node, const KernelStep& step,
                       ProfileList* profile, Diagnostic* diag);

}  // namespace pyxa
