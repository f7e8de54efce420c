// "apply_profile_gain_table_map": a gain that depends on the pixel's position
// (a grid) and on its brightness (a table per grid point), interpolated
// trilinearly; rows are processed as three planar work rows.
#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "core/checked.hpp"
#include "opcodes/entries.h"
#include "opcodes/float_math.hpp"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

constexpr ParamSpec kSchema[] = {
    {"gains", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
    {"points_v", TARNIMG_ATTR_INT32, 1, 0},
    {"points_h", TARNIMG_ATTR_INT32, 1, 0},
    {"spacing_v", TARNIMG_ATTR_FLOAT32, 1, 0},
    {"spacing_h", TARNIMG_ATTR_FLOAT32, 1, 0},
    {"origin_v", TARNIMG_ATTR_FLOAT32, 1, 0},
    {"origin_h", TARNIMG_ATTR_FLOAT32, 1, 0},
    {"num_table_points", TARNIMG_ATTR_INT32, 1, 0},
    {"weights", TARNIMG_ATTR_FLOAT32_ARRAY, 5, 0},
    {"gamma", TARNIMG_ATTR_FLOAT32, 1, 0},
    {"exposure_weight_gain", TARNIMG_ATTR_FLOAT32, 1, 0},
};

struct GainTable {
    const float* gains;
    uint64_t gain_count;
    int32_t points_v, points_h;
    float spacing_v, spacing_h, origin_v, origin_h;
    int32_t table_points;
    const float* weights;
    float gamma, exposure_gain;
};

GainTable read_params(const AttrItem* const (&s)[11]) {
    return {attr_f32s(s[0]), s[0]->count,     attr_i32(s[1]),  attr_i32(s[2]),  attr_f32(s[3]),  attr_f32(s[4]),
            attr_f32(s[5]),  attr_f32(s[6]),  attr_i32(s[7]),  attr_f32s(s[8]), attr_f32(s[9]), attr_f32(s[10])};
}

Status check_table(const ImageView& out, const GainTable& t) {
    if (out.data == nullptr || t.gains == nullptr || t.weights == nullptr) return pyxa::INVALID_ARGUMENT;
    if (out.dtype != kFloat32) return pyxa::UNSUPPORTED_DTYPE;
    if (out.channels != 3 || !float_rows_fit(out, 3)) return pyxa::INVALID_ARGUMENT;
    if (t.points_v < 1 || t.points_h < 1 || t.table_points < 1) return pyxa::INVALID_ARGUMENT;
    // Every table entry that the interpolation can reach must exist.
    uint64_t needed = 0;
    if (!pyxa::checked_mul(uint64_t(t.points_v), uint64_t(t.points_h), &needed) ||
        !pyxa::checked_mul(needed, uint64_t(t.table_points), &needed) || t.gain_count < needed ||
        needed > uint64_t(kFarPosition))
        return pyxa::INVALID_ARGUMENT;
    return pyxa::OK;
}

// Grid position of a coordinate: the lower line, the upper line and the
// fraction. The integer clamp covers grids beyond 2^24 lines, where the float
// limit rounds above the last line.
struct Axis {
    int64_t i0, i1;
    float f;
};

inline Axis grid_axis(float coord, int32_t points) {
    const int64_t last = int64_t(points) - 1;
    const float c = coord >= 0.0f ? std::min(coord, float(last)) : 0.0f;
    int64_t i0 = int64_t(c);
    i0 = i0 < last ? i0 : last;
    const int64_t i1 = i0 + 1 < last ? i0 + 1 : last;
    return {i0, i1, c - float(i0)};
}

// Brightness of one pixel, shaped and clamped to [0, 1]; NaN becomes 0. The
// shaped value is clamped again because a gamma of 0, below 0 or NaN takes a
// brightness of 0 to infinity or NaN.
inline float brightness(const GainTable& t, float r, float g, float b) {
    const float lo = std::min(r, std::min(g, b));
    const float hi = std::max(r, std::max(g, b));
    const float* w = t.weights;
    const float m = (w[0] * r + w[1] * g + w[2] * b + w[3] * lo + w[4] * hi) * t.exposure_gain;
    float v = m > 0.0f ? m : 0.0f;
    v = v < 1.0f ? v : 1.0f;
    if (t.gamma != 1.0f) v = unit_clamp(std::pow(v, t.gamma));
    return v;
}

// The table of one grid point, interpolated at entries t0/t1 with fraction ft.
inline float table_at(const float* entry, int64_t t0, int64_t t1, float ft) {
    return entry[t0] + (entry[t1] - entry[t0]) * ft;
}

void process_row(const GainTable& t, float* __restrict red, float* __restrict green, float* __restrict blue,
                 int64_t width, float width_f, const Axis& row) {
    const int64_t n = t.table_points;
    const int64_t ph = t.points_h;
    for (int64_t x = 0; x < width; ++x) {
        const float h = ((float(x) + 0.5f) / width_f - t.origin_h) / t.spacing_h;
        const Axis col = grid_axis(h, t.points_h);
        const float p = brightness(t, red[x], green[x], blue[x]) * float(n);
        int64_t t0 = int64_t(p);
        t0 = t0 < n - 1 ? t0 : n - 1;
        const int64_t t1 = t0 + 1 < n - 1 ? t0 + 1 : n - 1;
        const float ft = p - float(t0);
        const float a = table_at(t.gains + (row.i0 * ph + col.i0) * n, t0, t1, ft);
        const float b = table_at(t.gains + (row.i0 * ph + col.i1) * n, t0, t1, ft);
        const float c = table_at(t.gains + (row.i1 * ph + col.i0) * n, t0, t1, ft);
        const float d = table_at(t.gains + (row.i1 * ph + col.i1) * n, t0, t1, ft);
        const float top = a + (b - a) * col.f;
        const float bottom = c + (d - c) * col.f;
        const float gain = top + (bottom - top) * row.f;
        red[x] = unit_clamp(gain * red[x]);
        green[x] = unit_clamp(gain * green[x]);
        blue[x] = unit_clamp(gain * blue[x]);
    }
}

void split_row(const float* __restrict px, float* __restrict r, float* __restrict g, float* __restrict b,
               int64_t width) {
    for (int64_t x = 0; x < width; ++x) {
        r[x] = px[3 * x];
        g[x] = px[3 * x + 1];
        b[x] = px[3 * x + 2];
    }
}

void merge_row(float* __restrict px, const float* __restrict r, const float* __restrict g,
               const float* __restrict b, int64_t width) {
    for (int64_t x = 0; x < width; ++x) {
        px[3 * x] = r[x];
        px[3 * x + 1] = g[x];
        px[3 * x + 2] = b[x];
    }
}

Status apply_table(const ImageView& out, const GainTable& t) {
    const uint64_t width = out.width;
    uint64_t work = 0;
    if (!pyxa::checked_mul(width, 3, &work)) return pyxa::OUT_OF_MEMORY;
    std::unique_ptr<float[]> rows(new (std::nothrow) float[work == 0 ? 1 : work]);
    if (!rows) return pyxa::OUT_OF_MEMORY;
    float* red = rows.get();
    float* green = red + width;
    float* blue = green + width;
    const float h_f = float(out.height);
    const float w_f = float(width);
    auto* base = static_cast<unsigned char*>(out.data);
    for (uint64_t y = 0; y < out.height; ++y) {
        auto* px = reinterpret_cast<float*>(base + y * out.row_stride);
        split_row(px, red, green, blue, int64_t(width));
        const float v = ((float(y) + 0.5f) / h_f - t.origin_v) / t.spacing_v;
        process_row(t, red, green, blue, int64_t(width), w_f, grid_axis(v, t.points_v));
        merge_row(px, red, green, blue, int64_t(width));
    }
    return pyxa::OK;
}

Status run(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, uint64_t output_count,
           const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[11];
    PYXA_TRY(check_schema(kSchema, items, item_count, slots));
    const ImageView* in = first_view(inputs, input_count);
    const ImageView* out = first_view(outputs, output_count);
    PYXA_TRY(check_scheme_a(in, out, 3));
    PYXA_TRY(copy_input_to_output(in, out));
    const GainTable t = read_params(slots);
    PYXA_TRY(check_table(*out, t));
    return apply_table(*out, t);
}

}  // namespace
}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_apply_profile_gain_table_map) {
    return tarnimg::guarded([&] { return tarnimg::run(inputs, input_count, outputs, output_count, items, item_count); });
}
