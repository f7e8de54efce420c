// The warp's map and sampling passes and their instruction-set copies; each
// pixel goes through the same double and float operations, in the same order,
// in every copy.
#include "opcodes/warp_chunks.hpp"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "opcodes/bicubic_table.hpp"
#include "opcodes/float_math.hpp"
#include "core/isa.hpp"

namespace tarnimg {
namespace {

using pyxa::Isa;
using pyxa::routine_for;

// Terms is how many radial coefficients count (1 to 4).
template <int Terms, bool Tangential>
void map_chunk(const RowMap& m, const double* __restrict offset, const double* __restrict d, int64_t n,
               double* __restrict xs, double* __restrict ys) {
    const double c0 = m.c[0];
    const double c1 = Terms > 1 ? m.c[1] : 0.0;
    const double c2 = Terms > 2 ? m.c[2] : 0.0;
    const double c3 = Terms > 3 ? m.c[3] : 0.0;
    const double two_p0 = 2.0 * m.p0;
    const double two_p1 = 2.0 * m.p1;
    for (int64_t i = 0; i < n; ++i) {
        const double dx = d[i];
        const double sum = dx * dx + m.dy * m.dy;
        const double s = 1.0 < sum ? 1.0 : sum;  // std::min(sum, 1.0): a NaN stays
        const double s2 = s * s;
        const double s3 = s2 * s;
        double ratio = c0;
        if (Terms > 1) ratio += c1 * s;
        if (Terms > 2) ratio += c2 * s2;
        if (Terms > 3) ratio += c3 * s3;
        double sx = m.cx + ratio * offset[i];
        double sy = m.cy + ratio * m.offset_y;
        if (Tangential) {
            sx += m.radius * (two_p0 * dx * m.dy + m.p1 * (s + 2.0 * dx * dx));
            sy += m.radius * (m.p0 * (s + m.dy2) + two_p1 * dx * m.dy);
        }
        xs[i] = clamp_coord(sx, m.hi_x);
        ys[i] = clamp_coord(sy, m.hi_y);
    }
}

// Coordinates arrive clamped to [0, extent - 1], so truncation is the floor
// and no index leaves the image. Index is int32_t when every index of the
// input fits, else int64_t. Three passes: the corner positions and fractions
// (in vector lanes), the corner loads (scalar loads, no lane shuffling), the
// blend (in vector lanes); each pixel's arithmetic is unchanged.
//
// A packed plane at least two samples wide: each row's two corners are read
// as one pair. At the last column (where both corners are the last sample)
// the pair starts one sample earlier and its second sample serves for both,
// so no read leaves the row.
//
// Where each pixel's pair of each row starts, its fractions, the step to the
// next row and whether the pair starts one sample early (1) or not (0).
template <class Index>
struct PairPlaces {
    Index at[kWarpChunk], step_y[kWarpChunk];
    float last[kWarpChunk];
    double fx[kWarpChunk], fy[kWarpChunk];
};

template <class Index>
inline void place_pairs(const WarpSource& src, const double* __restrict xs, const double* __restrict ys, int64_t n,
                        PairPlaces<Index>* __restrict p) {
    const Index rf = Index(src.row_floats);
    const Index last_x = Index(src.width - 1), last_y = Index(src.height - 1);
    for (int64_t i = 0; i < n; ++i) {
        const Index x0 = Index(xs[i]);
        const Index y0 = Index(ys[i]);
        const Index y1 = y0 + 1 < last_y ? y0 + 1 : last_y;
        const bool at_end = x0 == last_x;
        p->fx[i] = xs[i] - double(x0);
        p->fy[i] = ys[i] - double(y0);
        p->at[i] = y0 * rf + (at_end ? x0 - 1 : x0);
        p->last[i] = at_end ? 1.0f : 0.0f;
        p->step_y[i] = (y1 - y0) * rf;
    }
}

// The pairs of pixels [from, n) read one by one, then blended in lanes.
template <class Index>
inline void blend_pairs_from(const float* __restrict base, const PairPlaces<Index>& p, int64_t from, int64_t n,
                             float* __restrict values) {
    float top[2 * kWarpChunk], bottom[2 * kWarpChunk];
    for (int64_t i = from; i < n; ++i) {
        std::memcpy(top + 2 * i, base + p.at[i], 2 * sizeof(float));
        std::memcpy(bottom + 2 * i, base + p.at[i] + p.step_y[i], 2 * sizeof(float));
    }
    for (int64_t i = from; i < n; ++i) {
        const bool at_end = p.last[i] != 0.0f;
        const float a = at_end ? top[2 * i + 1] : top[2 * i], b = top[2 * i + 1];
        const float c = at_end ? bottom[2 * i + 1] : bottom[2 * i], d = bottom[2 * i + 1];
        const double t = double(a) * (1.0 - p.fx[i]) + double(b) * p.fx[i];
        const double u = double(c) * (1.0 - p.fx[i]) + double(d) * p.fx[i];
        values[i] = float(t * (1.0 - p.fy[i]) + u * p.fy[i]);
    }
}

template <class Index>
void bilinear_packed(const WarpSource& src, const double* __restrict xs, const double* __restrict ys, int64_t n,
                     float* __restrict values) {
    PairPlaces<Index> p;
    place_pairs(src, xs, ys, n, &p);
    blend_pairs_from(src.base, p, 0, n, values);
}

// Any plane: the four corners read one by one.
template <class Index>
void bilinear_chunk(const WarpSource& src, const float*, const double* __restrict xs, const double* __restrict ys,
                    int64_t n, float* __restrict values) {
    if (src.channels == 1 && src.width > 1) {
        bilinear_packed<Index>(src, xs, ys, n, values);
        return;
    }
    Index at[kWarpChunk], step_x[kWarpChunk], step_y[kWarpChunk];
    double fx[kWarpChunk], fy[kWarpChunk];
    float a[kWarpChunk], b[kWarpChunk], c[kWarpChunk], d[kWarpChunk];
    const Index rf = Index(src.row_floats), ch = Index(src.channels);
    const Index last_x = Index(src.width - 1), last_y = Index(src.height - 1);
    for (int64_t i = 0; i < n; ++i) {
        const Index x0 = Index(xs[i]);
        const Index y0 = Index(ys[i]);
        const Index x1 = x0 + 1 < last_x ? x0 + 1 : last_x;
        const Index y1 = y0 + 1 < last_y ? y0 + 1 : last_y;
        fx[i] = xs[i] - double(x0);
        fy[i] = ys[i] - double(y0);
        at[i] = y0 * rf + x0 * ch;
        step_x[i] = (x1 - x0) * ch;
        step_y[i] = (y1 - y0) * rf;
    }
    const float* __restrict base = src.base;
    for (int64_t i = 0; i < n; ++i) {
        const float* p = base + at[i];
        a[i] = p[0];
        b[i] = p[step_x[i]];
        c[i] = p[step_y[i]];
        d[i] = p[step_y[i] + step_x[i]];
    }
    for (int64_t i = 0; i < n; ++i) {
        const double top = double(a[i]) * (1.0 - fx[i]) + double(b[i]) * fx[i];
        const double bottom = double(c[i]) * (1.0 - fx[i]) + double(d[i]) * fx[i];
        values[i] = float(top * (1.0 - fy[i]) + bottom * fy[i]);
    }
}

// Window start and fraction bin along one axis: the window starts one
// before the pixel, pushed back inside the image at the edges (the extent is
// at least 4), where it uses bin 0. The fraction s - i0 is exact and below 1,
// so its bin is below kBicubicBins. Written with selects and a product so
// that the loop runs in vector lanes.
template <class Index>
inline void bicubic_axis(double s, Index extent, Index* start, Index* bin) {
    const Index i0 = Index(s);
    const Index below_end = i0 - 1 < extent - 4 ? i0 - 1 : extent - 4;
    const Index first = below_end > 0 ? below_end : 0;
    const Index inside = Index((s - double(i0)) * kBicubicBins);
    const Index fraction_bin = inside < kBicubicBins - 1 ? inside : kBicubicBins - 1;
    *start = first;
    *bin = fraction_bin * Index(first == i0 - 1);
}

// The 16 taps of one pixel's window, summed in row order.
inline float bicubic_taps(const float* __restrict px, int64_t rf, int64_t ch, const float* __restrict w) {
    float acc = 0.0f;
    for (int64_t r = 0; r < 4; ++r) {
        for (int64_t k = 0; k < 4; ++k) acc += px[r * rf + k * ch] * w[4 * r + k];
    }
    return acc;
}

// Each pixel's window (its first sample and its weight entry), placed in
// vector lanes.
template <class Index>
inline void bicubic_place(const WarpSource& src, const double* __restrict xs, const double* __restrict ys,
                          int64_t n, Index* __restrict at, Index* __restrict entry) {
    const Index rf = Index(src.row_floats), ch = Index(src.channels);
    const Index width = Index(src.width), height = Index(src.height);
    for (int64_t i = 0; i < n; ++i) {
        Index bx, jx, by, jy;
        bicubic_axis(xs[i], width, &bx, &jx);
        bicubic_axis(ys[i], height, &by, &jy);
        at[i] = by * rf + bx * ch;
        entry[i] = (jy * kBicubicBins + jx) * kBicubicTaps;
    }
}

// The taps of pixels [from, n), four pixels at a time so that their chains of
// additions overlap (gathering the taps into vector lanes is slower than
// these scalar loads).
template <class Index>
inline void bicubic_taps_from(const WarpSource& src, const float* table, const Index* __restrict at,
                              const Index* __restrict entry, int64_t from, int64_t n, float* __restrict values) {
    const int64_t rf = src.row_floats, ch = src.channels;
    int64_t i = from;
    for (; i + 3 < n; i += 4) {
        const float a = bicubic_taps(src.base + at[i], rf, ch, table + entry[i]);
        const float b = bicubic_taps(src.base + at[i + 1], rf, ch, table + entry[i + 1]);
        const float c = bicubic_taps(src.base + at[i + 2], rf, ch, table + entry[i + 2]);
        const float d = bicubic_taps(src.base + at[i + 3], rf, ch, table + entry[i + 3]);
        values[i] = unit_clamp(a);
        values[i + 1] = unit_clamp(b);
        values[i + 2] = unit_clamp(c);
        values[i + 3] = unit_clamp(d);
    }
    for (; i < n; ++i) values[i] = unit_clamp(bicubic_taps(src.base + at[i], rf, ch, table + entry[i]));
}

template <class Index>
void bicubic_chunk(const WarpSource& src, const float* table, const double* __restrict xs,
                   const double* __restrict ys, int64_t n, float* __restrict values) {
    Index at[kWarpChunk], entry[kWarpChunk];
    bicubic_place(src, xs, ys, n, at, entry);
    bicubic_taps_from(src, table, at, entry, 0, n, values);
}

#if defined(__x86_64__) && defined(__GNUC__)
// Four pixels' pairs of one row as two vectors: the first samples (the
// second where the pair starts early) and the second samples. A pair is only
// float-aligned, so it comes in through the 8-byte integer load, which makes no
// claim on alignment (a double load would).
PYXA_TARGET_AVX2 inline void pair_lanes(const float* const (&p)[4], __m128 early, __m128* first,
                                                       __m128* second) {
    const __m128 lo = _mm_loadh_pi(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p[0]))),
                                   reinterpret_cast<const __m64*>(p[1]));
    const __m128 hi = _mm_loadh_pi(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p[2]))),
                                   reinterpret_cast<const __m64*>(p[3]));
    *second = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
    *first = _mm_blendv_ps(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)), *second, early);
}

