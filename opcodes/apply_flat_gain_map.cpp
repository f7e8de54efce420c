// "apply_flat_gain_map": a plain gain grid spread over the whole of a
// single-channel float32 image, bilinear inside and extrapolated past the last
// grid row and column, without clamping.
#include <cmath>
#include <iterator>
#include <memory>
#include <new>

#include "core/checked.hpp"
#include "opcodes/entries.h"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

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

// The columns of one grid cell: they share the cell's two grid entries.
struct ColumnRun {
    int64_t cell, begin, end;
};

// The per-column part of the interpolation, the same on every row: each
// column's fraction, and the runs of columns that fall in one cell.
struct ColumnTerms {
    std::unique_ptr<float[]> frac;
    std::unique_ptr<ColumnRun[]> runs;
    int64_t run_count = 0;
};

bool column_terms(float scale_w, int32_t cols, int64_t width, ColumnTerms* t) {
    t->frac.reset(new (std::nothrow) float[uint64_t(width)]);
    t->runs.reset(new (std::nothrow) ColumnRun[uint64_t(width)]);
    if (!t->frac || !t->runs) return false;
    for (int64_t x = 0; x < width; ++x) {
        int64_t ix;
        cell_of(scale_w * float(x), cols, &ix, &t->frac[x]);
        if (t->run_count > 0 && t->runs[t->run_count - 1].cell == ix) {
            t->runs[t->run_count - 1].end = x + 1;
        } else {
            t->runs[t->run_count++] = {ix, x, x + 1};
        }
    }
    return true;
}

// One cell's columns of a row: the per-pixel arithmetic is unchanged, only
// the grid entries are read once per cell instead of once per pixel.
void scale_run(float* __restrict row, const float* __restrict frac, int64_t n, float t0, float t1, float b0,
               float b1, float fy) {
    for (int64_t x = 0; x < n; ++x) {
        const float fx = frac[x];
        const float top = (1.0f - fx) * t0 + fx * t1;
        const float bottom = (1.0f - fx) * b0 + fx * b1;
        row[x] = row[x] * (top * (1.0f - fy) + bottom * fy);
    }
}

Status apply_flat(const ImageView& out, const FlatMap& m) {
    const float scale_h = float(m.rows) / float(out.height);
    const float scale_w = float(m.cols) / float(out.width);
    ColumnTerms cols;
    if (!column_terms(scale_w, m.cols, int64_t(out.width), &cols)) return pyxa::OUT_OF_MEMORY;
    auto* base = static_cast<unsigned char*>(out.data);
    for (uint64_t y = 0; y < out.height; ++y) {
        int64_t iy;
        float fy;
        cell_of(scale_h * float(y), m.rows, &iy, &fy);
        const float* top_line = m.gains + iy * m.cols;
        const float* bottom_line = top_line + m.cols;
        auto* row = reinterpret_cast<float*>(base + y * out.row_stride);
        for (int64_t r = 0; r < cols.run_count; ++r) {
            const ColumnRun& run = cols.runs[r];
            const int64_t c = run.cell;
            scale_run(row + run.begin, cols.frac.get() + run.begin, run.end - run.begin, top_line[c],
                      top_line[c + 1], bottom_line[c], bottom_line[c + 1], fy);
        }
    }
    return pyxa::OK;
}

Status run(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, uint64_t output_count,
           const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[std::size(schemas::apply_flat_gain_map)];
    PYXA_TRY(check_schema(schemas::apply_flat_gain_map, items, item_count, slots));
    const ImageView* in = first_view(inputs, input_count);
    const ImageView* out = first_view(outputs, output_count);
    PYXA_TRY(check_scheme_a(in, out, 1));
    PYXA_TRY(copy_input_to_output(in, out));
    const FlatMap m{attr_f32s(slots[0]), slots[0]->count, attr_i32(slots[1]), attr_i32(slots[2])};
    PYXA_TRY(check_flat(*out, m));
    return apply_flat(*out, m);
}

}  // namespace
}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_apply_flat_gain_map) {
    return tarnimg::guarded([&] { return tarnimg::run(inputs, input_count, outputs, output_count, items, item_count); });
}
