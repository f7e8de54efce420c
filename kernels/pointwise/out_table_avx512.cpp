// AVX-512 copy of the lone output table on float32 input with uint8 output
// (the last step of the development graph), written with intrinsics.

// The AVX-512 headers of GCC 12 start several intrinsics from a deliberately
// undefined vector, which -Wmaybe-uninitialized reports once inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "kernels/pointwise/out_table_avx512.hpp"

#include <cstdint>

#include "kernels/pointwise/block_lookup.hpp"
#include "kernels/pointwise/pointwise_params.hpp"
#include "core/isa.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PYXA_OUT_TABLE_AVX512 1
#endif

namespace pyxa {

#ifdef PYXA_OUT_TABLE_AVX512
namespace {


constexpr uint64_t kLanes = 16;
constexpr uint64_t B = kLookupBlock;  // a multiple of kLanes
static_assert(B % kLanes == 0);

// The clamps are the processor's min and max, which are exactly the element
// form's ternaries with the operands in this order: max(a, b) is
// a > b ? a : b and min(a, b) is a < b ? a : b, so a NaN or an equal pair
// gives b, as the failed comparison does.

// Positions of values s[0 .. lanes) (lanes beyond n read as 0) into whole
// vectors of indices and fractions: clamp above or NaN -> last, below 0 -> 0,
// then index and fraction, as in lookup_block. p <= last ? p : last is
// min(p, last) (when p equals last both give last); below >= 0 ? below : 0 is
// max(0, below), as below is no longer NaN, and a -0 stays -0.
PYXA_TARGET_AVX512 inline void positions(const float* __restrict s, uint64_t n, float pos_scale, float last,
                                         int32_t* __restrict idx, float* __restrict frac) {
    const __m512 scale = _mm512_set1_ps(pos_scale), top = _mm512_set1_ps(last), zero = _mm512_setzero_ps();
    for (uint64_t j = 0; j < n; j += kLanes) {
        const __mmask16 live = n - j >= kLanes ? __mmask16(0xFFFF) : __mmask16((1u << (n - j)) - 1u);
        const __m512 x = _mm512_maskz_loadu_ps(live, s + j);
        const __m512 pos = _mm512_mul_ps(scale, x);
        const __m512 below = _mm512_min_ps(pos, top);
        const __m512 p = _mm512_max_ps(zero, below);
        const __m512i i = _mm512_cvttps_epi32(p);
        _mm512_store_si512(idx + j, i);
        _mm512_store_ps(frac + j, _mm512_sub_ps(p, _mm512_cvtepi32_ps(i)));
    }
}

// Table pairs of four indices: table[i] in lo, table[i + 1] in hi. Each pair is
// one 8-byte load (see gather_pairs): on these processors this beats the
// AVX-512 gathers by two to four times.
PYXA_TARGET_AVX512 inline void pairs4(const float* table, const int32_t* idx, __m128& lo, __m128& hi) {
    const auto pair = [table](int32_t i) { return reinterpret_cast<const __m64*>(table + i); };
    const __m128 a = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), pair(idx[0])), pair(idx[1]));
    const __m128 b = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), pair(idx[2])), pair(idx[3]));
    lo = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    hi = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
}

// Sixteen interpolated values, then the unit clamp, the scale and the uint8
// store of store_unit_block, each step in registers in the element order.
// Unclamped: store_needs_no_clamps holds for the table, and the four clamps,
// which cannot change a byte then, are left out (about a tenth of the step's
// time on Zen 4, which runs each 512-bit operation as two halves).
template <bool Unclamped>
PYXA_TARGET_AVX512 inline __m128i finish16(const float* table, const int32_t* idx, const float* frac,
                                           float out_scale) {
    __m128 lo[4], hi[4];
    for (int k = 0; k < 4; ++k) pairs4(table, idx + 4 * k, lo[k], hi[k]);
    const __m512 a = _mm512_insertf32x4(
        _mm512_insertf32x4(_mm512_insertf32x4(_mm512_castps128_ps512(lo[0]), lo[1], 1), lo[2], 2), lo[3], 3);
    const __m512 b = _mm512_insertf32x4(
        _mm512_insertf32x4(_mm512_insertf32x4(_mm512_castps128_ps512(hi[0]), hi[1], 1), hi[2], 2), hi[3], 3);
    const __m512 f = _mm512_load_ps(frac);
    const __m512 one = _mm512_set1_ps(1.0f), zero = _mm512_setzero_ps(), top = _mm512_set1_ps(255.0f);
    __m512 v = _mm512_add_ps(_mm512_mul_ps(_mm512_sub_ps(one, f), a), _mm512_mul_ps(f, b));
    if constexpr (Unclamped) {
        v = _mm512_mul_ps(_mm512_set1_ps(out_scale), v);
    } else {
        v = _mm512_max_ps(v, zero);  // v > 0 ? v : 0
        v = _mm512_mul_ps(_mm512_set1_ps(out_scale), _mm512_min_ps(v, one));
        v = _mm512_max_ps(v, zero);
        v = _mm512_min_ps(v, top);
    }
    return _mm512_cvtepi32_epi8(_mm512_cvttps_epi32(v));  // 0 .. 255: the low byte is the value
}

template <bool Unclamped>
PYXA_TARGET_AVX512 void run_values(const TransformColorParams& p, const float* src, uint8_t* dst, uint64_t count) {
    const float* table = p.out_table.data();
    alignas(64) int32_t idx[B];
    alignas(64) float frac[B];
    for (uint64_t i0 = 0; i0 < count; i0 += B) {
        const uint64_t n = count - i0 < B ? count - i0 : B;
        positions(src + i0, n, p.out_pos_scale, p.out_table.last, idx, frac);
        uint8_t* d = dst + i0;
        uint64_t j = 0;
        for (; j + kLanes <= n; j += kLanes)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j),
                             finish16<Unclamped>(table, idx + j, frac + j, p.out_scale));
        if (j < n) {
            // Lanes past n hold index 0, a readable entry; only n - j bytes are stored.
            const __mmask16 live = __mmask16((1u << (n - j)) - 1u);
            _mm_mask_storeu_epi8(d + j, live, finish16<Unclamped>(table, idx + j, frac + j, p.out_scale));
        }
    }
}

PYXA_TARGET_AVX512 void run_float_to_u8(void* ctx, const PixelRun* in, const PixelRun* out) {
    const TransformColorParams& p = *static_cast<const TransformColorParams*>(ctx);
    const float* src = static_cast<const float*>(in->data);
    uint8_t* dst = static_cast<uint8_t*>(out->data);
    const uint64_t count = 3 * in->len;
    if (p.out_unclamped) {
        run_values<true>(p, src, dst, count);
    } else {
        run_values<false>(p, src, dst, count);
    }
}

}  // namespace

PointwiseRun out_table_avx512_routine(int32_t in, int32_t out) {
    return (in == FLOAT32 && out == UINT8) ? &run_float_to_u8 : nullptr;
}
#else
PointwiseRun out_table_avx512_routine(int32_t, int32_t) { return nullptr; }
#endif

}  // namespace pyxa
