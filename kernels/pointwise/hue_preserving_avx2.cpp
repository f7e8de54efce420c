// The hue-preserving transform with a matrix and an output table in AVX2
// lanes, from interleaved floats to the stored integers, each pixel with the
// operations, in the order, of HuePreserving<true, true>
// (hue_preserving_kernels.cpp), so the bytes are the same.
#include "kernels/pointwise/hue_preserving_avx2.hpp"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/isa.hpp"
#include "kernels/pointwise/lookup_avx2.hpp"
#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/rgb_avx2.hpp"

namespace pyxa {

#if defined(PYXA_LOOKUP_AVX2) && defined(PYXA_RGB_AVX2)
namespace {

// c ? x : y in lanes.
PYXA_TARGET_AVX2 inline __m256 pick(__m256 c, __m256 x, __m256 y) { return _mm256_blendv_ps(y, x, c); }

// clamp01: v > 1 ? 1 : (v >= 0 ? v : 0); NaN fails both comparisons.
PYXA_TARGET_AVX2 inline __m256 clamp01_8(__m256 v) {
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 inside = _mm256_and_ps(v, _mm256_cmp_ps(v, _mm256_setzero_ps(), _CMP_GE_OQ));
    return pick(_mm256_cmp_ps(v, one, _CMP_GT_OQ), one, inside);
}

// The comparisons of (r, g, b) that pick each role (see largest, middle and
// smallest in hue_preserving_kernels.cpp).
struct Order {
    __m256 rg, gb, r_lt_b, r_ge_b, g_lt_b;  // r >= g, g > b, r < b, r >= b, g < b
};

PYXA_TARGET_AVX2 inline Order order_of(__m256 r, __m256 g, __m256 b) {
    return Order{_mm256_cmp_ps(r, g, _CMP_GE_OQ), _mm256_cmp_ps(g, b, _CMP_GT_OQ), _mm256_cmp_ps(r, b, _CMP_LT_OQ),
                 _mm256_cmp_ps(r, b, _CMP_GE_OQ), _mm256_cmp_ps(g, b, _CMP_LT_OQ)};
}

struct Consts {
    const float* in_table;
    const float* out_table;
    __m256 in_scale, in_last, out_last, out_scale, top;
    __m256 m[9];
};

// The roles of eight pixels' clamped channels (see largest, middle and
// smallest in hue_preserving_kernels.cpp), with the comparisons that chose
// them, which also say where each new value goes back.
struct Roles8 {
    Order o;
    __m256 hi, mid, lo;
};

PYXA_TARGET_AVX2 inline Roles8 roles8(Planes8 q) {
    const __m256 r = clamp01_8(q.r), g = clamp01_8(q.g), b = clamp01_8(q.b);
    const Order o = order_of(r, g, b);
    return Roles8{o,
                  pick(o.rg, pick(o.gb, r, pick(o.r_lt_b, b, r)), pick(o.r_ge_b, g, pick(o.g_lt_b, b, g))),
                  pick(o.rg, pick(o.gb, g, pick(o.r_lt_b, r, b)), pick(o.r_ge_b, r, pick(o.g_lt_b, g, b))),
                  pick(o.rg, pick(o.gb, b, g), pick(o.r_ge_b, b, r))};
}

// Eight pixels' new channels, before the matrix, from their roles and the
// input table's values of the largest and smallest: keep_hue's steps.
PYXA_TARGET_AVX2 inline Planes8 new_channels8(const Roles8& q, __m256 hi2, __m256 lo2) {
    const Order& o = q.o;
    // lo' + (hi' - lo') * (mid - lo) / span, or lo' where hi - lo <= 1e-10.
    const __m256 d = _mm256_sub_ps(q.hi, q.lo);
    const __m256 spread = _mm256_cmp_ps(d, _mm256_set1_ps(1e-10f), _CMP_GT_OQ);
    const __m256 span = pick(spread, d, _mm256_set1_ps(1.0f));
    const __m256 rebuilt =
        _mm256_add_ps(lo2, _mm256_div_ps(_mm256_mul_ps(_mm256_sub_ps(hi2, lo2), _mm256_sub_ps(q.mid, q.lo)), span));
    const __m256 mid2 = pick(spread, rebuilt, lo2);
    return Planes8{pick(o.rg, pick(o.gb, hi2, pick(o.r_lt_b, mid2, hi2)), pick(o.r_ge_b, mid2, lo2)),
                   pick(o.rg, pick(o.gb, mid2, lo2), pick(o.r_ge_b, hi2, pick(o.g_lt_b, mid2, hi2))),
                   pick(o.rg, pick(o.gb, lo2, pick(o.r_lt_b, hi2, mid2)), pick(o.r_ge_b, lo2, pick(o.g_lt_b, hi2, mid2)))};
}

// The matrix row of one output channel: the output table's position (its
// size is folded into the matrix).
PYXA_TARGET_AVX2 inline __m256 position8(const Planes8& y, int row, const Consts& k) {
    return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(k.m[3 * row], y.r), _mm256_mul_ps(k.m[3 * row + 1], y.g)),
                         _mm256_mul_ps(k.m[3 * row + 2], y.b));
}

