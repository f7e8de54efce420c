// Type conversion with scaling and an optional upper clip, one routine per
// (input, output) pair of uint8, uint16 and float32.
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
        if (clip < 0.0f) {
            for (uint64_t i = 0; i < n; ++i) dst[i] = store_element<Out>(static_cast<float>(src[i]) * scale);
            return;
        }
        for (uint64_t i = 0; i < n; ++i) {
            const float y = static_cast<float>(src[i]) * scale;
            dst[i] = store_element<Out>(y <= clip ? y : clip);  // NaN takes the clip
        }
    }
};

}  // namespace

PointwiseRun convert_dtype_routine(int32_t in, int32_t out, Isa isa) {
    return pick_type_pair(kTypePairs<Convert>, in, out, isa);
}

}  // namespace pyxa
