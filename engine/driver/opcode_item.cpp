// An opcode node as a plan item: whole-image views, one timed call, then the
// release of the references its tensors held.
#include <cstring>
#include <new>
#include <vector>

#include "core/clock.hpp"
#include "engine/driver/driver_parts.hpp"

namespace pyxa {
namespace {

void clear_view(const ImageView& v) {
    auto* base = static_cast<uint8_t*>(v.data);
    const uint64_t row = packed_row_size(v.dtype, v.width, v.channels);
    for (uint64_t y = 0; y < v.height; ++y) std::memset(base + y * v.row_stride, 0, row);
}

}  // namespace

Status run_opcode_item(BufferPlanner& planner, const GraphNode& node, const KernelStep& step,
                       ProfileList* profile, Diagnostic* diag) {
    if (step.opcode == nullptr) return INTERNAL;
    std::vector<ImageView> outs(node.output_count), ins(node.input_count);
    // An opcode that copies its input first runs on its input's buffer when
    // nothing reads that buffer after it (share_input_buffer).
    bool in_place = false;
    if (step.opcode_in_place && node.input_count == 1 && node.output_count == 1)
        PYXA_TRY(share_input_buffer(planner, node.inputs[0], node.outputs[0], &outs[0], &in_place));
    for (size_t k = 0; k < node.output_count && !in_place; ++k) {
        bool reused = false;
        PYXA_TRY(acquire(planner, node.outputs[k], &outs[k], &reused));
        // Two opcodes leave some output samples unwritten (a defect with no
        // good neighbour, the planes a warp does not resample): in a pooled
        // buffer they would show what an earlier tensor left there. A reused
        // buffer starts at zero, as a new one does, unless the opcode copies
        // its input over every sample first.
        if (reused && !step.opcode_in_place) clear_view(outs[k]);
    }
    for (size_t k = 0; k < node.input_count; ++k) {
        auto it = planner.buffers.find(node.inputs[k]);
        // Neither bound nor written by an earlier plan item.
        if (it == planner.buffers.end() || it->second.view.data == nullptr) return INTERNAL;
        ins[k] = it->second.view;
    }
    const uint64_t t0 = profile ? monotonic_ns() : 0;
    const int32_t rc = step.opcode(ins.data(), ins.size(), outs.data(), outs.size(),
                                   node.attr_count ? node.attrs : nullptr, node.attr_count);
    if (profile) profile->push_back(ProfileEntry{elapsed_ns(t0, monotonic_ns()), node.id});
    // The library answers with a status only; the node and its op say where.
    if (rc != 0) {
        const Status refused = fail(diag, static_cast<Status>(rc), "the opcode refused its attributes or images");
        return fail_at_node(diag, refused, node.id, node.op, node.op_len);
    }
    for (size_t k = 0; k < node.output_count; ++k) release_tensor(planner, node.outputs[k]);
    for (size_t k = 0; k < node.input_count; ++k) release_tensor(planner, node.inputs[k]);
    return OK;
}

}  // namespace pyxa