// A packed plane, four pixels at a time: their pairs are loaded straight into
// lanes and blended there, each lane with the operations of blend_pairs_from.
template <class Index>
PYXA_TARGET_AVX2 void bilinear_packed_avx2(const WarpSource& src, const double* __restrict xs,
                                                          const double* __restrict ys, int64_t n,
                                                          float* __restrict values) {
    PairPlaces<Index> p;
    place_pairs(src, xs, ys, n, &p);
    const float* __restrict base = src.base;
    const __m256d one = _mm256_set1_pd(1.0);
    const __m128 zero = _mm_setzero_ps();
    int64_t i = 0;
    for (; i + 3 < n; i += 4) {
        const float* top[4] = {base + p.at[i], base + p.at[i + 1], base + p.at[i + 2], base + p.at[i + 3]};
        const float* bottom[4] = {top[0] + p.step_y[i], top[1] + p.step_y[i + 1], top[2] + p.step_y[i + 2],
                                  top[3] + p.step_y[i + 3]};
        const __m128 early = _mm_cmpneq_ps(_mm_loadu_ps(p.last + i), zero);
        __m128 a, b, c, d;
        pair_lanes(top, early, &a, &b);
        pair_lanes(bottom, early, &c, &d);
        const __m256d fx = _mm256_loadu_pd(p.fx + i), fy = _mm256_loadu_pd(p.fy + i);
        const __m256d gx = _mm256_sub_pd(one, fx);
        const __m256d t = _mm256_add_pd(_mm256_mul_pd(_mm256_cvtps_pd(a), gx), _mm256_mul_pd(_mm256_cvtps_pd(b), fx));
        const __m256d u = _mm256_add_pd(_mm256_mul_pd(_mm256_cvtps_pd(c), gx), _mm256_mul_pd(_mm256_cvtps_pd(d), fx));
        const __m256d v = _mm256_add_pd(_mm256_mul_pd(t, _mm256_sub_pd(one, fy)), _mm256_mul_pd(u, fy));
        _mm_storeu_ps(values + i, _mm256_cvtpd_ps(v));
    }
    blend_pairs_from(base, p, i, n, values);
}

