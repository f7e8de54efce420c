// "apply_profile_gain_table_map": a gain that depends on the pixel's position
// (a grid) and on its brightness (a table per grid point), interpolated
// trilinearly; rows are processed as three planar work rows.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <new>

#include "core/checked.hpp"
#include "core/isa.hpp"
#include "opcodes/entries.h"
#include "opcodes/float_math.hpp"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/isa_entries.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

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

// Brightness of one pixel, shaped (when Shaped: the gamma is not 1) and
// clamped to [0, 1]; NaN becomes 0. The shaped value is clamped again because
// a gamma of 0, below 0 or NaN takes a brightness of 0 to infinity or NaN.
template <bool Shaped>
inline float brightness(const GainTable& t, float r, float g, float b) {
    const float lo = std::min(r, std::min(g, b));
    const float hi = std::max(r, std::max(g, b));
    const float* w = t.weights;
    const float m = (w[0] * r + w[1] * g + w[2] * b + w[3] * lo + w[4] * hi) * t.exposure_gain;
    float v = m > 0.0f ? m : 0.0f;
    v = v < 1.0f ? v : 1.0f;
    if (Shaped) v = unit_clamp(std::pow(v, t.gamma));
    return v;
}

// The table of one grid point, interpolated at entries t0/t1 with fraction ft.
inline float table_at(const float* entry, int64_t t0, int64_t t1, float ft) {
    return entry[t0] + (entry[t1] - entry[t0]) * ft;
}

// Where each column falls on the grid, the same on every row: the offsets of
// its two grid columns' tables and its fraction between them.
struct ColumnTerms {
    std::unique_ptr<int64_t[]> first, second;
    std::unique_ptr<float[]> fraction;
};

bool column_terms(const GainTable& t, int64_t width, ColumnTerms* c) {
    c->first.reset(new (std::nothrow) int64_t[uint64_t(width)]);
    c->second.reset(new (std::nothrow) int64_t[uint64_t(width)]);
    c->fraction.reset(new (std::nothrow) float[uint64_t(width)]);
    if (!c->first || !c->second || !c->fraction) return false;
    const float width_f = float(width);
    for (int64_t x = 0; x < width; ++x) {
        const float h = ((float(x) + 0.5f) / width_f - t.origin_h) / t.spacing_h;
        const Axis col = grid_axis(h, t.points_h);
        c->first[x] = col.i0 * t.table_points;
        c->second[x] = col.i1 * t.table_points;
        c->fraction[x] = col.f;
    }
    return true;
}

// A row is handled in chunks of this many pixels, in three passes: the table
// entries and fraction of each pixel's brightness (in vector lanes), the four
// grid points' table values (scalar loads), and the blend and scaling (in
// vector lanes). Each pixel's arithmetic is unchanged.
constexpr int64_t kChunk = 256;

struct RowGrid {
    const float* top;     // the tables of the grid row above
    const float* bottom;  // and below
    float f;
};

// The two table entries and the fraction between them of each pixel's brightness.
template <bool Shaped>
void table_entries(const GainTable& t, const float* __restrict red, const float* __restrict green,
                   const float* __restrict blue, int64_t count, int64_t* __restrict t0s, int64_t* __restrict t1s,
                   float* __restrict fts) {
    const int64_t n = t.table_points;
    for (int64_t x = 0; x < count; ++x) {
        const float p = brightness<Shaped>(t, red[x], green[x], blue[x]) * float(n);
        int64_t t0 = int64_t(p);
        t0 = t0 < n - 1 ? t0 : n - 1;
        t0s[x] = t0;
        t1s[x] = t0 + 1 < n - 1 ? t0 + 1 : n - 1;
        fts[x] = p - float(t0);
    }
}

