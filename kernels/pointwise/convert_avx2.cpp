// AVX2 routine of convert_dtype from float32 to uint8 or uint16, written with
// intrinsics: the scale, the clip and store_block's clamps in registers in one
// pass, where the compiled copy makes a pass over a block for each of them
// and took about 1.3x the time of a one-pass conversion reading and writing
// the same memory.
#include "kernels/pointwise/convert_avx2.hpp"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "core/isa.hpp"
#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/unit_store_avx2.hpp"

namespace pyxa {

#ifdef PYXA_UNIT_STORE_AVX2  // the x86 intrinsics are there
namespace {

constexpr uint64_t kLanes = 8;
constexpr uint64_t kStep = 2 * kLanes;  // values per round: two vectors packed into one store

struct Consts {
    __m256 scale, clip, zero, top;
};

// The element form's steps: y = s * scale; with a clip, y <= clip ? y : clip;
// then store_block's y > 0 ? y : 0, y < hi ? y : hi and the truncation. The
// processor's min(a, b) is a < b ? a : b and max(a, b) is a > b ? a : b, so a
// NaN gives the clip, then 0, as the failed comparisons do; min differs from
// the clip's ternary only for y = -0 against a clip of +0, which the next
// step makes 0 either way.
template <bool Clip>
PYXA_TARGET_AVX2 inline __m256i integers8(const float* s, const Consts& k) {
    __m256 v = _mm256_mul_ps(_mm256_loadu_ps(s), k.scale);
    if constexpr (Clip) v = _mm256_min_ps(v, k.clip);
    v = _mm256_max_ps(v, k.zero);
    v = _mm256_min_ps(v, k.top);
    return _mm256_cvttps_epi32(v);
}

// Sixteen values from s to d.
template <bool Clip, typename Out>
PYXA_TARGET_AVX2 inline void sixteen(const float* s, Out* d, const Consts& k) {
    store_integers16(integers8<Clip>(s, k), integers8<Clip>(s + kLanes, k), d);
}

template <bool Clip, typename Out>
PYXA_TARGET_AVX2 void run_values(const float* src, Out* dst, uint64_t count, const Consts& k) {
    const uint64_t whole = count - count % kStep;
    for (uint64_t j = 0; j < whole; j += kStep) sixteen<Clip>(src + j, dst + j, k);
    if (whole < count) {
        // The tail through a padded copy; only the values present are stored.
        const uint64_t rest = count - whole;
        alignas(32) float s[kStep] = {};
        alignas(32) Out d[kStep];
        std::memcpy(s, src + whole, rest * sizeof(float));
        sixteen<Clip>(s, d, k);
        std::memcpy(dst + whole, d, rest * sizeof(Out));
    }
}

template <typename Out>
PYXA_TARGET_AVX2 void run_float(void* ctx, const PixelRun* in, const PixelRun* out) {
    const ConvertParams& p = *static_cast<const ConvertParams*>(ctx);
    const float* src = static_cast<const float*>(in->data);
    Out* dst = static_cast<Out*>(out->data);
    const uint64_t count = in->len * in->channels;
    constexpr float hi = std::is_same_v<Out, uint8_t> ? 255.0f : 65535.0f;
    const Consts k{_mm256_set1_ps(p.scale), _mm256_set1_ps(p.clip), _mm256_setzero_ps(), _mm256_set1_ps(hi)};
    if (p.clip >= 0.0f) run_values<true>(src, dst, count, k);
    else run_values<false>(src, dst, count, k);
}

}  // namespace

PointwiseRun convert_avx2_routine(int32_t in, int32_t out) {
    return float_to_integers_routine<&run_float<uint8_t>, &run_float<uint16_t>>(in, out);
}
#else
PointwiseRun convert_avx2_routine(int32_t, int32_t) { return nullptr; }
#endif

}  // namespace pyxa