// A packed plane takes the lanes above, any other the copy Other.
template <class Index, WarpSample Other>
PYXA_TARGET_AVX2 void bilinear_chunk_avx2(const WarpSource& src, const float* table,
                                                         const double* __restrict xs, const double* __restrict ys,
                                                         int64_t n, float* __restrict values) {
    if (src.channels == 1 && src.width > 1) {
        bilinear_packed_avx2<Index>(src, xs, ys, n, values);
        return;
    }
    Other(src, table, xs, ys, n, values);
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// Four consecutive floats of eight pixels (pixel i's at p[i]) turned into four
// vectors, vector k holding float k of every pixel in lane i.
PYXA_TARGET_AVX2 inline void transpose_rows(const float* const (&p)[8], __m256 (&out)[4]) {
    const __m256 v0 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p[0])), _mm_loadu_ps(p[4]), 1);
    const __m256 v1 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p[1])), _mm_loadu_ps(p[5]), 1);
    const __m256 v2 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p[2])), _mm_loadu_ps(p[6]), 1);
    const __m256 v3 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p[3])), _mm_loadu_ps(p[7]), 1);
    const __m256 t0 = _mm256_unpacklo_ps(v0, v1), t1 = _mm256_unpackhi_ps(v0, v1);
    const __m256 t2 = _mm256_unpacklo_ps(v2, v3), t3 = _mm256_unpackhi_ps(v2, v3);
    out[0] = _mm256_shuffle_ps(t0, t2, 0x44);
    out[1] = _mm256_shuffle_ps(t0, t2, 0xEE);
    out[2] = _mm256_shuffle_ps(t1, t3, 0x44);
    out[3] = _mm256_shuffle_ps(t1, t3, 0xEE);
}

