// Per-run scratch: two ping-pong image slots for segment outputs within a tile
// and one edge slot for a tile step's assembled input. Slots only grow.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/memory/buffer_planner.hpp"

namespace pyxa {

struct ScratchSlot {
    std::unique_ptr<uint8_t, FreeDeleter> data;
    uint64_t size = 0;

    // Grows to max(bytes, 2 * size), new bytes zero.
    Status reserve(uint64_t bytes);
};

struct ScratchArena {
    ScratchSlot ping[2];
    ScratchSlot edge;
};

}  // namespace pyxa
