// AVX2 routine of the lone input table on float32 values to float32, written
// with intrinsics: the positions, the interpolation and the unit clamp of
// each eight values stay in registers (the compiled copy went through the
// block passes of lookup_block and store_unit_block in memory).
#include "kernels/pointwise/in_table_avx2.hpp"

#include <cstring>

#include "core/isa.hpp"
#include "kernels/pointwise/lookup_avx2.hpp"
#include "kernels/pointwise/pointwise_params.hpp"

namespace pyxa {

#ifdef PYXA_LOOKUP_AVX2
namespace {

constexpr uint64_t kLanes = 8;

struct Consts {
    __m256 pos_scale, last, zero, one, out_scale;
};

// store_unit_block's float form in its order: v >= 0 ? v : 0 (NaN -> 0, -0
// kept), then v <= 1 ? v : 1 (the processor's min(v, 1) is v < 1 ? v : 1,
// the same value), then the scale.
PYXA_TARGET_AVX2 inline __m256 unit_scaled(__m256 v, const Consts& k) {
    const __m256 inside = _mm256_and_ps(v, _mm256_cmp_ps(v, k.zero, _CMP_GE_OQ));
    return _mm256_mul_ps(k.out_scale, _mm256_min_ps(inside, k.one));
}

PYXA_TARGET_AVX2 inline __m256 eight(const float* table, __m256 x, const Consts& k) {
    return unit_scaled(lookup8(table, _mm256_mul_ps(k.pos_scale, x), k.last), k);
}

// A table that fits the first-level cache goes through a block of values in
// two passes, the positions into memory and then the pair loads, as the
// output table does (out_table_avx2.cpp): the loads no longer wait on the
// positions of their own values. A larger table (the exposure ramp of a
// brightening exposure has 65,536 entries) stays in one step, which measured
// faster there: its pair loads miss the cache and the second pass adds to them.
constexpr uint64_t kBlock = 128;
constexpr float kPassesUpToLast = 8191.0f;

PYXA_TARGET_AVX2 void block(const float* table, const float* s, float* d, uint64_t n, const Consts& k) {
    alignas(32) uint32_t idx[kBlock];
    alignas(32) float frac[kBlock];
    positions_block(s, n, k.pos_scale, k.last, idx, frac);
    for (uint64_t j = 0; j < n; j += kLanes)
        _mm256_storeu_ps(d + j, unit_scaled(interpolate8(table, idx + j, _mm256_load_ps(frac + j)), k));
}

PYXA_TARGET_AVX2 void run(void* ctx, const PixelRun* in, const PixelRun* out) {
    const TransformColorParams& p = *static_cast<const TransformColorParams*>(ctx);
    const float* src = static_cast<const float*>(in->data);
    float* dst = static_cast<float*>(out->data);
    const uint64_t count = 3 * in->len;
    const float* table = p.in_table.data();
    const Consts k{_mm256_set1_ps(p.in_pos_scale), _mm256_set1_ps(p.in_table.last), _mm256_setzero_ps(),
                   _mm256_set1_ps(1.0f), _mm256_set1_ps(p.out_scale)};
    uint64_t j = 0;
    if (p.in_table.last <= kPassesUpToLast) {
        const uint64_t whole = count - count % kLanes;
        for (; j < whole; j += kBlock) block(table, src + j, dst + j, whole - j < kBlock ? whole - j : kBlock, k);
        j = whole;
    } else {
        for (; j + kLanes <= count; j += kLanes) _mm256_storeu_ps(dst + j, eight(table, _mm256_loadu_ps(src + j), k));
    }
    if (j < count) {
        // The tail through a padded copy: zeros index entry 0, a readable one,
        // and only the values present are stored.
        const uint64_t rest = count - j;
        alignas(32) float s[kLanes] = {};
        alignas(32) float d[kLanes];
        std::memcpy(s, src + j, rest * sizeof(float));
        _mm256_store_ps(d, eight(table, _mm256_load_ps(s), k));
        std::memcpy(dst + j, d, rest * sizeof(float));
    }
}

}  // namespace

PointwiseRun in_table_avx2_routine(int32_t in, int32_t out) {
    return in == FLOAT32 && out == FLOAT32 ? &run : nullptr;
}
#else
PointwiseRun in_table_avx2_routine(int32_t, int32_t) { return nullptr; }
#endif

}  // namespace pyxa
