// store_unit_block's steps on eight values in AVX2 lanes: the unit clamp, the
// output scale and the integer clamps and truncation of store_block; shared
// by the AVX2 routines that end in a uint8 or uint16 store.
#pragma once

#include <cstdint>
#include <type_traits>

#include "core/isa.hpp"
#include "core/kernel_step.hpp"
#include "core/records.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PYXA_UNIT_STORE_AVX2 1

namespace pyxa {

// The clamps are the processor's min and max, which are exactly the element
// form's ternaries with the operands in this order: max(a, b) is
// a > b ? a : b and min(a, b) is a < b ? a : b, so a NaN or an equal pair
// gives b, as the failed comparison does (see out_table_avx512.cpp).
struct UnitStore8 {
    __m256 zero, one, out_scale, top;
};

template <typename Out>
PYXA_TARGET_AVX2 inline UnitStore8 unit_store8(float out_scale) {
    constexpr float hi = std::is_same_v<Out, uint8_t> ? 255.0f : 65535.0f;
    return UnitStore8{_mm256_setzero_ps(), _mm256_set1_ps(1.0f), _mm256_set1_ps(out_scale), _mm256_set1_ps(hi)};
}

// v > 0 ? v : 0, scale * min(v, 1), then v > 0 ? v : 0 and v < hi ? v : hi,
// and the truncation. (Leaving out the last two clamps, which cannot change a
// value when the scale is within [0, hi], measured no faster; the lone output
// table leaves out all four where its table allows, see
// store_needs_no_clamps.)
PYXA_TARGET_AVX2 inline __m256i unit_integers8(__m256 v, const UnitStore8& k) {
    v = _mm256_max_ps(v, k.zero);
    v = _mm256_mul_ps(k.out_scale, _mm256_min_ps(v, k.one));
    v = _mm256_max_ps(v, k.zero);
    v = _mm256_min_ps(v, k.top);
    return _mm256_cvttps_epi32(v);
}

// Sixteen integers in [0, hi] (a then b) as uint16 or uint8, stored at d.
template <typename Out>
PYXA_TARGET_AVX2 inline void store_integers16(__m256i a, __m256i b, Out* d) {
    const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), _MM_SHUFFLE(3, 1, 2, 0));
    if constexpr (std::is_same_v<Out, uint16_t>) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), words);
    } else {
        const __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), bytes);
    }
}

// The routine of a float32 input and a uint8 or uint16 output, or null.
template <PointwiseRun ToU8, PointwiseRun ToU16>
PointwiseRun float_to_integers_routine(int32_t in, int32_t out) {
    if (in != FLOAT32) return nullptr;
    if (out == UINT8) return ToU8;
    if (out == UINT16) return ToU16;
    return nullptr;
}

}  // namespace pyxa
#endif
