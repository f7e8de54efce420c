// The tile runner's entry: executes one chain tile by tile, row by row.
#pragma once

#include <cstdint>

#include "engine/kernel_chain/plan_items.hpp"
#include "engine/memory/buffer_planner.hpp"

namespace pyxa {

inline constexpr uint64_t kUnboundedTileWidth = ~0ull;
inline constexpr uint64_t kTileSize = 256;

// Reads the chain's input, writes its output, appends one profile entry per
// step when `profile` is given, and releases the chain's buffers on success.
Status run_chain(BufferPlanner& planner, const KernelChain& chain, ProfileList* profile,
                 uint64_t max_tile_width, uint64_t tile_size);

}  // namespace pyxa
