// The driver's execution list: opcode nodes alone, everything else in chains of
// steps that stream into each other without materialising their intermediates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/kernel_step.hpp"

namespace pyxa {

enum class StepClass : uint8_t { Row = 0, Tile = 1 };

// One node of a chain, seen through its resolved step (borrowed, not owned).
struct ChainStep {
    StepClass step_class = StepClass::Row;
    KernelKind row_kind = KernelKind::Pointwise;  // row steps only
    uint32_t node_id = 0;
    const KernelStep* step = nullptr;
};

struct KernelChain {
    std::vector<size_t> nodes;  // node indices in run order
    std::vector<ChainStep> steps;
};

struct PlanItem {
    bool is_opcode = false;
    size_t node = 0;     // opcode items
    KernelChain chain;   // chain items
};

// Groups the run order into plan items. `steps` is indexed by node index;
// `consumer_counts` counts, per tensor, the node inputs naming it.
Status group_plan_items(const Graph& graph, const std::vector<size_t>& run_order,
                        const std::vector<KernelStep>& steps,
                        const std::unordered_map<uint32_t, uint64_t>& consumer_counts,
                        std::vector<PlanItem>* items);

// The chain step of one resolved node; INTERNAL for an opcode step.
Status make_chain_step(const KernelStep& step, uint32_t node_id, ChainStep* out);

}  // namespace pyxa
