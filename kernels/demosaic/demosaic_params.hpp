// Demosaic parameters, the green cache of the full edge-aware routine and the
// row routines (bilinear, edge-aware fast, edge-aware full, half size).
#pragma once

#include <cstdint>
#include <memory>

#include "core/views.hpp"
#include "core/isa.hpp"

namespace pyxa {

// Up to three green rows of one column range, in a ring indexed by row mod 3,
// each with its row of differences sample - green.
struct GreenCache {
    std::unique_ptr<float[]> buf;  // 3 green rows, then their 3 difference rows, of `row_capacity` floats
    uint64_t row_capacity = 0;     // floats per row: the input width + 2
    int64_t col0 = 0;              // first cached column
    uint64_t cols = 0;             // cached columns per row (0: cache empty)
    int64_t first_row = 0;
    uint64_t count = 0;            // valid rows, first_row .. first_row + count - 1
};

struct DemosaicParams {
    int32_t cfa[4] = {};  // colour of sites (0,0), (0,1), (1,0), (1,1): red 0, green 1, blue 2
    int64_t red_row = 0, red_col = 0;
    uint64_t in_height = 0, in_width = 0, out_height = 0, out_width = 0;
    bool fast = false;
    bool neon = true;  // "engine_opts" switch for arm64 builds; read and kept, no separate loop here
    GreenCache* green = nullptr;  // the full edge-aware routine's cache, in the step's run state
};

// Row routines as the tile runner calls them: `rows` ascending, each labelled
// with its own row index and first column; out is 3 floats per pixel.
void bilinear_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out);
void ea_fast_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out);
void ea_full_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out);
// Half size: output row y from input rows 2y and 2y + 1; out->x0 and out->len
// count output pixels, so the rows hold input columns 2 * x0 .. 2 * (x0 + len) - 1.
void half_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out);

// The copy of each routine for an instruction set. They are taken in the file
// that defines the routine, where the AVX2 copy can inline its whole loop.
using DemosaicRowRoutine = decltype(&bilinear_demosaic_row);
DemosaicRowRoutine bilinear_demosaic_routine(Isa isa);
DemosaicRowRoutine ea_fast_demosaic_routine(Isa isa);
DemosaicRowRoutine ea_full_demosaic_routine(Isa isa);
DemosaicRowRoutine half_demosaic_routine(Isa isa);
// Routines written with AVX2 intrinsics, which the AVX2 choice above returns;
// null when the build has no x86 intrinsics.
DemosaicRowRoutine bilinear_demosaic_avx2_routine();
DemosaicRowRoutine ea_fast_demosaic_avx2_routine();

}  // namespace pyxa
