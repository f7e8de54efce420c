// AVX-512 routine of matrix_3x3 written with intrinsics: sixteen interleaved
// RGB pixels per step, the products and the unit clamp in registers.

// The AVX-512 headers of GCC 12 start several intrinsics from a deliberately
// undefined vector, which -Wmaybe-uninitialized reports once inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "kernels/pointwise/matrix_avx512.hpp"

#include <cstdint>

#include "kernels/pointwise/pointwise_params.hpp"
#include "core/isa.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PYXA_MATRIX_AVX512 1
#endif

namespace pyxa {

#ifdef PYXA_MATRIX_AVX512
namespace {


// Sixteen pixels are three vectors of 48 floats. Lane j of output vector k is
// element e = 16k + j: channel e % 3 of pixel e / 3. Channel c of those pixels
// lies within two neighbouring input vectors, starting at vector
// pair_start(k, c) (0 or 1): permutes pick it from that pair.
constexpr int pair_start(int k, int c) {
    const int last_needed = 3 * ((16 * k + 15) / 3) + c;
    return last_needed >= 32 ? 1 : 0;
}
static_assert(3 * ((16 * 1) / 3) >= 16 * pair_start(1, 0) && 3 * ((16 * 2) / 3) >= 16 * pair_start(2, 0),
              "the first element needed lies in the pair too");

struct Lanes {
    __m512i pick[3][3];  // [k][c]: element index within the pair, 0 .. 31
    __m512 coef[3][3];   // [k][c], lane j: m[3 * (e % 3) + c]
};

PYXA_TARGET_AVX512 inline Lanes make_lanes(const float (&m)[9]) {
    Lanes l;
    for (int k = 0; k < 3; ++k) {
        alignas(64) int32_t idx[3][16];
        alignas(64) float cf[3][16];
        for (int j = 0; j < 16; ++j) {
            const int e = 16 * k + j, pixel = e / 3, channel = e % 3;
            for (int c = 0; c < 3; ++c) {
                idx[c][j] = 3 * pixel + c - 16 * pair_start(k, c);
                cf[c][j] = m[3 * channel + c];
            }
        }
        for (int c = 0; c < 3; ++c) {
            l.pick[k][c] = _mm512_load_si512(idx[c]);
            l.coef[k][c] = _mm512_load_ps(cf[c]);
        }
    }
    return l;
}

// clamp01_block: v >= 0 ? v : 0 (NaN -> 0, -0 kept), then v <= 1 ? v : 1, which
// is min(v, 1) (a < b ? a : b) once no NaN is left.
PYXA_TARGET_AVX512 inline __m512 clamp01(__m512 v) {
    const __m512 zero = _mm512_setzero_ps();
    v = _mm512_mask_blend_ps(_mm512_cmp_ps_mask(v, zero, _CMP_GE_OQ), zero, v);
    return _mm512_min_ps(v, _mm512_set1_ps(1.0f));
}

// Channel c of the pixels of output vector k, lane by lane.
PYXA_TARGET_AVX512 inline __m512 channel(const Lanes& l, const __m512 (&a)[3], int k, int c) {
    const int p = pair_start(k, c);
    return _mm512_permutex2var_ps(a[p], l.pick[k][c], a[p + 1]);
}

// Output vector k: (m0 * r + m1 * g) + m2 * b per lane, the order of mix_row,
// then the clamp.
PYXA_TARGET_AVX512 inline __m512 mix(const Lanes& l, const __m512 (&a)[3], int k) {
    const __m512 r = channel(l, a, k, 0), g = channel(l, a, k, 1), b = channel(l, a, k, 2);
    const __m512 v = _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(l.coef[k][0], r), _mm512_mul_ps(l.coef[k][1], g)),
                                   _mm512_mul_ps(l.coef[k][2], b));
    return clamp01(v);
}

// Sixteen pixels, `floats` of their 48 floats present (a multiple of 3; the
// rest read as 0 and are not stored).
PYXA_TARGET_AVX512 inline void sixteen(const Lanes& l, const float* s, float* d, uint64_t floats) {
    __mmask16 live[3];
    for (int k = 0; k < 3; ++k) {
        const uint64_t start = 16 * static_cast<uint64_t>(k);
        const uint64_t have = floats > start ? floats - start : 0;
        live[k] = have >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << have) - 1u);
    }
    // All loads come before any store, so a run computed in place reads its
    // pixels before they are overwritten.
    const __m512 a[3] = {_mm512_maskz_loadu_ps(live[0], s), _mm512_maskz_loadu_ps(live[1], s + 16),
                         _mm512_maskz_loadu_ps(live[2], s + 32)};
    const __m512 o0 = mix(l, a, 0), o1 = mix(l, a, 1), o2 = mix(l, a, 2);
    _mm512_mask_storeu_ps(d, live[0], o0);
    _mm512_mask_storeu_ps(d + 16, live[1], o1);
    _mm512_mask_storeu_ps(d + 32, live[2], o2);
}

PYXA_TARGET_AVX512 void matrix_run_avx512(void* ctx, const PixelRun* in, const PixelRun* out) {
    float m[9];
    for (int k = 0; k < 9; ++k) m[k] = static_cast<const MatrixParams*>(ctx)->m[k];
    const Lanes l = make_lanes(m);
    const float* src = static_cast<const float*>(in->data);
    float* dst = static_cast<float*>(out->data);
    const uint64_t floats = 3 * in->len;
    uint64_t i = 0;
    for (; i + 48 <= floats; i += 48) sixteen(l, src + i, dst + i, 48);
    if (i < floats) sixteen(l, src + i, dst + i, floats - i);
}


}  // namespace

PointwiseRun matrix_3x3_avx512_routine() { return &matrix_run_avx512; }
#else
PointwiseRun matrix_3x3_avx512_routine() { return nullptr; }
#endif

}  // namespace pyxa
