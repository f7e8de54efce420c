// "fix_vignette": brightens a float32 image of any channel count by a radial
// polynomial gain around the optical centre, clamping samples to [0, 1].
#include <algorithm>
#include <iterator>
#include <memory>
#include <new>

#include "core/isa.hpp"
#include "opcodes/entries.h"
#include "opcodes/float_math.hpp"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/isa_entries.hpp"
#include "opcodes/lens_geometry.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

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

// Rows are handled in chunks of this many pixels: a pass forms the chunk's
// gains, then a pass scales its samples, each a plain loop.
constexpr int64_t kChunk = 256;

// 1 + k0 s + k1 s^2 + ... over the first Terms coefficients, in double, for
// n pixels whose distances from the centre over the radius are d (this row's
// dy is shared).
template <uint64_t Terms>
void radial_gains(const double* __restrict k, const double* __restrict d, double dy, int64_t n,
                  float* __restrict gains) {
    for (int64_t x = 0; x < n; ++x) {
        const double s = d[x] * d[x] + dy * dy;
        double gain = 1.0;
        double power = s;
        for (uint64_t i = 0; i < Terms; ++i) {
            gain += k[i] * power;
            power *= s;
        }
        gains[x] = float(gain);
    }
}

void scale_samples(float* __restrict px, uint64_t channels, const float* __restrict gains, int64_t n) {
    if (channels == 1) {
        for (int64_t x = 0; x < n; ++x) px[x] = unit_clamp(px[x] * gains[x]);
        return;
    }
    for (int64_t x = 0; x < n; ++x) {
        float* pixel = px + uint64_t(x) * channels;
        for (uint64_t c = 0; c < channels; ++c) pixel[c] = unit_clamp(pixel[c] * gains[x]);
    }
}

// d holds each column's distance from the centre over the radius, the same
// on every row.
template <uint64_t Terms>
void apply_rows(const ImageView& out, const double* k, const LensGeometry& g, const double* d) {
    const uint64_t channels = out.channels;
    const int64_t width = int64_t(out.width);
    float gains[kChunk];
    auto* base = static_cast<unsigned char*>(out.data);
    for (uint64_t y = 0; y < out.height; ++y) {
        auto* row = reinterpret_cast<float*>(base + y * out.row_stride);
        const double dy = (double(y) - g.cy) / g.radius;
        for (int64_t x = 0; x < width; x += kChunk) {
            const int64_t n = std::min(kChunk, width - x);
            radial_gains<Terms>(k, d + x, dy, n, gains);
            scale_samples(row + uint64_t(x) * channels, channels, gains, n);
        }
    }
}

using ApplyRows = void (*)(const ImageView&, const double*, const LensGeometry&, const double*);

// The rows' routine for a term count, in the copy for the instruction set.
ApplyRows rows_for(uint64_t terms, pyxa::Isa isa) {
    switch (terms) {
        case 1: return pyxa::routine_for<apply_rows<1>>(isa);
        case 2: return pyxa::routine_for<apply_rows<2>>(isa);
        case 3: return pyxa::routine_for<apply_rows<3>>(isa);
        case 4: return pyxa::routine_for<apply_rows<4>>(isa);
        default: return pyxa::routine_for<apply_rows<5>>(isa);
    }
}

Status apply_vignette(const ImageView& out, const double* k, uint64_t terms, double center_x, double center_y,
                      pyxa::Isa isa) {
    const LensGeometry g = lens_geometry(out.height, out.width, center_x, center_y);
    std::unique_ptr<double[]> d(new (std::nothrow) double[out.width]);
    if (!d) return pyxa::OUT_OF_MEMORY;
    for (uint64_t x = 0; x < out.width; ++x) d[x] = (double(x) - g.cx) / g.radius;
    rows_for(terms, isa)(out, k, g, d.get());
    return pyxa::OK;
}

Status run(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
           uint64_t output_count, const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[std::size(schemas::fix_vignette)];
    PYXA_TRY(check_schema(schemas::fix_vignette, items, item_count, slots));
    PYXA_TRY(check_scheme_b(inputs, input_count, outputs, output_count, SchemeB::SameImage));
    PYXA_TRY(copy_input_to_output(inputs, outputs));
    PYXA_TRY(check_vignette(*outputs, *slots[0]));
    const uint64_t terms = slots[0]->count < kMaxTerms ? slots[0]->count : kMaxTerms;
    return apply_vignette(*outputs, attr_f64s(slots[0]), terms, attr_f64(slots[1]), attr_f64(slots[2]), isa);
}

}  // namespace
}  // namespace tarnimg

namespace tarnimg {

int32_t fix_vignette_with(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
                          uint64_t output_count, const AttrItem* items, uint64_t item_count) {
    return guarded([&] { return run(isa, inputs, input_count, outputs, output_count, items, item_count); });
}

}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_fix_vignette) {
    return tarnimg::fix_vignette_with(pyxa::best_isa(), inputs, input_count, outputs, output_count, items,
                                      item_count);
}
