// "map_polynomial": replaces selected samples of a float32 image by a
// polynomial of their value, point-symmetric about (0, c0) for negative
// samples, clamped to [-1, 1].
#include <iterator>

#include "core/checked.hpp"
#include "opcodes/area.hpp"
#include "opcodes/entries.h"
#include "opcodes/float_math.hpp"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

constexpr auto& kSchema = schemas::map_polynomial;

struct PolyParams {
    Area area;
    const float* coeffs;
    uint64_t coeff_count;
    int32_t degree;
};

PolyParams read_params(const AttrItem* const (&s)[std::size(kSchema)]) {
    return {read_area(s), attr_f32s(s[8]), s[8]->count, attr_i32(s[9])};
}

Status check_poly(const ImageView& out, const PolyParams& p) {
    if (out.data == nullptr || p.coeffs == nullptr) return pyxa::INVALID_ARGUMENT;
    if (p.degree < 0) return pyxa::INVALID_ARGUMENT;
    if (out.dtype != kFloat32) return pyxa::UNSUPPORTED_DTYPE;
    if (!float_rows_fit(out, out.channels) || (out.channels != 1 && out.channels != 3))
        return pyxa::INVALID_ARGUMENT;
    PYXA_TRY(check_area(p.area, out));
    // The mapping reads only the coefficients the caller gave.
    if (p.coeff_count < uint64_t(p.degree) + 1) return pyxa::INVALID_ARGUMENT;
    return pyxa::OK;
}

// c0 + s for v >= 0 and c0 - s for v < 0, with s = c1 |v| + c2 |v|^2 + ...;
// the same s on both sides keeps the curve exactly point-symmetric.
inline float polynomial(const float* __restrict c, int32_t degree, float v) {
    float r = c[0];
    if (degree > 0) {
        const float a = v < 0.0f ? -v : v;
        float sum = 0.0f;
        float power = a;
        for (int32_t i = 1; i <= degree; ++i) {
            sum += c[i] * power;
            power *= a;
        }
        r = v < 0.0f ? c[0] - sum : c[0] + sum;
    }
    r = r > 1.0f ? 1.0f : r;
    return r < -1.0f ? -1.0f : r;
}

void map_row(float* __restrict row, int64_t first, int64_t end, int64_t pitch, int64_t channels,
             const float* __restrict c, int32_t degree) {
    for (int64_t x = first; x < end; x += pitch) row[x * channels] = polynomial(c, degree, row[x * channels]);
}

// The common case of every sample of a row in turn, with the degree fixed so
// that the loop over the terms unrolls and the one over the samples runs in
// vector lanes; same operations per sample as polynomial().
template <int32_t Degree>
void map_packed(float* __restrict row, int64_t n, const float* __restrict c) {
    for (int64_t x = 0; x < n; ++x) row[x] = polynomial(c, Degree, row[x]);
}

using PackedMap = void (*)(float*, int64_t, const float*);

// The packed routine for a degree, or null for degrees above 8 (the general
// loop handles them).
PackedMap packed_for(int32_t degree) {
    switch (degree) {
        case 0: return map_packed<0>;
        case 1: return map_packed<1>;
        case 2: return map_packed<2>;
        case 3: return map_packed<3>;
        case 4: return map_packed<4>;
        case 5: return map_packed<5>;
        case 6: return map_packed<6>;
        case 7: return map_packed<7>;
        case 8: return map_packed<8>;
        default: return nullptr;
    }
}

void apply_poly(const ImageView& out, const PolyParams& p) {
    const int64_t channels = int64_t(out.channels);
    const AreaSpan a = area_span(p.area, out);
    const PackedMap packed = (channels == 1 && a.col_pitch == 1) ? packed_for(p.degree) : nullptr;
    auto* base = static_cast<unsigned char*>(out.data);
    for (int64_t plane = a.plane0; plane < a.plane1; ++plane) {
        for (int64_t y = a.y0; y < a.y1; y += a.row_pitch) {
            auto* row = reinterpret_cast<float*>(base + uint64_t(y) * out.row_stride) + plane;
            if (packed != nullptr) {
                packed(row + a.x0, a.x1 - a.x0, p.coeffs);
            } else {
                map_row(row, a.x0, a.x1, a.col_pitch, channels, p.coeffs, p.degree);
            }
        }
    }
}

Status run(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, uint64_t output_count,
           const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[std::size(kSchema)];
    PYXA_TRY(check_schema(kSchema, items, item_count, slots));
    PYXA_TRY(check_scheme_b(inputs, input_count, outputs, output_count, SchemeB::SameImage));
    PYXA_TRY(copy_input_to_output(inputs, outputs));
    const PolyParams p = read_params(slots);
    PYXA_TRY(check_poly(*outputs, p));
    apply_poly(*outputs, p);
    return pyxa::OK;
}

}  // namespace
}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_map_polynomial) {
    return tarnimg::guarded([&] { return tarnimg::run(inputs, input_count, outputs, output_count, items, item_count); });
}
