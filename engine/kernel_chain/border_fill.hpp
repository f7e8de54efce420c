// Edge rules applied by the runner: columns outside a valid range within one
// row, and every pixel of a rect buffer outside its valid inner rect.
#pragma once

#include <cstdint>
#include <vector>

#include "core/kernel_step.hpp"

namespace pyxa {

struct EdgeRule {
    uint8_t mode = kNoEdgeMode;
    const std::vector<uint8_t>* pattern = nullptr;
    uint64_t pixel = 0;
    uint64_t element = 0;
};

// `row` holds columns [base_x, base_x + base_w), of which [have_lo, have_hi)
// hold data. The others are filled by the edge rule over the producer's
// columns [lo, hi), whose mapped columns the caller has placed inside the data.
void fill_row_edges(uint8_t* row, int64_t base_x, uint64_t base_w, int64_t have_lo, int64_t have_hi, int64_t lo,
                    int64_t hi, const EdgeRule& e);

// Fills a whole row region from the rule's constant pattern.
void fill_constant(uint8_t* row, uint64_t pixels, const EdgeRule& e);

// `buf` holds rect `b` with rows `stride` bytes apart; everything outside the
// valid rect `v` (inside b, non-empty) is filled by the edge rule.
void fill_rect_border(uint8_t* buf, const Rect& b, uint64_t stride, const Rect& v, const EdgeRule& e);

}  // namespace pyxa
