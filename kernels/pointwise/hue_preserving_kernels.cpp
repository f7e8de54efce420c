// Colour transform that applies its input table to the largest and smallest
// channel and rebuilds the middle one, so the pixel keeps its hue. float32
// input only.
#include "kernels/pointwise/element_io.hpp"
#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "kernels/pointwise/type_pairs.hpp"

namespace pyxa {
namespace {

// Applies the table to hi and lo and interpolates mid between them. The roles
// follow fixed comparisons of (r, g, b) so that ties always resolve the same way.
inline void keep_hue(const LookupTable& t, float pos_scale, float& r, float& g, float& b) {
    float* hi;
    float* mid;
    float* lo;
    if (r >= g) {
        if (g > b) { hi = &r; mid = &g; lo = &b; }
        else if (r < b) { hi = &b; mid = &r; lo = &g; }
        else { hi = &r; mid = &b; lo = &g; }
    } else {
        if (r >= b) { hi = &g; mid = &r; lo = &b; }
        else if (g < b) { hi = &b; mid = &g; lo = &r; }
        else { hi = &g; mid = &b; lo = &r; }
    }
    const float h = *hi, m = *mid, l = *lo;
    const float h2 = table_lookup(t.data(), t.last, pos_scale * h);
    const float l2 = table_lookup(t.data(), t.last, pos_scale * l);
    const float m2 = (h - l > 1e-10f) ? l2 + (h2 - l2) * (m - l) / (h - l) : l2;
    *hi = h2;
    *mid = m2;
    *lo = l2;
}

template <bool Matrix, bool OutTable>
struct HuePreserving {
    template <typename Out>
    static void run(void* ctx, const PixelRun* in, const PixelRun* out) {
        const TransformColorParams& p = *static_cast<const TransformColorParams*>(ctx);
        const float* __restrict src = static_cast<const float*>(in->data);
        Out* __restrict dst = static_cast<Out*>(out->data);
        const float* m = p.m;
        for (uint64_t i = 0; i < in->len; ++i) {
            float y[3] = {clamp01(src[3 * i]), clamp01(src[3 * i + 1]), clamp01(src[3 * i + 2])};
            keep_hue(p.in_table, p.in_pos_scale, y[0], y[1], y[2]);
            for (int k = 0; k < 3; ++k) {
                float z = y[k];
                if constexpr (Matrix) z = m[3 * k] * y[0] + m[3 * k + 1] * y[1] + m[3 * k + 2] * y[2];
                float r;
                if constexpr (OutTable) r = table_lookup(p.out_table.data(), p.out_table.last, z);
                else r = clamp01(z);
                dst[3 * i + k] = store_element<Out>(p.out_scale * r);
            }
        }
    }
};

template <bool Matrix, bool OutTable>
constexpr PointwiseRun kByOutput[3] = {HuePreserving<Matrix, OutTable>::template run<uint8_t>,
                                       HuePreserving<Matrix, OutTable>::template run<uint16_t>,
                                       HuePreserving<Matrix, OutTable>::template run<float>};

}  // namespace

// With a matrix: any output type, with or without an output table. Without a
// matrix: float32 output and no output table only.
PointwiseRun hue_preserving_routine(int32_t out, TransformShape s) {
    const int o = pointwise_type_index(out);
    if (!s.in_table || o < 0) return nullptr;
    if (s.matrix) return s.out_table ? kByOutput<true, true>[o] : kByOutput<true, false>[o];
    return (!s.out_table && out == FLOAT32) ? kByOutput<false, false>[o] : nullptr;
}

}  // namespace pyxa
