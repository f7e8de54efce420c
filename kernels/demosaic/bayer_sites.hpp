// Bayer site names and the window of input rows a demosaic routine reads.
#pragma once

#include <cstdint>

#include "core/views.hpp"

namespace pyxa {

// The four sites of a Bayer cell: red, green on a red row (g_r), green on a
// blue row (g_b), blue.
enum class Site { r, g_r, g_b, b };

inline int64_t parity(int64_t v) { return v & 1; }  // two's complement: also right for negatives

// Sites of the even-offset and odd-offset pixels of a span starting at x0 on row y.
struct RowSites {
    Site first;   // site of x0, x0 + 2, ...
    Site second;  // site of x0 + 1, x0 + 3, ...
};

inline RowSites row_sites(int64_t red_row, int64_t red_col, int64_t y, int64_t x0) {
    const bool red_line = parity(y) == red_row;
    const bool at_red_col = parity(x0) == red_col;
    const Site on_red_col = red_line ? Site::r : Site::g_b;
    const Site off_red_col = red_line ? Site::g_r : Site::b;
    return at_red_col ? RowSites{on_red_col, off_red_col} : RowSites{off_red_col, on_red_col};
}

// Input rows y - halo .. y + halo, each pointing at the output's first column,
// so that row(dy)[i + dx] is sample (x0 + i + dx, y + dy).
struct RowWindow {
    const float* rows[7] = {};
    int halo = 0;
    const float* row(int dy) const { return rows[dy + halo]; }
};

// Checks once per call that the rows handed in hold every sample the routine
// reads (rows y ± halo_rows, columns x0 - halo_cols .. x0 + len - 1 + halo_cols)
// and that the output is a 3-channel float32 span.
bool make_window(const SpanView* rows, uint64_t row_count, const SpanView& out, int halo_rows,
                 int halo_cols, RowWindow* w);

// The start shared by the bilinear and edge-aware fast row routines (the
// compiled copies and the AVX2 ones): the window of rows y - 1 .. y + 1 and
// the sites of the span, from the call's parameters (a DemosaicParams).
// False when the call is malformed (nothing written) or when the rows handed
// in do not hold the window (the output zeroed).
struct BilinearRow {
    RowWindow window;
    RowSites sites{};
    float* out = nullptr;
};
bool begin_bilinear_row(const void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out,
                        BilinearRow* row);

}  // namespace pyxa
