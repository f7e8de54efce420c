// "fix_vignette": brightens a float32 image of any channel count by a radial
// polynomial gain around the optical centre, clamping samples to [0, 1].
#include "opcodes/entries.h"
#include "opcodes/float_math.hpp"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/lens_geometry.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

constexpr ParamSpec kSchema[] = {
    {"params", TARNIMG_ATTR_FLOAT64_ARRAY, 0, 0},
    {"center_x", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"center_y", TARNIMG_ATTR_FLOAT64, 1, 0},
};

constexpr uint64_t kMaxTerms = 5;

Status check_vignette(const ImageView& out, const AttrItem& params) {
    // The count is read as a signed 32-bit value, as the parameter list's
    // producers hand it over; anything below 1 there is refused.
    if (out.data == nullptr || params.value.ptr == nullptr || int32_t(uint32_t(params.count)) < 1)
        return pyxa::INVALID_ARGUMENT;
    if (out.dtype != kFloat32) return pyxa::UNSUPPORTED_DTYPE;
    if (!float_rows_fit(out, out.channels)) return pyxa::INVALID_ARGUMENT;
    return pyxa::OK;
}

// 1 + k0 s + k1 s^2 + ... over the first `terms` coefficients, in double.
inline float radial_gain(const double* k, uint64_t terms, double s) {
    double gain = 1.0;
    double power = s;
    for (uint64_t i = 0; i < terms; ++i) {
        gain += k[i] * power;
        power *= s;
    }
    return float(gain);
}

void scale_pixels(float* __restrict px, uint64_t channels, float gain) {
    for (uint64_t c = 0; c < channels; ++c) px[c] = unit_clamp(px[c] * gain);
}

void apply_vignette(const ImageView& out, const double* k, uint64_t terms, double center_x, double center_y) {
    const LensGeometry g = lens_geometry(out.height, out.width, center_x, center_y);
    const uint64_t channels = out.channels;
    auto* base = static_cast<unsigned char*>(out.data);
    for (uint64_t y = 0; y < out.height; ++y) {
        auto* row = reinterpret_cast<float*>(base + y * out.row_stride);
        const double dy = (double(y) - g.cy) / g.radius;
        for (uint64_t x = 0; x < out.width; ++x) {
            const double dx = (double(x) - g.cx) / g.radius;
            const float gain = radial_gain(k, terms, dx * dx + dy * dy);
            scale_pixels(row + x * channels, channels, gain);
        }
    }
}

Status run(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, uint64_t output_count,
           const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[3];
    PYXA_TRY(check_schema(kSchema, items, item_count, slots));
    PYXA_TRY(check_scheme_b(inputs, input_count, outputs, output_count, SchemeB::SameImage));
    PYXA_TRY(copy_input_to_output(inputs, outputs));
    PYXA_TRY(check_vignette(*outputs, *slots[0]));
    const uint64_t terms = slots[0]->count < kMaxTerms ? slots[0]->count : kMaxTerms;
    apply_vignette(*outputs, attr_f64s(slots[0]), terms, attr_f64(slots[1]), attr_f64(slots[2]));
    return pyxa::OK;
}

}  // namespace
}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_fix_vignette) {
    return tarnimg::guarded([&] { return tarnimg::run(inputs, input_count, outputs, output_count, items, item_count); });
}