// The output table at those positions, the scale, store_block's clamps
// (v > 0 ? v : 0, then v < top ? v : top) and the value kept as a float that
// truncates to the stored integer.
PYXA_TARGET_AVX2 inline __m256 channel8(const uint32_t* idx, const float* frac, const Consts& k) {
    const __m256 v = _mm256_mul_ps(k.out_scale, interpolate8(k.out_table, idx, _mm256_load_ps(frac)));
    return _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), k.top);
}

// Twenty-four interleaved values truncated and stored as integers; they are
// within the output type's range, so the saturating packs keep them.
template <typename Out>
PYXA_TARGET_AVX2 inline void store24(const float* f, Out* d) {
    const __m256i a = _mm256_cvttps_epi32(_mm256_loadu_ps(f));
    const __m256i b = _mm256_cvttps_epi32(_mm256_loadu_ps(f + 8));
    const __m256i c = _mm256_cvttps_epi32(_mm256_loadu_ps(f + 16));
    // The packs work within 128-bit lanes; the permutes put the words in order.
    const __m256i ab = _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), _MM_SHUFFLE(3, 1, 2, 0));
    const __m128i cc = _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi32(c, c), _MM_SHUFFLE(3, 1, 2, 0)));
    if constexpr (std::is_same_v<Out, uint16_t>) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), ab);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), cc);
    } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                         _mm_packus_epi16(_mm256_castsi256_si128(ab), _mm256_extracti128_si256(ab, 1)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm_packus_epi16(cc, cc));
    }
}

// Pixels go through in blocks, in three passes: the roles and the input
// table's positions of every pixel; then the input table, the new channels
// and the output positions; then the output table and the stores. Each
// lookup reads indices that are already in memory. One eight-pixel step
// doing everything measured slower: its chain of dependent steps is longer
// than the processor can look ahead, so the steps of neighbouring pixels
// hardly overlapped; two passes (the input table looked up in the first,
// its indices moved out of the vector registers) measured 9% slower than
// three.
constexpr uint64_t kBlock = 64;

