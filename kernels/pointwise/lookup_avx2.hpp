// The interpolated table lookup of eight values in AVX2 lanes, with
// lookup_block's clamp and arithmetic: shared by the hand-written AVX2
// routines of the colour transform.
#pragma once

#include <cstdint>

#include "core/isa.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PYXA_LOOKUP_AVX2 1

namespace pyxa {

// Eight interpolated values at the positions p, clamped as lookup_block
// clamps them: above last or NaN -> last (min(p, last): the processor's min is
// p < last ? p : last, so a NaN gives last), then below 0 -> 0 (max(0, p) is
// 0 > p ? 0 : p, so a -0 stays -0), index and fraction.
PYXA_TARGET_AVX2 inline __m256 lookup8(const float* table, __m256 position, __m256 last) {
    const __m256 p = _mm256_max_ps(_mm256_setzero_ps(), _mm256_min_ps(position, last));
    const __m256i i = _mm256_cvttps_epi32(p);
    const __m256 f = _mm256_sub_ps(p, _mm256_cvtepi32_ps(i));
    alignas(32) int32_t idx[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(idx), i);
    // Each (entry, next entry) pair is one 8-byte load (see gather_pairs).
    // Measured slower on Zen 3: two AVX2 gathers of single entries (about
    // 1.5x), gathers of the pairs as 64-bit lanes (about 1.3x); the indices
    // taken from registers (the compiler's choice for this stored copy) or
    // reloaded from memory made no difference.
    const auto pair = [table](int32_t at) { return reinterpret_cast<const __m64*>(table + at); };
    const __m128 a0 = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), pair(idx[0])), pair(idx[1]));
    const __m128 b0 = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), pair(idx[2])), pair(idx[3]));
    const __m128 a1 = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), pair(idx[4])), pair(idx[5]));
    const __m128 b1 = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), pair(idx[6])), pair(idx[7]));
    const __m256 a = _mm256_insertf128_ps(_mm256_castps128_ps256(a0), a1, 1);
    const __m256 b = _mm256_insertf128_ps(_mm256_castps128_ps256(b0), b1, 1);
    const __m256 lo = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    const __m256 hi = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    return _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(_mm256_set1_ps(1.0f), f), lo), _mm256_mul_ps(f, hi));
}

}  // namespace pyxa
#endif
