// Where every tensor that crosses a plan item lives for one call: caller arrays
// used in place, and a first-fit pool of reference-counted buffers for the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/diagnostic.hpp"
#include "core/records.hpp"

namespace pyxa {

// tensor id -> its description (borrowed from the graph).
using TensorTable = std::unordered_map<uint32_t, const TensorDesc*>;

struct FreeDeleter {
    void operator()(uint8_t* p) const;
};

struct PoolSlot {
    uint64_t capacity = 0;
    std::unique_ptr<uint8_t, FreeDeleter> data;  // zero-filled when made
    uint64_t size = 0;
    uint64_t refs = 1;  // 1: free; 2 or more: in use
};

struct BufferEntry {
    ImageView view{};
    size_t slot = 0;        // meaningful only when owns_slot
    uint8_t owns_slot = 0;  // 0: caller array; 1: pool buffer
};

struct BufferPlanner {
    std::vector<PoolSlot> pool;
    uint64_t live_slots = 0;
    const Graph* graph = nullptr;
    std::unordered_set<uint32_t> output_ids;
    const TensorTable* descs = nullptr;
    std::unordered_map<uint32_t, uint64_t> consumer_counts;
    std::unordered_map<uint32_t, BufferEntry> buffers;

    const TensorDesc* desc(uint32_t id) const;
    uint64_t consumers(uint32_t id) const;
};

// Checks and registers every binding. On failure `*out` is left empty and
// `diag` (when given) names the tensor at fault.
Status build_planner(const Graph& graph, const TensorTable& descs, const TensorBinding* inputs,
                     size_t input_count, const TensorBinding* outputs, size_t output_count,
                     BufferPlanner* out, Diagnostic* diag = nullptr);

// The buffer of a tensor, making a pool buffer if it has none; `*reused` (when
// given) tells whether that pool buffer held an earlier tensor.
Status acquire(BufferPlanner& planner, uint32_t id, ImageView* view, bool* reused = nullptr);

// Drops one reference of a tensor's pool slot (caller arrays are left alone).
void release_tensor(BufferPlanner& planner, uint32_t id);

// Places `output_id` in the pool buffer of `input_id` when that buffer has no
// reader left but the node about to run, the output is a pool tensor not yet
// placed and both have one layout; sets `*shared` and `*view` then. The node
// releases both tensors after it runs, as any node does.
Status share_input_buffer(BufferPlanner& planner, uint32_t input_id, uint32_t output_id, ImageView* view,
                          bool* shared);

struct ChainEnds {
    bool has_input = false;
    uint32_t input_id = 0;
    ImageView input{};
    uint32_t output_id = 0;
    ImageView output{};
};

// Input (if any) and output buffers of a chain given by its node indices.
Status chain_endpoints(BufferPlanner& planner, const std::vector<size_t>& nodes, ChainEnds* ends);

// After a chain has run: its output, its input and its private tensors drop a reference.
void release_chain(BufferPlanner& planner, const std::vector<size_t>& nodes, bool has_input,
                   uint32_t input_id, uint32_t output_id);

// True when a view's layout is usable: pixel and row sizes non-zero, rows packed
// within the stride, stride a whole number of pixels, data present.
bool view_layout_valid(const ImageView& v);

}  // namespace pyxa