// A packed plane: a window row is four adjacent samples and a weight row four
// adjacent weights, so eight pixels' rows are loaded and turned into lanes,
// and each lane sums its pixel's 16 products in the same order, from 0, as
// bicubic_taps does.
template <class Index>
PYXA_TARGET_AVX2 void bicubic_chunk_avx2(const WarpSource& src, const float* table,
                                                        const double* __restrict xs, const double* __restrict ys,
                                                        int64_t n, float* __restrict values) {
    Index at[kWarpChunk], entry[kWarpChunk];
    bicubic_place(src, xs, ys, n, at, entry);
    if (src.channels != 1) {
        bicubic_taps_from(src, table, at, entry, 0, n, values);
        return;
    }
    const int64_t rf = src.row_floats;
    const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
    int64_t i = 0;
    for (; i + 7 < n; i += 8) {
        __m256 acc = zero;
        for (int64_t r = 0; r < 4; ++r) {
            const float* px[8];
            const float* w[8];
            for (int j = 0; j < 8; ++j) {
                px[j] = src.base + at[i + j] + r * rf;
                w[j] = table + entry[i + j] + 4 * r;
            }
            __m256 taps[4], weights[4];
            transpose_rows(px, taps);
            transpose_rows(w, weights);
            for (int k = 0; k < 4; ++k) acc = _mm256_add_ps(acc, _mm256_mul_ps(taps[k], weights[k]));
        }
        // unit_clamp: v >= 1 ? 1 : (v > 0 ? v : 0), NaN becoming 0.
        const __m256 low = _mm256_and_ps(acc, _mm256_cmp_ps(acc, zero, _CMP_GT_OQ));
        _mm256_storeu_ps(values + i, _mm256_blendv_ps(low, one, _mm256_cmp_ps(acc, one, _CMP_GE_OQ)));
    }
    bicubic_taps_from(src, table, at, entry, i, n, values);
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// One pixel's window row in three interleaved planes: tap k's three samples
// start at 3 k. Taps 0 to 2 are four-float loads whose fourth lane is the next
// tap's first sample; tap 3's load starts one float early so that it ends on
// the window's last sample, and a shuffle brings its samples to lanes 0 to 2.
// Each lane adds its products in bicubic_taps's order, from 0.
PYXA_TARGET_AVX2 inline __m128 rgb_window_row(const float* __restrict px, const float* __restrict w, __m128 acc) {
    acc = _mm_add_ps(acc, _mm_mul_ps(_mm_loadu_ps(px), _mm_set1_ps(w[0])));
    acc = _mm_add_ps(acc, _mm_mul_ps(_mm_loadu_ps(px + 3), _mm_set1_ps(w[1])));
    acc = _mm_add_ps(acc, _mm_mul_ps(_mm_loadu_ps(px + 6), _mm_set1_ps(w[2])));
    const __m128 last = _mm_loadu_ps(px + 8);
    return _mm_add_ps(acc, _mm_mul_ps(_mm_shuffle_ps(last, last, _MM_SHUFFLE(3, 3, 2, 1)), _mm_set1_ps(w[3])));
}

// unit_clamp in lanes: v >= 1 ? 1 : (v > 0 ? v : 0), NaN becoming 0; lanes 0
// to 2 stored as one pixel's three values.
PYXA_TARGET_AVX2 inline void store_rgb(__m128 v, float* __restrict dst) {
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    const __m128 low = _mm_and_ps(v, _mm_cmpgt_ps(v, zero));
    const __m128 out = _mm_blendv_ps(low, one, _mm_cmpge_ps(v, one));
    _mm_storel_pi(reinterpret_cast<__m64*>(dst), out);
    _mm_store_ss(dst + 2, _mm_movehl_ps(out, out));
}

// Three planes at shared coordinates: each pixel's window is placed once and
// its 16 taps carry all three planes in the lanes of one vector; four pixels
// at a time, so that their chains of additions overlap.
template <class Index>
PYXA_TARGET_AVX2 void bicubic_rgb_avx2(const WarpSource& src, const float* table, const double* __restrict xs,
                                       const double* __restrict ys, int64_t n, float* __restrict row) {
    Index at[kWarpChunk], entry[kWarpChunk];
    bicubic_place(src, xs, ys, n, at, entry);
    const int64_t rf = src.row_floats;
    int64_t i = 0;
    for (; i + 3 < n; i += 4) {
        __m128 acc[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
        for (int64_t r = 0; r < 4; ++r) {
            for (int j = 0; j < 4; ++j)
                acc[j] = rgb_window_row(src.base + at[i + j] + r * rf, table + entry[i + j] + 4 * r, acc[j]);
        }
        for (int j = 0; j < 4; ++j) store_rgb(acc[j], row + 3 * (i + j));
    }
    for (; i < n; ++i) {
        __m128 a = _mm_setzero_ps();
        for (int64_t r = 0; r < 4; ++r) a = rgb_window_row(src.base + at[i] + r * rf, table + entry[i] + 4 * r, a);
        store_rgb(a, row + 3 * i);
    }
}
#endif

template <int Terms>
WarpMap map_terms(Isa isa, bool tangential) {
    return tangential ? routine_for<map_chunk<Terms, true>>(isa) : routine_for<map_chunk<Terms, false>>(isa);
}

}  // namespace

WarpMap warp_map_for(Isa isa, int32_t num_coeffs, bool tangential) {
    switch (num_coeffs) {
        case 1: return map_terms<1>(isa, tangential);
        case 2: return map_terms<2>(isa, tangential);
        case 3: return map_terms<3>(isa, tangential);
        default: return map_terms<4>(isa, tangential);
    }
}

WarpSample warp_sample_for(Isa isa, bool bicubic, bool narrow) {
    if (bicubic) {
#if defined(__x86_64__) && defined(__GNUC__)
        if (isa != Isa::Baseline) return narrow ? bicubic_chunk_avx2<int32_t> : bicubic_chunk_avx2<int64_t>;
#endif
        return narrow ? routine_for<bicubic_chunk<int32_t>>(isa) : routine_for<bicubic_chunk<int64_t>>(isa);
    }
#if defined(__x86_64__) && defined(__GNUC__)
    if (isa == Isa::Avx2) {
        return narrow ? bilinear_chunk_avx2<int32_t, pyxa::Avx2Copy<bilinear_chunk<int32_t>>::run>
                      : bilinear_chunk_avx2<int64_t, pyxa::Avx2Copy<bilinear_chunk<int64_t>>::run>;
    }
    if (isa == Isa::Avx512) {
        return narrow ? bilinear_chunk_avx2<int32_t, pyxa::Avx512Copy<bilinear_chunk<int32_t>>::run>
                      : bilinear_chunk_avx2<int64_t, pyxa::Avx512Copy<bilinear_chunk<int64_t>>::run>;
    }
#endif
    return narrow ? routine_for<bilinear_chunk<int32_t>>(isa) : routine_for<bilinear_chunk<int64_t>>(isa);
}

WarpSampleRgb warp_sample_rgb_for(Isa isa, bool bicubic, bool narrow) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (bicubic && isa != Isa::Baseline) return narrow ? bicubic_rgb_avx2<int32_t> : bicubic_rgb_avx2<int64_t>;
#else
    (void)isa, (void)bicubic, (void)narrow;
#endif
    return nullptr;
}

}  // namespace tarnimg
