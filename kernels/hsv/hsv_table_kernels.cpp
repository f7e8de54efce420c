// Table routines: per pixel, one interpolation of the precomputed colour table
// (bilinear on the face of the largest channel, trilinear with value levels),
// scaled by the pixel's adjusted value.
#include "kernels/hsv/hsv_color.hpp"
#include "kernels/hsv/hsv_routines.hpp"

namespace pyxa {
namespace {

template <bool WithValue>
void hsv_table(void* ctx, const PixelRun* in, const PixelRun* out) {
    const HueSatMapParams& p = *static_cast<const HueSatMapParams*>(ctx);
    const float* __restrict src = static_cast<const float*>(in->data);
    float* __restrict dst = static_cast<float*>(out->data);
    const int32_t n = p.hue_size, vals = WithValue ? p.val_size : 1;
    const float span = static_cast<float>(n - 1);
    const float val_span = static_cast<float>(vals - 1);
    const int64_t row = static_cast<int64_t>(n) * vals * 4;  // one i step
    const int64_t col = static_cast<int64_t>(vals) * 4;      // one j step
    for (uint64_t i = 0; i < in->len; ++i) {
        const float r = src[3 * i], g = src[3 * i + 1], b = src[3 * i + 2];
        int face;
        float x1, x2, m;
        if (r >= g && r >= b) { face = 0; m = r; x1 = g; x2 = b; }
        else if (g >= b) { face = 1; m = g; x1 = r; x2 = b; }
        else { face = 2; m = b; x1 = r; x2 = g; }
        const float inv = 1.0f / (m > 1e-20f ? m : 1e-20f);
        const float a1 = x1 * inv * span, a2 = x2 * inv * span;
        const int32_t i1 = cell_index(a1, n - 2), i2 = cell_index(a2, n - 2);
        const float f1 = a1 - static_cast<float>(i1), f2 = a2 - static_cast<float>(i2);
        int32_t li = 0;
        float fv = 0.0f;
        if constexpr (WithValue) {
            const float t = m * val_span;
            li = cell_index(t, vals - 2);
            fv = t - static_cast<float>(li);
        }
        const int16_t* e = p.data.data() + face * n * row + i1 * row + i2 * col + li * 4;
        float c[4];
        for (int k = 0; k < 4; ++k) {
            float lo = (1.0f - f1) * ((1.0f - f2) * e[k] + f2 * e[col + k]) +
                       f1 * ((1.0f - f2) * e[row + k] + f2 * e[row + col + k]);
            if constexpr (WithValue) {
                const int16_t* u = e + 4;
                const float up = (1.0f - f1) * ((1.0f - f2) * u[k] + f2 * u[col + k]) +
                                 f1 * ((1.0f - f2) * u[row + k] + f2 * u[row + col + k]);
                lo = (1.0f - fv) * lo + fv * up;
            }
            c[k] = lo * kHsvInvUnit;
        }
        float v = m * c[3];
        v = v < 1.0f ? v : 1.0f;
        v = v > 0.0f ? v : 0.0f;
        for (int k = 0; k < 3; ++k) dst[3 * i + k] = v * c[k];
    }
}

}  // namespace

PointwiseRun hsv_table_routine(bool with_value) {
    return with_value ? hsv_table<true> : hsv_table<false>;
}

}  // namespace pyxa
