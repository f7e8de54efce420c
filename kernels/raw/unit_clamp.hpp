// The clamp of normalised and demosaiced values to [0, 1] (NaN becomes 0), and
// its block form over the planes of the demosaic.
#pragma once

#include <cstdint>

#include "core/unit_clamp.hpp"

namespace pyxa {

// v[j] = unit_clamp(v[j]) for j < n, one bound per pass so each stays a compare
// and a select on whole vectors (in one loop the compiler chains the masks):
// NaN, negatives and -0 -> +0, then 1 and above -> 1.
inline void unit_clamp_block(float* __restrict v, uint64_t n) {
    for (uint64_t j = 0; j < n; ++j) v[j] = v[j] > 0.0f ? v[j] : 0.0f;
    for (uint64_t j = 0; j < n; ++j) v[j] = v[j] < 1.0f ? v[j] : 1.0f;
}

}  // namespace pyxa
