// The first and last stages of the hue/saturation routines in AVX2 lanes,
// eight pixels a step. Direct: interleaved RGB to hue/saturation/value and the
// map cell, and the adjusted colour back to interleaved RGB. Table: the face,
// cell and fractions of each pixel, and the scaled colour back. The compiled
// AVX2 copies gathered and scattered the three channels one float at a time.
// Every operation is the scalar form's (rgb_to_hsv_selects, hue_sat_cell,
// cell_index, adjust_to_rgb, the table routine's loops): a select
// `a > b ? a : b` is max(a, b) with the operands in that order, `a < b ? a : b`
// is min(a, b), so NaN and signed zeros come out as in the other copies.
#pragma once

#include <cstdint>

// Included before the intrinsics header is reached through rgb_avx2.hpp: it
// silences GCC 12's maybe-uninitialized reports on the AVX-512 intrinsics.
#include "kernels/hsv/hsv_fetch.hpp"
#include "kernels/hsv/hsv_params.hpp"
#include "kernels/pointwise/rgb_avx2.hpp"

namespace pyxa {

#ifdef PYXA_RGB_AVX2
// The block arrays the stages read and write, pixel j at index j.
struct HsvBlock {
    float* hue;
    float* sat;
    float* val;
    float* fh;
    float* fs;
    float* fv;
    int32_t* hi;
    int32_t* si;
    int32_t* vi;
};

// Map grid of the call: hue factor, saturation and value spans, top indices.
struct HsvGrid {
    float hue_factor, sat_span, val_span;
    int32_t hue_top, sat_top, val_top;
};

// cell_index: floor of max(c, 0) limited to top, the limits taken in float.
PYXA_TARGET_AVX2 inline __m256i cell_index8(__m256 coord, __m256 top) {
    const __m256 c = _mm256_min_ps(_mm256_max_ps(coord, _mm256_setzero_ps()), top);
    return _mm256_cvttps_epi32(c);
}

template <bool WithValue>
PYXA_TARGET_AVX2 inline void hsv_front8(const float* s, const HsvGrid& g, const HsvBlock& b, uint64_t j) {
    const Planes8 p = split_rgb8(s + 3 * j);
    const __m256 zero = _mm256_setzero_ps();
    const __m256 mx = _mm256_max_ps(_mm256_max_ps(p.r, p.g), p.b);
    const __m256 mn = _mm256_min_ps(_mm256_min_ps(p.r, p.g), p.b);
    const __m256 delta = _mm256_sub_ps(mx, mn);
    const __m256 coloured = _mm256_cmp_ps(delta, zero, _CMP_GT_OQ);
    const __m256 red = _mm256_cmp_ps(p.r, mx, _CMP_EQ_OQ), green = _mm256_cmp_ps(p.g, mx, _CMP_EQ_OQ);
    const __m256 num = _mm256_blendv_ps(_mm256_blendv_ps(_mm256_sub_ps(p.r, p.g), _mm256_sub_ps(p.b, p.r), green),
                                        _mm256_sub_ps(p.g, p.b), red);
    const __m256 q = _mm256_div_ps(num, delta);
    const __m256 hr = _mm256_blendv_ps(q, _mm256_add_ps(q, _mm256_set1_ps(6.0f)), _mm256_cmp_ps(q, zero, _CMP_LT_OQ));
    const __m256 off_red = _mm256_blendv_ps(_mm256_add_ps(q, _mm256_set1_ps(4.0f)),
                                            _mm256_add_ps(q, _mm256_set1_ps(2.0f)), green);
    const __m256 hue = _mm256_and_ps(_mm256_blendv_ps(off_red, hr, red), coloured);
    const __m256 sat = _mm256_and_ps(_mm256_div_ps(delta, mx), coloured);
    _mm256_storeu_ps(b.hue + j, hue);
    _mm256_storeu_ps(b.sat + j, sat);
    _mm256_storeu_ps(b.val + j, mx);
    const __m256 u = _mm256_mul_ps(_mm256_set1_ps(g.hue_factor), hue);
    const __m256 o = _mm256_mul_ps(sat, _mm256_set1_ps(g.sat_span));
    const __m256i hi = cell_index8(u, _mm256_set1_ps(static_cast<float>(g.hue_top)));
    const __m256i si = cell_index8(o, _mm256_set1_ps(static_cast<float>(g.sat_top)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(b.hi + j), hi);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(b.si + j), si);
    _mm256_storeu_ps(b.fh + j, _mm256_sub_ps(u, _mm256_cvtepi32_ps(hi)));
    _mm256_storeu_ps(b.fs + j, _mm256_sub_ps(o, _mm256_cvtepi32_ps(si)));
    if constexpr (WithValue) {
        const __m256 t = _mm256_mul_ps(mx, _mm256_set1_ps(g.val_span));
        const __m256i vi = cell_index8(t, _mm256_set1_ps(static_cast<float>(g.val_top)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(b.vi + j), vi);
        _mm256_storeu_ps(b.fv + j, _mm256_sub_ps(t, _mm256_cvtepi32_ps(vi)));
    }
}

// wrap_sixths: h - 6 from 6 up, h + 6 below 0.
PYXA_TARGET_AVX2 inline __m256 wrap_sixths8(__m256 h) {
    const __m256 six = _mm256_set1_ps(6.0f);
    const __m256 down = _mm256_blendv_ps(h, _mm256_sub_ps(h, six), _mm256_cmp_ps(h, six, _CMP_GE_OQ));
    return _mm256_blendv_ps(down, _mm256_add_ps(h, six), _mm256_cmp_ps(h, _mm256_setzero_ps(), _CMP_LT_OQ));
}

// val - val * sat * channel_weight(k), k the channel's wrapped hue distance.
PYXA_TARGET_AVX2 inline __m256 channel8(__m256 hue, float at, __m256 val, __m256 val_sat) {
    const __m256 k = wrap_sixths8(_mm256_add_ps(hue, _mm256_set1_ps(at)));
    __m256 w = _mm256_min_ps(k, _mm256_sub_ps(_mm256_set1_ps(4.0f), k));
    w = _mm256_max_ps(_mm256_min_ps(w, _mm256_set1_ps(1.0f)), _mm256_setzero_ps());
    return _mm256_sub_ps(val, _mm256_mul_ps(val_sat, w));
}

// adjust_to_rgb of pixels j .. j + 7 with their map points (hue shift,
// saturation scale, value scale), interleaved into d.
PYXA_TARGET_AVX2 inline void hsv_back8(const HsvBlock& b, __m256 shift, __m256 sat_scale, __m256 val_scale, float* d,
                                       uint64_t j) {
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 hue = wrap_sixths8(_mm256_add_ps(_mm256_loadu_ps(b.hue + j), shift));
    const __m256 sat = _mm256_min_ps(_mm256_mul_ps(_mm256_loadu_ps(b.sat + j), sat_scale), one);
    __m256 val = _mm256_mul_ps(_mm256_loadu_ps(b.val + j), val_scale);
    val = _mm256_max_ps(_mm256_min_ps(val, one), _mm256_setzero_ps());
    const __m256 val_sat = _mm256_mul_ps(val, sat);
    join_rgb8(Planes8{channel8(hue, 5.0f, val, val_sat), channel8(hue, 3.0f, val, val_sat),
                      channel8(hue, 1.0f, val, val_sat)},
              d + 3 * j);
}

// The fractions of pixels j .. j + 7 in their cell, and their complements.
struct CellWeights8 {
    __m256 fh, fs, fv, rest_h, rest_s, rest_v;
};

template <int Levels>
PYXA_TARGET_AVX2 inline CellWeights8 cell_weights8(const HsvBlock& b, uint64_t j) {
    const __m256 one = _mm256_set1_ps(1.0f);
    CellWeights8 w;
    w.fh = _mm256_loadu_ps(b.fh + j);
    w.fs = _mm256_loadu_ps(b.fs + j);
    w.fv = Levels > 1 ? _mm256_loadu_ps(b.fv + j) : _mm256_setzero_ps();
    w.rest_h = _mm256_sub_ps(one, w.fh);
    w.rest_s = _mm256_sub_ps(one, w.fs);
    w.rest_v = _mm256_sub_ps(one, w.fv);
    return w;
}

// Component k of the map point of pixels j .. j + 7, interpolated as
// map_bilinear and the value mix do from the corner planes
// q[level][corner][component][pixel], `plane` floats apart.
template <int Levels>
PYXA_TARGET_AVX2 inline __m256 map_point8(const CellWeights8& w, const float* q, uint64_t plane, int k, uint64_t j) {
    __m256 at[Levels];
    for (int lv = 0; lv < Levels; ++lv) {
        // Corner c of this level and component: q + ((lv * 4 + c) * 3 + k) * plane.
        const float* c0 = q + (lv * 12 + k) * plane + j;
        const __m256 lo = _mm256_add_ps(_mm256_mul_ps(w.rest_s, _mm256_loadu_ps(c0)),
                                        _mm256_mul_ps(w.fs, _mm256_loadu_ps(c0 + 3 * plane)));
        const __m256 up = _mm256_add_ps(_mm256_mul_ps(w.rest_s, _mm256_loadu_ps(c0 + 6 * plane)),
                                        _mm256_mul_ps(w.fs, _mm256_loadu_ps(c0 + 9 * plane)));
        at[lv] = _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(w.rest_h, lo), _mm256_mul_ps(w.fh, up)),
                               _mm256_set1_ps(kHsvInvUnit));
    }
    if constexpr (Levels == 1) return at[0];
    else return _mm256_add_ps(_mm256_mul_ps(w.rest_v, at[0]), _mm256_mul_ps(w.fv, at[Levels - 1]));
}