void process_chunk(const GainTable& t, const RowGrid& row, const int64_t* __restrict first,
                   const int64_t* __restrict second, const float* __restrict col_f, float* __restrict red,
                   float* __restrict green, float* __restrict blue, int64_t count) {
    int64_t t0s[kChunk], t1s[kChunk];
    float fts[kChunk], a[kChunk], b[kChunk], c[kChunk], d[kChunk];
    if (t.gamma != 1.0f) {
        table_entries<true>(t, red, green, blue, count, t0s, t1s, fts);
    } else {
        table_entries<false>(t, red, green, blue, count, t0s, t1s, fts);
    }
    for (int64_t x = 0; x < count; ++x) {
        a[x] = table_at(row.top + first[x], t0s[x], t1s[x], fts[x]);
        b[x] = table_at(row.top + second[x], t0s[x], t1s[x], fts[x]);
        c[x] = table_at(row.bottom + first[x], t0s[x], t1s[x], fts[x]);
        d[x] = table_at(row.bottom + second[x], t0s[x], t1s[x], fts[x]);
    }
    for (int64_t x = 0; x < count; ++x) {
        const float top = a[x] + (b[x] - a[x]) * col_f[x];
        const float bottom = c[x] + (d[x] - c[x]) * col_f[x];
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

void apply_rows(const ImageView& out, const GainTable& t, const ColumnTerms& cols, float* red, float* green,
                float* blue) {
    const int64_t width = int64_t(out.width);
    const float h_f = float(out.height);
    const int64_t row_len = int64_t(t.points_h) * t.table_points;
    auto* base = static_cast<unsigned char*>(out.data);
    for (uint64_t y = 0; y < out.height; ++y) {
        auto* px = reinterpret_cast<float*>(base + y * out.row_stride);
        split_row(px, red, green, blue, width);
        const float v = ((float(y) + 0.5f) / h_f - t.origin_v) / t.spacing_v;
        const Axis grid_row = grid_axis(v, t.points_v);
        const RowGrid row{t.gains + grid_row.i0 * row_len, t.gains + grid_row.i1 * row_len, grid_row.f};
        for (int64_t x = 0; x < width; x += kChunk) {
            const int64_t count = std::min(kChunk, width - x);
            process_chunk(t, row, cols.first.get() + x, cols.second.get() + x, cols.fraction.get() + x, red + x,
                          green + x, blue + x, count);
        }
        merge_row(px, red, green, blue, width);
    }
}

Status apply_table(const ImageView& out, const GainTable& t, pyxa::Isa isa) {
    const uint64_t width = out.width;
    uint64_t work = 0;
    if (!pyxa::checked_mul(width, 3, &work)) return pyxa::OUT_OF_MEMORY;
    std::unique_ptr<float[]> rows(new (std::nothrow) float[work == 0 ? 1 : work]);
    if (!rows) return pyxa::OUT_OF_MEMORY;
    ColumnTerms cols;
    if (!column_terms(t, int64_t(width), &cols)) return pyxa::OUT_OF_MEMORY;
    float* red = rows.get();
    pyxa::routine_for<apply_rows>(isa)(out, t, cols, red, red + width, red + 2 * width);
    return pyxa::OK;
}

Status run(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
           uint64_t output_count, const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[std::size(schemas::apply_profile_gain_table_map)];
    PYXA_TRY(check_schema(schemas::apply_profile_gain_table_map, items, item_count, slots));
    const ImageView* in = first_view(inputs, input_count);
    const ImageView* out = first_view(outputs, output_count);
    PYXA_TRY(check_scheme_a(in, out, 3));
    PYXA_TRY(copy_input_to_output(in, out));
    const GainTable t = read_params(slots);
    PYXA_TRY(check_table(*out, t));
    return apply_table(*out, t, isa);
}

}  // namespace
}  // namespace tarnimg

namespace tarnimg {

int32_t apply_profile_gain_table_map_with(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count,
                                          const ImageView* outputs, uint64_t output_count, const AttrItem* items,
                                          uint64_t item_count) {
    return guarded([&] { return run(isa, inputs, input_count, outputs, output_count, items, item_count); });
}

}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_apply_profile_gain_table_map) {
    return tarnimg::apply_profile_gain_table_map_with(pyxa::best_isa(), inputs, input_count, outputs, output_count,
                                                      items, item_count);
}
