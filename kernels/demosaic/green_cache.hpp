// Green rows of the full edge-aware demosaic, computed once per row and kept
// in a ring of three while successive output rows slide down the image.
#pragma once

#include <cstdint>

#include "kernels/demosaic/demosaic_params.hpp"

namespace pyxa {

// The cache slot of green row `row` for columns x0 - 1 .. x0 + n (n + 2 <=
// cache.row_capacity). *fresh says the slot must be filled now: the row was
// not held, and the ring has made room for it.
float* green_slot(GreenCache& cache, int64_t row, int64_t x0, uint64_t n, bool* fresh);

// The difference row (sample - green) kept beside a green slot.
inline float* difference_row(const GreenCache& cache, float* green) { return green + 3 * cache.row_capacity; }

}  // namespace pyxa