template <typename Out>
PYXA_TARGET_AVX2 void block(const float* s, Out* d, uint64_t n, const Consts& k) {
    alignas(32) float role[8][kBlock];
    alignas(32) uint32_t in_idx[2][kBlock];
    alignas(32) float in_frac[2][kBlock];
    alignas(32) uint32_t idx[3][kBlock];
    alignas(32) float frac[3][kBlock];
    for (uint64_t j = 0; j < n; j += 8) {
        const Roles8 q = roles8(split_rgb8(s + 3 * j));
        const __m256 v[8] = {q.o.rg, q.o.gb, q.o.r_lt_b, q.o.r_ge_b, q.o.g_lt_b, q.hi, q.mid, q.lo};
        for (int c = 0; c < 8; ++c) _mm256_store_ps(role[c] + j, v[c]);
        store_positions8(positions8(_mm256_mul_ps(k.in_scale, q.hi), k.in_last), in_idx[0] + j, in_frac[0] + j);
        store_positions8(positions8(_mm256_mul_ps(k.in_scale, q.lo), k.in_last), in_idx[1] + j, in_frac[1] + j);
    }
    for (uint64_t j = 0; j < n; j += 8) {
        const Roles8 q{Order{_mm256_load_ps(role[0] + j), _mm256_load_ps(role[1] + j), _mm256_load_ps(role[2] + j),
                             _mm256_load_ps(role[3] + j), _mm256_load_ps(role[4] + j)},
                       _mm256_load_ps(role[5] + j), _mm256_load_ps(role[6] + j), _mm256_load_ps(role[7] + j)};
        const __m256 hi2 = interpolate8(k.in_table, in_idx[0] + j, _mm256_load_ps(in_frac[0] + j));
        const __m256 lo2 = interpolate8(k.in_table, in_idx[1] + j, _mm256_load_ps(in_frac[1] + j));
        const Planes8 y = new_channels8(q, hi2, lo2);
        for (int c = 0; c < 3; ++c)
            store_positions8(positions8(position8(y, c, k), k.out_last), idx[c] + j, frac[c] + j);
    }
    for (uint64_t j = 0; j < n; j += 8) {
        alignas(32) float values[24];
        join_rgb8(Planes8{channel8(idx[0] + j, frac[0] + j, k), channel8(idx[1] + j, frac[1] + j, k),
                          channel8(idx[2] + j, frac[2] + j, k)},
                  values);
        store24(values, d + 3 * j);
    }
}

template <typename Out>
PYXA_TARGET_AVX2 void run(void* ctx, const PixelRun* in, const PixelRun* out) {
    const TransformColorParams& p = *static_cast<const TransformColorParams*>(ctx);
    const float* src = static_cast<const float*>(in->data);
    Out* dst = static_cast<Out*>(out->data);
    constexpr float top = std::is_same_v<Out, uint8_t> ? 255.0f : 65535.0f;
    Consts k{p.in_table.data(),
             p.out_table.data(),
             _mm256_set1_ps(p.in_pos_scale),
             _mm256_set1_ps(p.in_table.last),
             _mm256_set1_ps(p.out_table.last),
             _mm256_set1_ps(p.out_scale),
             _mm256_set1_ps(top),
             {}};
    for (int i = 0; i < 9; ++i) k.m[i] = _mm256_set1_ps(p.m[i]);
    const uint64_t whole = in->len - in->len % 8;
    for (uint64_t j = 0; j < whole; j += kBlock) {
        const uint64_t n = whole - j < kBlock ? whole - j : kBlock;
        block(src + 3 * j, dst + 3 * j, n, k);
    }
    if (whole < in->len) {
        // The tail through a padded copy: only the pixels present are stored.
        const uint64_t rest = in->len - whole;
        alignas(32) float s[24] = {};
        alignas(32) Out d[24];
        std::memcpy(s, src + 3 * whole, 3 * rest * sizeof(float));
        block(s, d, 8, k);
        std::memcpy(dst + 3 * whole, d, 3 * rest * sizeof(Out));
    }
}

}  // namespace

PointwiseRun hue_preserving_avx2_routine(int32_t out) {
    if (out == UINT8) return &run<uint8_t>;
    if (out == UINT16) return &run<uint16_t>;
    return nullptr;
}
#else
PointwiseRun hue_preserving_avx2_routine(int32_t) { return nullptr; }
#endif

}  // namespace pyxa
