// One row of a colour table (fixed face, fixed first axis, every entry of the
// second axis at every value level), built as a block so its stages vectorise.
#pragma once

#include <cstdint>

#include "core/isa.hpp"

namespace pyxa {

inline constexpr int32_t kMaxTableRow = 256;  // the largest table has 256 entries a side

struct TableRowJob {
    const int16_t* map;  // prepared map: V slabs of (H + 1) x S entries
    int32_t hues, sats, vals;
    int32_t n;           // entries per table axis, at most kMaxTableRow
    int face;
    int32_t i;           // first-axis entry of the row
    int16_t* out;        // n * vals entries of four int16
};

using TableRowRun = void (*)(const TableRowJob& job);

// The copy of the row builder for an instruction set.
TableRowRun table_row_routine(Isa isa = best_isa());

}  // namespace pyxa
