// The in-place rule: a walk from the input along its single readers, each of
// which must resolve to a pointwise step.
#include "engine/memory/in_place.hpp"

#include <new>
#include <unordered_map>

#include "core/kernel_step.hpp"
#include "ops/registry.hpp"

namespace pyxa {
namespace {

struct Readers {
    uint64_t count = 0;
    size_t node = 0;  // the last node reading the tensor
};

enum class NodeRule { Pointwise, Other, Unresolved };

NodeRule rule_of(const GraphNode& n, const std::unordered_map<uint32_t, const TensorDesc*>& descs) {
    const auto in = descs.find(n.inputs[0]);
    const auto out = descs.find(n.outputs[0]);
    if (in == descs.end() || out == descs.end()) return NodeRule::Unresolved;
    KernelStep step;
    if (resolve_kernel_step(n.op, n.op_len, n.attrs, n.attr_count, in->second, *out->second, &step) != OK)
        return NodeRule::Unresolved;
    return step.kind == KernelKind::Pointwise ? NodeRule::Pointwise : NodeRule::Other;
}

bool walk(const Graph& g, uint32_t input, uint32_t output) {
    std::unordered_map<uint32_t, Readers> readers;
    for (size_t i = 0; i < g.node_count; ++i) {
        for (size_t k = 0; k < g.nodes[i].input_count; ++k) {
            Readers& r = readers[g.nodes[i].inputs[k]];
            ++r.count;
            r.node = i;
        }
    }
    std::unordered_map<uint32_t, const TensorDesc*> descs;
    for (size_t i = 0; i < g.tensor_desc_count; ++i) descs.emplace(g.tensor_descs[i].id, &g.tensor_descs[i]);
    uint32_t t = input;
    // A path visits each node once; a longer walk is a cycle, which the engine refuses.
    for (size_t hops = 0; hops < g.node_count; ++hops) {
        const auto it = readers.find(t);
        if (it == readers.end() || it->second.count != 1) return false;
        const GraphNode& n = g.nodes[it->second.node];
        if (n.input_count != 1 || n.output_count != 1) return false;
        const NodeRule rule = rule_of(n, descs);
        if (rule == NodeRule::Unresolved) return true;
        if (rule == NodeRule::Other) return false;
        t = n.outputs[0];
        if (t == output) return true;
    }
    return false;
}

}  // namespace

Status in_place_allowed(const Graph& g, uint32_t input, uint32_t output, bool* allowed) {
    try {
        *allowed = g.nodes != nullptr && walk(g, input, output);
        return OK;
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    }
}

}  // namespace pyxa
