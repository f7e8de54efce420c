// Interpolated table lookups over a block of values, split into plain loops
// (positions and their clamp, gathers, blend) so that each one vectorises; the
// arithmetic is exactly that of table_lookup. The caller's position and
// finishing steps are fused into the first and last loop.
#pragma once

#include <cstdint>

#include "kernels/pointwise/element_io.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pyxa {

inline constexpr uint64_t kLookupBlock = kStoreBlock;  // lookups feed the block stores

// lo[j] = table[idx[j]] and hi[j] = table[idx[j] + 1] for j < n. Each pair is
// adjacent in the table, so on x86 one 8-byte load fetches both and two pairs
// are split into lo and hi lanes with one shuffle each: half the loads and far
// fewer lane inserts than gathering the 2n floats one by one.
inline void gather_pairs(const float* table, const int32_t* idx, float* lo, float* hi, uint64_t n) {
    uint64_t j = 0;
#if defined(__SSE2__)
    const auto pair = [table](int32_t i) { return reinterpret_cast<const __m64*>(table + i); };
    for (; j + 4 <= n; j += 4) {
        const __m128 a = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), pair(idx[j])), pair(idx[j + 1]));
        const __m128 b = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), pair(idx[j + 2])), pair(idx[j + 3]));
        _mm_storeu_ps(lo + j, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(hi + j, _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    }
#endif
    for (; j < n; ++j) {
        lo[j] = table[idx[j]];
        hi[j] = table[idx[j] + 1];
    }
}

// For j < n (n <= kLookupBlock): finish(j, interpolated value at position(j)).
template <typename Position, typename Finish>
inline void lookup_block(const float* table, float last, uint64_t n, Position position, Finish finish) {
    alignas(64) int32_t idx[kLookupBlock];
    alignas(64) float frac[kLookupBlock];
    alignas(64) float lo[kLookupBlock];
    alignas(64) float hi[kLookupBlock];
    // The clamp of table_lookup, one bound per loop so each stays a compare
    // and a select: above last or NaN -> last, then below 0 -> 0.
    for (uint64_t j = 0; j < n; ++j) {
        const float p = position(j);
        frac[j] = p <= last ? p : last;
    }
    for (uint64_t j = 0; j < n; ++j) {
        const float p = frac[j] >= 0.0f ? frac[j] : 0.0f;
        const int32_t i = static_cast<int32_t>(p);
        idx[j] = i;
        frac[j] = p - static_cast<float>(i);
    }
    gather_pairs(table, idx, lo, hi, n);
    for (uint64_t j = 0; j < n; ++j) finish(j, (1.0f - frac[j]) * lo[j] + frac[j] * hi[j]);
}

}  // namespace pyxa
