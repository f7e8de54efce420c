// An opcode run on its input's own buffer. The opcodes that copy their input
// to their output before working on the output alone give the same samples
// whether or not the two are one memory (their copy step then leaves the
// pixels as they are). Four GainMaps of a phone DNG in a row otherwise each
// cleared a reused whole-image buffer and copied the mosaic into it, two
// passes over the image that took longer than the gains themselves.
#include <new>

#include "engine/memory/buffer_planner.hpp"

namespace pyxa {
namespace {

bool same_layout(const ImageView& v, const TensorDesc& d) {
    return v.height == d.height && v.width == d.width && v.channels == d.channels && v.dtype == d.dtype &&
           v.row_stride == d.stride;
}

}  // namespace

Status share_input_buffer(BufferPlanner& p, uint32_t input_id, uint32_t output_id, ImageView* view, bool* shared) {
    *shared = false;
    // The output must be a pool tensor not placed yet, the input a pool buffer.
    if (p.output_ids.count(output_id) || p.buffers.count(output_id)) return OK;
    const auto in = p.buffers.find(input_id);
    if (in == p.buffers.end() || !in->second.owns_slot || in->second.slot >= p.pool.size()) return OK;
    PoolSlot& slot = p.pool[in->second.slot];
    // 2: in use, with this node's read its only one left. Any other reader
    // still to run (or this node reading it twice) keeps the buffer its own.
    if (slot.refs != 2) return OK;
    const TensorDesc* d = p.desc(output_id);
    if (d == nullptr || !same_layout(in->second.view, *d)) return OK;
    try {
        p.buffers[output_id] = BufferEntry{in->second.view, in->second.slot, 1};
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    }
    // As a buffer acquired for the output (its producer's reference and its
    // readers'), plus the input's read, which this node releases as before.
    slot.refs = saturating_add(saturating_add(2, p.consumers(output_id)), 1);
    *view = in->second.view;
    *shared = true;
    return OK;
}

}  // namespace pyxa
