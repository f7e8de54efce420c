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

// The table index and fraction of eight positions, clamped as lookup_block
// clamps them: above last or NaN -> last (min(p, last): the processor's min is
// p < last ? p : last, so a NaN gives last), then below 0 -> 0 (max(0, p) is
// 0 > p ? 0 : p, so a -0 stays -0).
struct Positions8 {
    __m256i index;
    __m256 fraction;
};

PYXA_TARGET_AVX2 inline Positions8 positions8(__m256 position, __m256 last) {
    const __m256 p = _mm256_max_ps(_mm256_setzero_ps(), _mm256_min_ps(position, last));
    const __m256i i = _mm256_cvttps_epi32(p);
    return Positions8{i, _mm256_sub_ps(p, _mm256_cvtepi32_ps(i))};
}

// The first pass of a two-pass lookup: positions into memory, where the
// second pass's pair loads read their indices without waiting on them.
PYXA_TARGET_AVX2 inline void store_positions8(const Positions8& at, uint32_t* idx, float* frac) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(idx), at.index);
    _mm256_store_ps(frac, at.fraction);
}

// The positions of n values (a multiple of eight), each scaled first.
PYXA_TARGET_AVX2 inline void positions_block(const float* s, uint64_t n, __m256 scale, __m256 last, uint32_t* idx,
                                             float* frac) {
    for (uint64_t j = 0; j < n; j += 8)
        store_positions8(positions8(_mm256_mul_ps(scale, _mm256_loadu_ps(s + j)), last), idx + j, frac + j);
}

// The eight values interpolated between the entries at idx and the ones after
// them, with lookup_block's arithmetic. Each (entry, next entry) pair is one
// 8-byte load (see gather_pairs). Measured slower on Zen 3: two AVX2 gathers
// of single entries (about 1.5x), gathers of the pairs as 64-bit lanes (about
// 1.3x).
PYXA_TARGET_AVX2 inline __m256 interpolate8(const float* table, const uint32_t* idx, __m256 f) {
    const auto pair = [table](uint32_t at) { return reinterpret_cast<const __m64*>(table + at); };
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

// Eight interpolated values at the positions, in one step. Where many values
// go through, two passes (positions8 into memory for a block, then
// interpolate8) overlap better: see out_table_avx2.cpp.
PYXA_TARGET_AVX2 inline __m256 lookup8(const float* table, __m256 position, __m256 last) {
    const Positions8 at = positions8(position, last);
    // Two indices travel to the integer side in one 64-bit move (the low
    // half zero-extends, the high half is a shift): half the vector-to-
    // integer transfers of one extract per index, which compete for the
    // shuffle pipes the pair loads also need.
    const __m128i low4 = _mm256_castsi256_si128(at.index), high4 = _mm256_extracti128_si256(at.index, 1);
    const uint64_t q0 = static_cast<uint64_t>(_mm_cvtsi128_si64(low4));
    const uint64_t q1 = static_cast<uint64_t>(_mm_extract_epi64(low4, 1));
    const uint64_t q2 = static_cast<uint64_t>(_mm_cvtsi128_si64(high4));
    const uint64_t q3 = static_cast<uint64_t>(_mm_extract_epi64(high4, 1));
    const uint32_t idx[8] = {static_cast<uint32_t>(q0), static_cast<uint32_t>(q0 >> 32),
                             static_cast<uint32_t>(q1), static_cast<uint32_t>(q1 >> 32),
                             static_cast<uint32_t>(q2), static_cast<uint32_t>(q2 >> 32),
                             static_cast<uint32_t>(q3), static_cast<uint32_t>(q3 >> 32)};
    return interpolate8(table, idx, at.fraction);
}

}  // namespace pyxa
#endif
