// Interpolated table lookups over a block of values, split into three plain
// loops (positions, gathers, blend) so that each one vectorises; the arithmetic
// is exactly that of table_lookup. The caller's position and finishing steps
// are fused into the first and last loop, so no extra pass over the block is made.
#pragma once

#include <cstdint>

namespace pyxa {

inline constexpr uint64_t kLookupBlock = 256;

// For j < n (n <= kLookupBlock): finish(j, interpolated value at position(j)).
template <typename Position, typename Finish>
inline void lookup_block(const float* table, float last, uint64_t n, Position position, Finish finish) {
    alignas(64) int32_t idx[kLookupBlock];
    alignas(64) float frac[kLookupBlock];
    alignas(64) float lo[kLookupBlock];
    alignas(64) float hi[kLookupBlock];
    for (uint64_t j = 0; j < n; ++j) {
        float p = position(j);
        p = (p > last || p != p) ? last : (p < 0.0f ? 0.0f : p);
        const int32_t i = static_cast<int32_t>(p);
        idx[j] = i;
        frac[j] = p - static_cast<float>(i);
    }
    for (uint64_t j = 0; j < n; ++j) {
        lo[j] = table[idx[j]];
        hi[j] = table[idx[j] + 1];
    }
    for (uint64_t j = 0; j < n; ++j) finish(j, (1.0f - frac[j]) * lo[j] + frac[j] * hi[j]);
}

}  // namespace pyxa
