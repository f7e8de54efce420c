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
#include "kernels/pointwise/unit_store_avx2.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PYXA_OUT_TABLE_AVX2 1
#endif

namespace pyxa {

#ifdef PYXA_OUT_TABLE_AVX2
namespace {

constexpr uint64_t kLanes = 8;
constexpr uint64_t kStep = 2 * kLanes;  // values per round: two vectors packed into one store

struct Consts {
    __m256 scale, last;
    UnitStore8 store;
};

// Eight values from their table positions to integers; Unclamped leaves out
// the clamps where store_needs_no_clamps holds for the table.
template <bool Unclamped>
PYXA_TARGET_AVX2 inline __m256i integers8(const float* table, const uint32_t* idx, const float* frac,
                                          const Consts& k) {
    const __m256 v = interpolate8(table, idx, _mm256_load_ps(frac));
    if constexpr (Unclamped) return _mm256_cvttps_epi32(_mm256_mul_ps(k.store.out_scale, v));
    return unit_integers8(v, k.store);
}

// Values go through in blocks, in two passes: every value's table position
// (index and fraction), then the table pairs, the interpolation and the
// stores. Both in one step of sixteen values measured about 16% slower: the
// pair loads wait on the index of their own values, and the chain is too
// long for the processor to overlap many steps; the second pass reads indices
// that are already in memory. (The AVX2 gathers measured slower still; see
// lookup_avx2.hpp.)
constexpr uint64_t kBlock = 128;

template <bool Unclamped, typename Out>
PYXA_TARGET_AVX2 inline void block(const float* table, const float* s, Out* d, uint64_t n, const Consts& k) {
    alignas(32) uint32_t idx[kBlock];
    alignas(32) float frac[kBlock];
    positions_block(s, n, k.scale, k.last, idx, frac);
    for (uint64_t j = 0; j < n; j += kStep)
        store_integers16(integers8<Unclamped>(table, idx + j, frac + j, k),
                         integers8<Unclamped>(table, idx + j + kLanes, frac + j + kLanes, k), d + j);
}

template <bool Unclamped, typename Out>
PYXA_TARGET_AVX2 void run_values(const float* table, const float* src, Out* dst, uint64_t count, const Consts& k) {
    const uint64_t whole = count - count % kStep;
    for (uint64_t j = 0; j < whole; j += kBlock) {
        block<Unclamped>(table, src + j, dst + j, whole - j < kBlock ? whole - j : kBlock, k);
    }
    if (whole < count) {
        // The tail through a padded copy: zeros index entry 0, a readable one,
        // and only the values present are stored.
        const uint64_t rest = count - whole;
        alignas(32) float s[kStep] = {};
        alignas(32) Out d[kStep];
        std::memcpy(s, src + whole, rest * sizeof(float));
        block<Unclamped>(table, s, d, kStep, k);
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
    const Consts k{_mm256_set1_ps(p.out_pos_scale), _mm256_set1_ps(p.out_table.last), unit_store8<Out>(p.out_scale)};
    if (p.out_unclamped) {
        run_values<true>(table, src, dst, count, k);
    } else {
        run_values<false>(table, src, dst, count, k);
    }
}

}  // namespace

PointwiseRun out_table_avx2_routine(int32_t in, int32_t out) {
    return float_to_integers_routine<&run_float<uint8_t>, &run_float<uint16_t>>(in, out);
}
#else
PointwiseRun out_table_avx2_routine(int32_t, int32_t) { return nullptr; }
#endif

}  // namespace pyxa
