// Type conversion with scaling and an optional upper clip, one routine per
// (input, output) pair of uint8, uint16 and float32.
#include <type_traits>

#include "kernels/pointwise/convert_avx2.hpp"
#include "kernels/pointwise/element_io.hpp"
#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "kernels/pointwise/type_pairs.hpp"

namespace pyxa {
namespace {

template <typename In, typename Out>
struct Convert {
    static void run(void* ctx, const PixelRun* in, const PixelRun* out) {
        const ConvertParams& p = *static_cast<const ConvertParams*>(ctx);
        const uint64_t n = in->len * in->channels;
        const In* __restrict src = static_cast<const In*>(in->data);
        Out* __restrict dst = static_cast<Out*>(out->data);
        const float scale = p.scale;
        const float clip = p.clip;
        if constexpr (std::is_same_v<Out, float>) {
            // No integer clamp follows: one plain loop is the fastest form.
            if (clip < 0.0f) {
                for (uint64_t i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]) * scale;
                return;
            }
            for (uint64_t i = 0; i < n; ++i) {
                const float y = static_cast<float>(src[i]) * scale;
                dst[i] = y <= clip ? y : clip;  // NaN takes the clip
            }
        } else {
            alignas(64) float v[kStoreBlock];
            for (uint64_t i0 = 0; i0 < n; i0 += kStoreBlock) {
                const uint64_t m = n - i0 < kStoreBlock ? n - i0 : kStoreBlock;
                const In* s = src + i0;
                for (uint64_t j = 0; j < m; ++j) v[j] = static_cast<float>(s[j]) * scale;
                if (clip >= 0.0f)
                    for (uint64_t j = 0; j < m; ++j) v[j] = v[j] <= clip ? v[j] : clip;
                store_block(v, m, dst + i0);
            }
        }
    }
};

}  // namespace

PointwiseRun convert_dtype_routine(int32_t in, int32_t out, Isa isa) {
    const PointwiseRun fused = runs_avx2(isa) ? convert_avx2_routine(in, out) : nullptr;
    return fused != nullptr ? fused : pick_type_pair(kTypePairs<Convert>, in, out, isa);
}

}  // namespace pyxa
