// AVX2 routine of the lone output table on float32 input with uint8 or uint16
// output (the last step of the development graph), written with intrinsics,
// in two passes over a block: the table positions, then the pair loads, the
// interpolation, the clamps and the integer stores in registers.
#include "kernels/pointwise/out_table_avx2.hpp"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/isa.hpp"
#include "kernels/pointwise/lookup_avx2.hpp"
#include "kernels/pointwise/pointwise_params.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PYXA_OUT_TABLE_AVX2 1
#endif

namespace pyxa {

#ifdef PYXA_OUT_TABLE_AVX2
namespace {

constexpr uint64_t kLanes = 8;
constexpr uint64_t kStep = 2 * kLanes;  // values per round: two vectors packed into one store

// The clamps are the processor's min and max, which are exactly the element
// form's ternaries with the operands in this order: max(a, b) is
// a > b ? a : b and min(a, b) is a < b ? a : b, so a NaN or an equal pair
// gives b, as the failed comparison does (see out_table_avx512.cpp).
struct Consts {
    __m256 scale, last, zero, one, out_scale, top;
};

// store_unit_block's steps in its order: v > 0 ? v : 0, scale * min(v, 1),
// then store_block's v > 0 ? v : 0 and v < hi ? v : hi, and the truncation.
// (Leaving out the last two clamps, which cannot change a value when the
// scale is within [0, hi], measured no faster.)
PYXA_TARGET_AVX2 inline __m256i to_integers(__m256 v, const Consts& k) {
    v = _mm256_max_ps(v, k.zero);
    v = _mm256_mul_ps(k.out_scale, _mm256_min_ps(v, k.one));
    v = _mm256_max_ps(v, k.zero);
    v = _mm256_min_ps(v, k.top);
    return _mm256_cvttps_epi32(v);
}

// Eight values from their table positions to integers.
PYXA_TARGET_AVX2 inline __m256i integers8(const float* table, const uint32_t* idx, const float* frac,
                                          const Consts& k) {
    return to_integers(interpolate8(table, idx, _mm256_load_ps(frac)), k);
}

// Values go through in blocks, in two passes: every value's table position
// (index and fraction), then the table pairs, the interpolation and the
// stores. Both in one step of sixteen values measured about 16% slower: the
// pair loads wait on the index of their own values, and the chain is too
// long for the processor to overlap many steps; the second pass reads indices
// that are already in memory. (The AVX2 gathers measured slower still; see
// lookup_avx2.hpp.)
constexpr uint64_t kBlock = 128;

template <typename Out>
PYXA_TARGET_AVX2 inline void block(const float* table, const float* s, Out* d, uint64_t n, const Consts& k) {
    alignas(32) uint32_t idx[kBlock];
    alignas(32) float frac[kBlock];
    positions_block(s, n, k.scale, k.last, idx, frac);
    for (uint64_t j = 0; j < n; j += kStep) {
        const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(integers8(table, idx + j, frac + j, k),
                                                                     integers8(table, idx + j + kLanes, frac + j + kLanes, k)), _MM_SHUFFLE(3, 1, 2, 0));
        if constexpr (std::is_same_v<Out, uint16_t>) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + j), words);
        } else {
            const __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j), bytes);
        }
    }
}

template <typename Out>
PYXA_TARGET_AVX2 void run_values(const float* table, const float* src, Out* dst, uint64_t count, const Consts& k) {
    const uint64_t whole = count - count % kStep;
    for (uint64_t j = 0; j < whole; j += kBlock) {
        block(table, src + j, dst + j, whole - j < kBlock ? whole - j : kBlock, k);
    }
    if (whole < count) {
        // The tail through a padded copy: zeros index entry 0, a readable one,
        // and only the values present are stored.
        const uint64_t rest = count - whole;
        alignas(32) float s[kStep] = {};
        alignas(32) Out d[kStep];
        std::memcpy(s, src + whole, rest * sizeof(float));
        block(table, s, d, kStep, k);
        std::memcpy(dst + whole, d, rest * sizeof(Out));
    }
}

template <typename Out>
PYXA_TARGET_AVX2 void run_float(void* ctx, const PixelRun* in, const PixelRun* out) {
    const TransformColorParams& p = *static_cast<const TransformColorParams*>(ctx);
    const float* src = static_cast<const float*>(in->data);
    Out* dst = static_cast<Out*>(out->data);
    const uint64_t count = 3 * in->len;
    const float* table = p.out_table.data();
    constexpr float hi = std::is_same_v<Out, uint8_t> ? 255.0f : 65535.0f;
    const Consts k{_mm256_set1_ps(p.out_pos_scale), _mm256_set1_ps(p.out_table.last), _mm256_setzero_ps(),
                   _mm256_set1_ps(1.0f),           _mm256_set1_ps(p.out_scale),      _mm256_set1_ps(hi)};
    run_values(table, src, dst, count, k);
}

}  // namespace

PointwiseRun out_table_avx2_routine(int32_t in, int32_t out) {
    if (in != FLOAT32) return nullptr;
    if (out == UINT8) return &run_float<uint8_t>;
    if (out == UINT16) return &run_float<uint16_t>;
    return nullptr;
}
#else
PointwiseRun out_table_avx2_routine(int32_t, int32_t) { return nullptr; }
#endif

}  // namespace pyxa
