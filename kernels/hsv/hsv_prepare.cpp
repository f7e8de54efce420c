// Builds the prepared fixed-point map (with its wrap row) and, from it, the
// colour tables that the table routines interpolate.
#include <new>
#include <stdexcept>

#include "core/checked.hpp"
#include "kernels/hsv/hsv_color.hpp"
#include "kernels/hsv/hsv_table_rows.hpp"
#include "kernels/hsv/hsv_tables.hpp"

namespace pyxa {

namespace {

// One hue row of the map: sats points of (hue shift in degrees, saturation
// scale, value scale) into four-int16 entries (hue shift in sixths, the two
// scales, 0), all as fixed point. Eight points at a time go through a plain
// loop that vectorises: every number is divided by its entry of a repeating
// pattern, 60 for the hue shift and 1 (exact) for the scales, then scaled
// and rounded.
void fixed_row(const float* src, int64_t sats, int16_t* out) {
    constexpr int kPoints = 8, kNumbers = 3 * kPoints;
    alignas(32) static constexpr float kDivisor[kNumbers] = {60, 1, 1, 60, 1, 1, 60, 1, 1, 60, 1, 1,
                                                             60, 1, 1, 60, 1, 1, 60, 1, 1, 60, 1, 1};
    int64_t s0 = 0;
    for (; s0 + kPoints <= sats; s0 += kPoints) {
        const float* x = src + 3 * s0;
        alignas(32) int16_t fixed[kNumbers];
        for (int k = 0; k < kNumbers; ++k) fixed[k] = to_fixed(x[k] / kDivisor[k] * kHsvUnit);
        for (int e = 0; e < kPoints; ++e, out += 4) {
            out[0] = fixed[3 * e];
            out[1] = fixed[3 * e + 1];
            out[2] = fixed[3 * e + 2];
            out[3] = 0;
        }
    }
    for (const float* x = src + 3 * s0; s0 < sats; ++s0, x += 3, out += 4) {
        for (int k = 0; k < 3; ++k) out[k] = to_fixed(x[k] / kDivisor[k] * kHsvUnit);
        out[3] = 0;
    }
}

// Resizes a table, turning a failed allocation into OUT_OF_MEMORY.
Status allocate(std::vector<int16_t>* v, uint64_t count) {
    try {
        v->assign(count, 0);
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    } catch (const std::length_error&) {
        return OUT_OF_MEMORY;
    }
    return OK;
}

}  // namespace

Status prepare_hsv_map(std::span<const float> map_data, int32_t hue_divs, int32_t sat_divs, int32_t val_divs,
                       HueSatMapParams* params, bool cells) {
    const int64_t rows = static_cast<int64_t>(hue_divs) + 1;
    uint64_t count = 0;
    if (!checked_mul(static_cast<uint64_t>(rows) * static_cast<uint64_t>(sat_divs), static_cast<uint64_t>(val_divs),
                     &count) ||
        !checked_mul(count, 4, &count))
        return OUT_OF_MEMORY;
    PYXA_TRY(allocate(&params->data, count));
    int16_t* out = params->data.data();
    for (int64_t v = 0; v < val_divs; ++v) {
        for (int64_t h = 0; h < rows; ++h) {
            const int64_t src_row = h == hue_divs ? 0 : h;  // the wrap row repeats row 0
            fixed_row(map_data.data() + ((v * hue_divs + src_row) * sat_divs) * 3, sat_divs, out);
            out += sat_divs * 4;
        }
    }
    params->hue_size = hue_divs;
    params->sat_size = sat_divs;
    params->val_size = val_divs;
    return cells && val_divs > 1 ? prepare_hsv_cells(params) : OK;
}

Status prepare_hsv_cells(HueSatMapParams* params) {
    const int64_t hues = params->hue_size, sats = params->sat_size, vals = params->val_size;
    const int64_t slab = (hues + 1) * sats * 4;
    uint64_t count = 0;
    if (!checked_mul(static_cast<uint64_t>(hues) * static_cast<uint64_t>(sats - 1), static_cast<uint64_t>(vals),
                     &count) ||
        !checked_mul(count, static_cast<uint64_t>(kHsvCellWords), &count) ||
        !checked_add(count, static_cast<uint64_t>(kHsvCellPad), &count))
        return OUT_OF_MEMORY;
    PYXA_TRY(allocate(&params->cells, count));
    const int16_t* map = params->data.data();
    int16_t* out = params->cells.data();
    for (int64_t h = 0; h < hues; ++h) {
        for (int64_t s = 0; s + 1 < sats; ++s) {
            for (int64_t v = 0; v < vals; ++v) {
                const int16_t* a = map + v * slab + (h * sats + s) * 4;
                const int16_t* corner[4] = {a, a + 4, a + sats * 4, a + sats * 4 + 4};
                for (const int16_t* e : corner) {
                    for (int k = 0; k < 3; ++k) *out++ = e[k];
                }
            }
        }
    }
    return OK;
}

Status build_hsv_table(HueSatMapParams* params, int32_t n, Isa isa) {
    static_assert(kChromaLutSize <= kMaxTableRow && kPrismLutSize <= kMaxTableRow);
    if (n < 2 || n > kMaxTableRow) return INVALID_ARGUMENT;
    const int32_t vals = params->val_size;
    uint64_t count = 0;
    if (!checked_mul(3ull * n * n, static_cast<uint64_t>(vals) * 4, &count)) return OUT_OF_MEMORY;
    std::vector<int16_t> table;
    PYXA_TRY(allocate(&table, count));
    const TableRowRun row = table_row_routine(isa);
    const int64_t row_size = static_cast<int64_t>(n) * vals * 4;
    TableRowJob job{params->data.data(), params->hue_size, params->sat_size, vals, n, 0, 0, table.data()};
    for (job.face = 0; job.face < 3; ++job.face) {
        for (job.i = 0; job.i < n; ++job.i, job.out += row_size) row(job);
    }
    params->data = std::move(table);
    std::vector<int16_t>().swap(params->cells);  // only the direct routine reads them
    params->hue_size = n;
    params->sat_size = n;
    return OK;
}

}  // namespace pyxa