// The map points of pixels j .. j + 7 and their colours, interleaved into d.
template <int Levels>
PYXA_TARGET_AVX2 inline void hsv_mix_back8(const HsvBlock& b, const float* q, uint64_t plane, float* d, uint64_t j) {
    const CellWeights8 w = cell_weights8<Levels>(b, j);
    hsv_back8(b, map_point8<Levels>(w, q, plane, 0, j), map_point8<Levels>(w, q, plane, 1, j),
              map_point8<Levels>(w, q, plane, 2, j), d, j);
}

// The table routine's block arrays: the largest channel, the fractions, and
// the face and cell indices.
struct TableBlock {
    float* mx;
    float* f1;
    float* f2;
    float* fv;
    int32_t* face;
    int32_t* i1;
    int32_t* i2;
    int32_t* li;
};

// Table grid: the face's span, the value span, top cell indices.
struct TableGrid {
    float span, val_span;
    int32_t top, val_top;
};

// Face of the largest channel (red wins ties, then green), the two other
// channels over it on the face's grid, and the value level.
template <bool WithValue>
PYXA_TARGET_AVX2 inline void table_front8(const float* s, const TableGrid& g, const TableBlock& b, uint64_t j) {
    const Planes8 p = split_rgb8(s + 3 * j);
    const __m256 red = _mm256_and_ps(_mm256_cmp_ps(p.r, p.g, _CMP_GE_OQ), _mm256_cmp_ps(p.r, p.b, _CMP_GE_OQ));
    const __m256 green = _mm256_cmp_ps(p.g, p.b, _CMP_GE_OQ);
    const __m256i face = _mm256_castps_si256(_mm256_blendv_ps(
        _mm256_blendv_ps(_mm256_castsi256_ps(_mm256_set1_epi32(2)), _mm256_castsi256_ps(_mm256_set1_epi32(1)), green),
        _mm256_setzero_ps(), red));
    const __m256 m = _mm256_blendv_ps(_mm256_blendv_ps(p.b, p.g, green), p.r, red);
    const __m256 x1 = _mm256_blendv_ps(p.r, p.g, red);
    const __m256 x2 = _mm256_blendv_ps(p.g, p.b, _mm256_or_ps(red, green));
    const __m256 inv = _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_max_ps(m, _mm256_set1_ps(1e-20f)));
    const __m256 span = _mm256_set1_ps(g.span), top = _mm256_set1_ps(static_cast<float>(g.top));
    const __m256 a1 = _mm256_mul_ps(_mm256_mul_ps(x1, inv), span), a2 = _mm256_mul_ps(_mm256_mul_ps(x2, inv), span);
    const __m256i i1 = cell_index8(a1, top), i2 = cell_index8(a2, top);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(b.face + j), face);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(b.i1 + j), i1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(b.i2 + j), i2);
    _mm256_storeu_ps(b.f1 + j, _mm256_sub_ps(a1, _mm256_cvtepi32_ps(i1)));
    _mm256_storeu_ps(b.f2 + j, _mm256_sub_ps(a2, _mm256_cvtepi32_ps(i2)));
    _mm256_storeu_ps(b.mx + j, m);
    if constexpr (WithValue) {
        const __m256 t = _mm256_mul_ps(m, _mm256_set1_ps(g.val_span));
        const __m256i li = cell_index8(t, _mm256_set1_ps(static_cast<float>(g.val_top)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(b.li + j), li);
        _mm256_storeu_ps(b.fv + j, _mm256_sub_ps(t, _mm256_cvtepi32_ps(li)));
    }
}

// The colour of pixels j .. j + 7: the interpolated colour c[0..2] times the
// largest channel scaled by c[3] and limited to [0, 1], interleaved into d.
PYXA_TARGET_AVX2 inline void table_back8(const float* mx, const float* const c[4], float* d, uint64_t j) {
    __m256 v = _mm256_mul_ps(_mm256_loadu_ps(mx + j), _mm256_loadu_ps(c[3] + j));
    v = _mm256_max_ps(_mm256_min_ps(v, _mm256_set1_ps(1.0f)), _mm256_setzero_ps());
    join_rgb8(Planes8{_mm256_mul_ps(v, _mm256_loadu_ps(c[0] + j)), _mm256_mul_ps(v, _mm256_loadu_ps(c[1] + j)),
                      _mm256_mul_ps(v, _mm256_loadu_ps(c[2] + j))},
              d + 3 * j);
}
#endif

}  // namespace pyxa
