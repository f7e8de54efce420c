// Chain grouping: consecutive nodes join a chain while each one streams from
// its predecessor through a tensor nobody else sees.
#include <new>

#include "engine/kernel_chain/plan_items.hpp"

namespace pyxa {
namespace {

bool is_graph_output(const Graph& g, uint32_t id) {
    for (size_t i = 0; i < g.output_count; ++i)
        if (g.outputs[i] == id) return true;
    return false;
}

uint64_t count_of(const std::unordered_map<uint32_t, uint64_t>& counts, uint32_t id) {
    auto it = counts.find(id);
    return it == counts.end() ? 0 : it->second;
}

bool streams_into(const Graph& g, const GraphNode& cur, const GraphNode& next, const KernelStep& next_step,
                  const std::unordered_map<uint32_t, uint64_t>& counts) {
    if (next_step.kind == KernelKind::Opcode) return false;
    if (cur.output_count != 1 || next.input_count != 1 || next.output_count != 1) return false;
    const uint32_t t = cur.outputs[0];
    return next.inputs[0] == t && count_of(counts, t) == 1 && !is_graph_output(g, t);
}

}  // namespace

Status make_chain_step(const KernelStep& step, uint32_t node_id, ChainStep* out) {
    ChainStep cs;
    cs.node_id = node_id;
    cs.step = &step;
    switch (step.kind) {
        case KernelKind::Pointwise:
        case KernelKind::Span:
        case KernelKind::Demosaic:
            cs.step_class = StepClass::Row;
            cs.row_kind = step.kind;
            break;
        case KernelKind::Orientation:
            cs.step_class = StepClass::Tile;
            break;
        default:
            return INTERNAL;  // chain-kind node has no kernel step
    }
    if (!step_complete(step, false)) return INTERNAL;
    *out = cs;
    return OK;
}

Status group_plan_items(const Graph& g, const std::vector<size_t>& order, const std::vector<KernelStep>& steps,
                        const std::unordered_map<uint32_t, uint64_t>& counts, std::vector<PlanItem>* items) {
    try {
        items->clear();
        size_t i = 0;
        while (i < order.size()) {
            const size_t n = order[i];
            PlanItem item;
            if (steps[n].kind == KernelKind::Opcode) {
                item.is_opcode = true;
                item.node = n;
                items->push_back(std::move(item));
                ++i;
                continue;
            }
            item.chain.nodes.push_back(n);
            size_t cur = n;
            for (++i; i < order.size(); ++i) {
                const size_t next = order[i];
                if (!streams_into(g, g.nodes[cur], g.nodes[next], steps[next], counts)) break;
                item.chain.nodes.push_back(next);
                cur = next;
            }
            for (size_t m : item.chain.nodes) {
                ChainStep cs;
                PYXA_TRY(make_chain_step(steps[m], g.nodes[m].id, &cs));
                item.chain.steps.push_back(cs);
            }
            items->push_back(std::move(item));
        }
        return OK;
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    }
}

}  // namespace pyxa
