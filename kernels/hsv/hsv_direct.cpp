// Direct routines: per pixel, hue/saturation/value, interpolation of the
// prepared fixed-point map (bilinear, or trilinear with value divisions) and
// the conversion back to RGB.
#include "kernels/hsv/hsv_color.hpp"
#include "kernels/hsv/hsv_routines.hpp"

namespace pyxa {
namespace {

template <bool WithValue>
void hsv_direct(void* ctx, const PixelRun* in, const PixelRun* out) {
    const HueSatMapParams& p = *static_cast<const HueSatMapParams*>(ctx);
    const float* __restrict src = static_cast<const float*>(in->data);
    float* __restrict dst = static_cast<float*>(out->data);
    const int32_t hues = p.hue_size, sats = p.sat_size, vals = p.val_size;
    const int64_t slab = (static_cast<int64_t>(hues) + 1) * sats * 4;
    const float hf = hue_factor(hues);
    const float sat_span = static_cast<float>(sats - 1);
    const float val_span = static_cast<float>(vals - 1);
    for (uint64_t i = 0; i < in->len; ++i) {
        const Hsv c = rgb_to_hsv(src[3 * i], src[3 * i + 1], src[3 * i + 2]);
        const float u = hf * c.hue, o = c.sat * sat_span;
        // Indices are clamped at 0 too: a negative maximum gives a negative
        // saturation coordinate, which must not index before the map.
        const int32_t hi = cell_index(u, hues - 1), si = cell_index(o, sats - 2);
        const float fh = u - static_cast<float>(hi), fs = o - static_cast<float>(si);
        MapPoint m;
        if constexpr (!WithValue) {
            m = map_bilinear(p.data.data(), sats, hi, fh, si, fs);
        } else {
            const float t = c.val * val_span;
            const int32_t vi = cell_index(t, vals - 2);
            const float fv = t - static_cast<float>(vi);
            const MapPoint a = map_bilinear(p.data.data() + vi * slab, sats, hi, fh, si, fs);
            const MapPoint b = map_bilinear(p.data.data() + (vi + 1) * slab, sats, hi, fh, si, fs);
            m.hue_shift = (1.0f - fv) * a.hue_shift + fv * b.hue_shift;
            m.sat_scale = (1.0f - fv) * a.sat_scale + fv * b.sat_scale;
            m.val_scale = (1.0f - fv) * a.val_scale + fv * b.val_scale;
        }
        adjust_to_rgb(c, m, dst + 3 * i);
    }
}

}  // namespace

PointwiseRun hsv_direct_routine(bool with_value) {
    return with_value ? hsv_direct<true> : hsv_direct<false>;
}

}  // namespace pyxa
