// AVX2 routines of the bilinear and edge-aware fast demosaic, written with
// intrinsics: eight pixels a step, every lane computing both sites' formulas
// and a fixed blend keeping each lane's own, then the planes interleaved in
// registers. The formulas and their order of operations are bilinear.cpp's.
#include <cstdint>
#include <cstring>

#include "kernels/demosaic/bayer_sites.hpp"
#include "kernels/demosaic/demosaic_params.hpp"
#include "kernels/pointwise/rgb_avx2.hpp"

namespace pyxa {

#ifdef PYXA_RGB_AVX2
namespace {

constexpr uint64_t kLanes = 8;

// Three input rows from one column before the pixels to one after them.
struct Rows3 {
    const float* up;
    const float* mid;
    const float* dn;
};

// Each lane's own value: the red or blue site's on its lanes, the green site's
// (the blend's second operand, on set bits) on the others.
template <bool OwnEven>
PYXA_TARGET_AVX2 inline __m256 pick(__m256 at_own, __m256 at_green) {
    return _mm256_blend_ps(at_own, at_green, OwnEven ? 0xAA : 0x55);
}

// The colours of pixels i .. i + 7. OwnEven: the red or blue site is on the
// even lanes; RedRow: the row holds red sites (else blue ones).
template <bool EdgeAware, bool OwnEven, bool RedRow>
PYXA_TARGET_AVX2 inline Planes8 eight(const Rows3& w, uint64_t i) {
    const __m256 c = _mm256_loadu_ps(w.mid + i), l = _mm256_loadu_ps(w.mid + i - 1), r = _mm256_loadu_ps(w.mid + i + 1);
    const __m256 u = _mm256_loadu_ps(w.up + i), d = _mm256_loadu_ps(w.dn + i);
    const __m256 quarter = _mm256_set1_ps(0.25f), half = _mm256_set1_ps(0.5f);
    const __m256 diag = _mm256_mul_ps(
        _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(w.up + i - 1), _mm256_loadu_ps(w.up + i + 1)),
                      _mm256_add_ps(_mm256_loadu_ps(w.dn + i - 1), _mm256_loadu_ps(w.dn + i + 1))),
        quarter);
    const __m256 lr = _mm256_add_ps(l, r), ud = _mm256_add_ps(u, d);
    const __m256 h = _mm256_mul_ps(lr, half), v = _mm256_mul_ps(ud, half);
    __m256 green;
    if constexpr (EdgeAware) {
        // |l - r| >= |u - d| ? vertical : horizontal; a NaN takes the horizontal.
        const __m256 abs_mask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
        const __m256 dh = _mm256_and_ps(_mm256_sub_ps(l, r), abs_mask);
        const __m256 dv = _mm256_and_ps(_mm256_sub_ps(u, d), abs_mask);
        green = _mm256_blendv_ps(h, v, _mm256_cmp_ps(dh, dv, _CMP_GE_OQ));
    } else {
        green = _mm256_mul_ps(_mm256_add_ps(lr, ud), quarter);
    }
    Planes8 q;
    q.g = pick<OwnEven>(green, c);
    if constexpr (RedRow) {
        q.r = pick<OwnEven>(c, h);
        q.b = pick<OwnEven>(diag, v);
    } else {
        q.r = pick<OwnEven>(diag, v);
        q.b = pick<OwnEven>(c, h);
    }
    if constexpr (EdgeAware) {
        // unit_clamp_block: v > 0 ? v : 0 is max(v, 0) (NaN and -0 -> +0), then min(v, 1).
        const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
        q.r = _mm256_min_ps(_mm256_max_ps(q.r, zero), one);
        q.g = _mm256_min_ps(_mm256_max_ps(q.g, zero), one);
        q.b = _mm256_min_ps(_mm256_max_ps(q.b, zero), one);
    }
    return q;
}

template <bool EdgeAware, bool OwnEven, bool RedRow>
PYXA_TARGET_AVX2 void interpolate(const RowWindow& win, float* __restrict out, uint64_t n) {
    const Rows3 w{win.row(-1), win.row(0), win.row(1)};
    uint64_t i = 0;
    for (; i + kLanes <= n; i += kLanes) join_rgb8(eight<EdgeAware, OwnEven, RedRow>(w, i), out + 3 * i);
    if (i < n) {
        // The last pixels from padded copies of the columns they read (i - 1
        // to n); only those present are stored. i is a multiple of 8, so the
        // sites keep their lanes.
        const uint64_t have = n - i + 2;
        alignas(32) float rows[3][kLanes + 2] = {};
        std::memcpy(rows[0], w.up + i - 1, have * sizeof(float));
        std::memcpy(rows[1], w.mid + i - 1, have * sizeof(float));
        std::memcpy(rows[2], w.dn + i - 1, have * sizeof(float));
        alignas(32) float d[3 * kLanes];
        join_rgb8(eight<EdgeAware, OwnEven, RedRow>(Rows3{rows[0], rows[1], rows[2]}, 1), d);
        std::memcpy(out + 3 * i, d, 3 * (n - i) * sizeof(float));
    }
}

template <bool EdgeAware>
PYXA_TARGET_AVX2 void demosaic_row_avx2(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
    BilinearRow row;
    if (!begin_bilinear_row(ctx, rows, row_count, out, &row)) return;
    const RowWindow& w = row.window;
    switch (row.sites.first) {
        case Site::r: interpolate<EdgeAware, true, true>(w, row.out, out->len); break;
        case Site::g_r: interpolate<EdgeAware, false, true>(w, row.out, out->len); break;
        case Site::g_b: interpolate<EdgeAware, false, false>(w, row.out, out->len); break;
        case Site::b: interpolate<EdgeAware, true, false>(w, row.out, out->len); break;
    }
}

}  // namespace

DemosaicRowRoutine bilinear_demosaic_avx2_routine() { return &demosaic_row_avx2<false>; }
DemosaicRowRoutine ea_fast_demosaic_avx2_routine() { return &demosaic_row_avx2<true>; }
#else
DemosaicRowRoutine bilinear_demosaic_avx2_routine() { return nullptr; }
DemosaicRowRoutine ea_fast_demosaic_avx2_routine() { return nullptr; }
#endif

}  // namespace pyxa
