// Green plane of the full edge-aware demosaic: the directional estimate at red
// and blue sites, inline so each instruction-set copy of the routine compiles it.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/isa.hpp"
#include "kernels/demosaic/bayer_sites.hpp"
#include "kernels/demosaic/demosaic_params.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PYXA_GREEN_AVX2 1
#endif

namespace pyxa {
namespace green_plane {

// The C library's fminf and fmaxf, written as selects so the loop vectorises:
// a NaN operand yields the other one, and between equal values (-0 and +0)
// the second operand is kept, as the library's min/max instructions do.
inline float lib_fmin(float x, float y) { return (x < y || y != y) ? x : y; }
inline float lib_fmax(float x, float y) { return (x > y || y != y) ? x : y; }

// Green at a red or blue site: the estimate along the direction of the
// smaller gradient, each estimate kept between its two green neighbours.
inline float directional_green(float c, float l, float r, float ll, float rr, float u, float d, float uu,
                               float dd) {
    const float lap_h = 2.0f * c - ll - rr, lap_v = 2.0f * c - uu - dd;
    float gh = (l + r) * 0.5f + lap_h * 0.25f;
    float gv = (u + d) * 0.5f + lap_v * 0.25f;
    const float h_lo = lib_fmin(l, r), h_hi = lib_fmax(l, r), v_lo = lib_fmin(u, d), v_hi = lib_fmax(u, d);
    gh = gh < h_lo ? h_lo : (gh > h_hi ? h_hi : gh);
    gv = gv < v_lo ? v_lo : (gv > v_hi ? v_hi : gv);
    const float dh = std::fabs(l - r) + std::fabs(lap_h), dv = std::fabs(u - d) + std::fabs(lap_v);
    return dh < dv ? gh : (dv < dh ? gv : (gv + gh) * 0.5f);
}

}  // namespace green_plane

// Columns 0 .. cols - 1 of a green row; column 0 is a green site when
// FirstGreen, and the sites alternate. Each pair holds one green site, which
// takes its own sample, and one red or blue site, which takes the estimate:
// the loads step two columns, so the vectorised loop deinterleaves them and
// estimates only the sites that need it. The differences sample - green go to
// d in the same pass (a green site's is its sample minus itself: 0, or NaN
// for an infinite or NaN sample).
template <bool FirstGreen>
inline void green_pairs(const float* __restrict m2, const float* __restrict m1, const float* __restrict c0,
                        const float* __restrict p1, const float* __restrict p2, uint64_t cols, float* __restrict g,
                        float* __restrict d) {
    constexpr uint64_t e = FirstGreen ? 1 : 0;  // the estimated site of each pair
    constexpr uint64_t s = 1 - e;               // the green site
    uint64_t k = 0;
    for (; k + 1 < cols; k += 2) {
        const uint64_t j = k + e;
        const float est = green_plane::directional_green(c0[j], c0[j - 1], c0[j + 1], c0[j - 2], c0[j + 2],
                                                         m1[j], p1[j], m2[j], p2[j]);
        g[k + s] = c0[k + s];
        g[j] = est;
        d[k + s] = c0[k + s] - c0[k + s];
        d[j] = c0[j] - est;
    }
    if (k < cols) {  // an odd count ends on a site of the pair's first kind
        g[k] = FirstGreen ? c0[k]
                          : green_plane::directional_green(c0[k], c0[k - 1], c0[k + 1], c0[k - 2], c0[k + 2],
                                                           m1[k], p1[k], m2[k], p2[k]);
        d[k] = c0[k] - g[k];
    }
}

#ifdef PYXA_GREEN_AVX2
namespace green_plane {

// directional_green on eight lanes, each select written as the element form
// writes it (a compare and a blend), so NaN and signed zeros fare alike.
PYXA_TARGET_AVX2 inline __m256 pick(__m256 when_true, __m256 when_false, __m256 mask) {
    return _mm256_blendv_ps(when_false, when_true, mask);
}
PYXA_TARGET_AVX2 inline __m256 lib_fmin8(__m256 x, __m256 y) {
    return pick(x, y, _mm256_or_ps(_mm256_cmp_ps(x, y, _CMP_LT_OQ), _mm256_cmp_ps(y, y, _CMP_UNORD_Q)));
}
PYXA_TARGET_AVX2 inline __m256 lib_fmax8(__m256 x, __m256 y) {
    return pick(x, y, _mm256_or_ps(_mm256_cmp_ps(x, y, _CMP_GT_OQ), _mm256_cmp_ps(y, y, _CMP_UNORD_Q)));
}
PYXA_TARGET_AVX2 inline __m256 directional_green8(__m256 c, __m256 l, __m256 r, __m256 ll, __m256 rr, __m256 u,
                                                  __m256 d, __m256 uu, __m256 dd) {
    const __m256 two = _mm256_set1_ps(2.0f), half = _mm256_set1_ps(0.5f), quarter = _mm256_set1_ps(0.25f);
    const __m256 abs_mask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    const __m256 lap_h = _mm256_sub_ps(_mm256_sub_ps(_mm256_mul_ps(two, c), ll), rr);
    const __m256 lap_v = _mm256_sub_ps(_mm256_sub_ps(_mm256_mul_ps(two, c), uu), dd);
    __m256 gh = _mm256_add_ps(_mm256_mul_ps(_mm256_add_ps(l, r), half), _mm256_mul_ps(lap_h, quarter));
    __m256 gv = _mm256_add_ps(_mm256_mul_ps(_mm256_add_ps(u, d), half), _mm256_mul_ps(lap_v, quarter));
    const __m256 h_lo = lib_fmin8(l, r), h_hi = lib_fmax8(l, r), v_lo = lib_fmin8(u, d), v_hi = lib_fmax8(u, d);
    gh = pick(h_lo, pick(h_hi, gh, _mm256_cmp_ps(gh, h_hi, _CMP_GT_OQ)), _mm256_cmp_ps(gh, h_lo, _CMP_LT_OQ));
    gv = pick(v_lo, pick(v_hi, gv, _mm256_cmp_ps(gv, v_hi, _CMP_GT_OQ)), _mm256_cmp_ps(gv, v_lo, _CMP_LT_OQ));
    const __m256 dh = _mm256_add_ps(_mm256_and_ps(_mm256_sub_ps(l, r), abs_mask), _mm256_and_ps(lap_h, abs_mask));
    const __m256 dv = _mm256_add_ps(_mm256_and_ps(_mm256_sub_ps(u, d), abs_mask), _mm256_and_ps(lap_v, abs_mask));
    const __m256 mean = _mm256_mul_ps(_mm256_add_ps(gv, gh), half);
    return pick(gh, pick(gv, mean, _mm256_cmp_ps(dv, dh, _CMP_LT_OQ)), _mm256_cmp_ps(dh, dv, _CMP_LT_OQ));
}

}  // namespace green_plane

// green_pairs with eight columns a step: every lane forms the estimate, and a
// fixed blend keeps the sample on the green sites; the columns left (fewer
// than eight, whose loads would pass the row) go through green_pairs.
template <bool FirstGreen>
PYXA_TARGET_AVX2 inline void green_pairs_avx2(const float* __restrict m2, const float* __restrict m1,
                                              const float* __restrict c0, const float* __restrict p1,
                                              const float* __restrict p2, uint64_t cols, float* __restrict g,
                                              float* __restrict d) {
    constexpr int estimated = FirstGreen ? 0xAA : 0x55;  // lanes of the red or blue sites
    uint64_t k = 0;
    for (; k + 8 <= cols; k += 8) {
        const __m256 c = _mm256_loadu_ps(c0 + k);
        const __m256 est = green_plane::directional_green8(
            c, _mm256_loadu_ps(c0 + k - 1), _mm256_loadu_ps(c0 + k + 1), _mm256_loadu_ps(c0 + k - 2),
            _mm256_loadu_ps(c0 + k + 2), _mm256_loadu_ps(m1 + k), _mm256_loadu_ps(p1 + k), _mm256_loadu_ps(m2 + k),
            _mm256_loadu_ps(p2 + k));
        const __m256 green = _mm256_blend_ps(c, est, estimated);
        _mm256_storeu_ps(g + k, green);
        _mm256_storeu_ps(d + k, _mm256_sub_ps(c, green));
    }
    green_pairs<FirstGreen>(m2 + k, m1 + k, c0 + k, p1 + k, p2 + k, cols - k, g + k, d + k);
}
#endif

// Green of columns x0 - 1 .. x0 + n of mosaic row y + dy into g (n + 2 floats),
// from the mosaic rows `w` (halo 3, positioned at x0), and the differences
// sample - green of the same columns into d, which the colour step reads up
// to four times each.
template <Isa I>
inline void compute_green(const DemosaicParams& p, const RowWindow& w, int64_t y, int dy, int64_t x0, uint64_t n,
                          float* __restrict g, float* __restrict d) {
    const float* m2 = w.row(dy - 2) - 1;  // index k is column x0 - 1 + k
    const float* m1 = w.row(dy - 1) - 1;
    const float* c0 = w.row(dy) - 1;
    const float* p1 = w.row(dy + 1) - 1;
    const float* p2 = w.row(dy + 2) - 1;
    const Site first = row_sites(p.red_row, p.red_col, y + dy, x0 - 1).first;
    const bool first_green = first == Site::g_r || first == Site::g_b;
#ifdef PYXA_GREEN_AVX2
    if constexpr (I == Isa::Avx2) {
        if (first_green) green_pairs_avx2<true>(m2, m1, c0, p1, p2, n + 2, g, d);
        else green_pairs_avx2<false>(m2, m1, c0, p1, p2, n + 2, g, d);
        return;
    }
#endif
    if (first_green) green_pairs<true>(m2, m1, c0, p1, p2, n + 2, g, d);
    else green_pairs<false>(m2, m1, c0, p1, p2, n + 2, g, d);
}

}  // namespace pyxa
