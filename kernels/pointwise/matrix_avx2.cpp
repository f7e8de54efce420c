// AVX2 routines of matrix_3x3, clip_and_transform_color and transform_color
// with a lone matrix to uint8 or uint16, written with intrinsics: eight
// interleaved RGB pixels split into channel planes, the per-channel clip, the
// products and the clamps in registers, then interleaved again.
#include "kernels/pointwise/matrix_avx2.hpp"

#include <cstdint>
#include <cstring>

#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/rgb_avx2.hpp"
#include "kernels/pointwise/unit_store_avx2.hpp"

namespace pyxa {

#ifdef PYXA_RGB_AVX2
namespace {

// clamp01_block: v >= 0 ? v : 0 (NaN -> 0, -0 kept) as a compare and a mask,
// then v <= 1 ? v : 1, which is min(v, 1) (a < b ? a : b) once no NaN is left.
PYXA_TARGET_AVX2 inline __m256 clamp01(__m256 v, __m256 zero, __m256 one) {
    v = _mm256_and_ps(v, _mm256_cmp_ps(v, zero, _CMP_GE_OQ));
    return _mm256_min_ps(v, one);
}

// clip_to: bound >= x ? x : bound (a NaN takes the bound), as a compare and a
// blend: min(x, bound) would give the bound for x = -0 and bound = +0.
PYXA_TARGET_AVX2 inline __m256 clip_to(__m256 x, __m256 bound) {
    return _mm256_blendv_ps(bound, x, _mm256_cmp_ps(bound, x, _CMP_GE_OQ));
}

struct Coefficients {
    __m256 m[9];
    __m256 clip[3];
};

// Output channel k of eight pixels: (m0 * r + m1 * g) + m2 * b, the order of
// mix_row.
PYXA_TARGET_AVX2 inline __m256 mix8(const __m256* m, const Planes8& in, int k) {
    return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(m[3 * k], in.r), _mm256_mul_ps(m[3 * k + 1], in.g)),
                         _mm256_mul_ps(m[3 * k + 2], in.b));
}

// Eight pixels from s to d, after the clip when Clip. All loads come before
// any store, so a run computed in place reads its pixels before they are
// overwritten.
template <bool Clip>
PYXA_TARGET_AVX2 inline void eight(const Coefficients& c, const float* s, float* d) {
    Planes8 in = split_rgb8(s);
    if constexpr (Clip) {
        in.r = clip_to(in.r, c.clip[0]);
        in.g = clip_to(in.g, c.clip[1]);
        in.b = clip_to(in.b, c.clip[2]);
    }
    const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
    __m256 o[3];
    for (int k = 0; k < 3; ++k) o[k] = clamp01(mix8(c.m, in, k), zero, one);
    join_rgb8(Planes8{o[0], o[1], o[2]}, d);
}

template <bool Clip>
PYXA_TARGET_AVX2 void run_pixels(const Coefficients& c, const PixelRun* in, const PixelRun* out) {
    const float* src = static_cast<const float*>(in->data);
    float* dst = static_cast<float*>(out->data);
    const uint64_t floats = 3 * in->len;
    uint64_t i = 0;
    for (; i + 24 <= floats; i += 24) eight<Clip>(c, src + i, dst + i);
    if (i < floats) {
        // The last pixels through a padded copy; only those present are stored.
        alignas(32) float s[24] = {}, d[24];
        std::memcpy(s, src + i, (floats - i) * sizeof(float));
        eight<Clip>(c, s, d);
        std::memcpy(dst + i, d, (floats - i) * sizeof(float));
    }
}

PYXA_TARGET_AVX2 void matrix_run_avx2(void* ctx, const PixelRun* in, const PixelRun* out) {
    Coefficients c;
    for (int k = 0; k < 9; ++k) c.m[k] = _mm256_set1_ps(static_cast<const MatrixParams*>(ctx)->m[k]);
    run_pixels<false>(c, in, out);
}

PYXA_TARGET_AVX2 void clip_matrix_run_avx2(void* ctx, const PixelRun* in, const PixelRun* out) {
    const ClipMatrixParams& p = *static_cast<const ClipMatrixParams*>(ctx);
    Coefficients c;
    for (int k = 0; k < 9; ++k) c.m[k] = _mm256_set1_ps(p.m[k]);
    for (int k = 0; k < 3; ++k) c.clip[k] = _mm256_set1_ps(p.clip_max[k]);
    run_pixels<true>(c, in, out);
}

// transform_color with a lone matrix, to integers: sixteen pixels (48 values)
// from s to d, each value in_scale * x, then the products, then
// store_unit_block's steps on the interleaved values.
template <typename Out>
PYXA_TARGET_AVX2 inline void sixteen_integers(const Coefficients& c, __m256 in_scale, const UnitStore8& k,
                                              const float* s, Out* d) {
    __m256i v[6];
    for (int half = 0; half < 2; ++half) {
        Planes8 in = split_rgb8(s + 24 * half);
        in.r = _mm256_mul_ps(in_scale, in.r);
        in.g = _mm256_mul_ps(in_scale, in.g);
        in.b = _mm256_mul_ps(in_scale, in.b);
        __m256 mixed[3];
        join_rgb8(Planes8{mix8(c.m, in, 0), mix8(c.m, in, 1), mix8(c.m, in, 2)}, mixed);
        for (int i = 0; i < 3; ++i) v[3 * half + i] = unit_integers8(mixed[i], k);
    }
    for (int i = 0; i < 3; ++i) store_integers16(v[2 * i], v[2 * i + 1], d + 16 * i);
}

template <typename Out>
PYXA_TARGET_AVX2 void matrix_store_run(void* ctx, const PixelRun* in, const PixelRun* out) {
    const TransformColorParams& p = *static_cast<const TransformColorParams*>(ctx);
    Coefficients c;
    for (int k = 0; k < 9; ++k) c.m[k] = _mm256_set1_ps(p.m[k]);
    const __m256 in_scale = _mm256_set1_ps(p.in_scale);
    const UnitStore8 k = unit_store8<Out>(p.out_scale);
    const float* src = static_cast<const float*>(in->data);
    Out* dst = static_cast<Out*>(out->data);
    const uint64_t values = 3 * in->len;
    uint64_t i = 0;
    for (; i + 48 <= values; i += 48) sixteen_integers(c, in_scale, k, src + i, dst + i);
    if (i < values) {
        // The last pixels through a padded copy; only those present are stored.
        alignas(32) float s[48] = {};
        alignas(32) Out d[48];
        std::memcpy(s, src + i, (values - i) * sizeof(float));
        sixteen_integers(c, in_scale, k, s, d);
        std::memcpy(dst + i, d, (values - i) * sizeof(Out));
    }
}

}  // namespace

PointwiseRun matrix_3x3_avx2_routine() { return &matrix_run_avx2; }
PointwiseRun clip_and_transform_avx2_routine() { return &clip_matrix_run_avx2; }
PointwiseRun matrix_store_avx2_routine(int32_t in, int32_t out) {
    return float_to_integers_routine<&matrix_store_run<uint8_t>, &matrix_store_run<uint16_t>>(in, out);
}
#else
PointwiseRun matrix_3x3_avx2_routine() { return nullptr; }
PointwiseRun clip_and_transform_avx2_routine() { return nullptr; }
PointwiseRun matrix_store_avx2_routine(int32_t, int32_t) { return nullptr; }
#endif

}  // namespace pyxa
