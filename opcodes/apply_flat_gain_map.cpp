// "apply_flat_gain_map": a plain gain grid spread over the whole of a
// single-channel float32 image, bilinear inside and extrapolated past the last
// grid row and column, without clamping.
#include <cmath>

#include "core/checked.hpp"
#include "opcodes/entries.h"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

constexpr ParamSpec kSchema[] = {
    {"gain_map", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
    {"gain_h", TARNIMG_ATTR_INT32, 1, 0},
    {"gain_w", TARNIMG_ATTR_INT32, 1, 0},
};

struct FlatMap {
    const float* gains;
    uint64_t count;
    int32_t rows, cols;
};

Status check_flat(const ImageView& out, const FlatMap& m) {
    if (out.data == nullptr || m.gains == nullptr || m.rows < 2 || m.cols < 2) return pyxa::INVALID_ARGUMENT;
    if (out.dtype != kFloat32) return pyxa::UNSUPPORTED_DTYPE;
    if (!float_rows_fit(out, 1) || out.channels != 1 || out.height < 1 || out.width < 1)
        return pyxa::INVALID_ARGUMENT;
    // The grid must hold every entry the interpolation can reach.
    uint64_t needed = 0;
    if (!pyxa::checked_mul(uint64_t(m.rows), uint64_t(m.cols), &needed) || m.count < needed)
        return pyxa::INVALID_ARGUMENT;
    return pyxa::OK;
}

// Grid cell and fraction of an image position; the last cell continues past
// the last grid line. g is never negative; the integer limit guards grids whose
// last line a float cannot hold exactly (above 2^24).
inline void cell_of(float g, int32_t points, int64_t* cell, float* frac) {
    const int64_t last_cell = int64_t(points) - 2;
    int64_t i = g < float(points - 1) ? int64_t(std::floor(g)) : last_cell;
    i = i < last_cell ? i : last_cell;
    *cell = i;
    *frac = g - float(i);
}

void scale_row(float* __restrict row, const float* __restrict top_line, const float* __restrict bottom_line,
               float fy, float scale_w, int32_t cols, int64_t width) {
    for (int64_t x = 0; x < width; ++x) {
        int64_t ix;
        float fx;
        cell_of(scale_w * float(x), cols, &ix, &fx);
        const float top = (1.0f - fx) * top_line[ix] + fx * top_line[ix + 1];
        const float bottom = (1.0f - fx) * bottom_line[ix] + fx * bottom_line[ix + 1];
        row[x] = row[x] * (top * (1.0f - fy) + bottom * fy);
    }
}

void apply_flat(const ImageView& out, const FlatMap& m) {
    const float scale_h = float(m.rows) / float(out.height);
    const float scale_w = float(m.cols) / float(out.width);
    auto* base = static_cast<unsigned char*>(out.data);
    for (uint64_t y = 0; y < out.height; ++y) {
        int64_t iy;
        float fy;
        cell_of(scale_h * float(y), m.rows, &iy, &fy);
        const float* top_line = m.gains + iy * m.cols;
        auto* row = reinterpret_cast<float*>(base + y * out.row_stride);
        scale_row(row, top_line, top_line + m.cols, fy, scale_w, m.cols, int64_t(out.width));
    }
}

Status run(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, uint64_t output_count,
           const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[3];
    PYXA_TRY(check_schema(kSchema, items, item_count, slots));
    const ImageView* in = first_view(inputs, input_count);
    const ImageView* out = first_view(outputs, output_count);
    PYXA_TRY(check_scheme_a(in, out, 1));
    PYXA_TRY(copy_input_to_output(in, out));
    const FlatMap m{attr_f32s(slots[0]), slots[0]->count, attr_i32(slots[1]), attr_i32(slots[2])};
    PYXA_TRY(check_flat(*out, m));
    apply_flat(*out, m);
    return pyxa::OK;
}

}  // namespace
}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_apply_flat_gain_map) {
    return tarnimg::guarded([&] { return tarnimg::run(inputs, input_count, outputs, output_count, items, item_count); });
}
