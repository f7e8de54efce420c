// Sampled timing of a chain: one tile (or output row) in ten is measured and the
// per-step sums are scaled by total / sampled.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/kernel_chain/plan_items.hpp"

namespace pyxa {

using U128 = unsigned __int128;

struct ProfileState {
    std::vector<U128> acc;  // per chain step, nanoseconds
    uint64_t period = 10;
    uint64_t countdown = 0;
    uint64_t sampled = 0;
    uint64_t total = 0;

    explicit ProfileState(size_t steps) : acc(steps, 0) {}
    // Counts one tile (or row) and says whether it is measured.
    bool decide();
    void add(size_t step, uint64_t ns);
    // acc * total / sampled in 128 bits, saturating; 0 when nothing was timed.
    uint64_t estimate(size_t step) const;
    void append(const KernelChain& chain, ProfileList& sink) const;
};

}  // namespace pyxa
