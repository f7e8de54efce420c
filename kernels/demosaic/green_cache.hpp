// Green rows of the full edge-aware demosaic, computed once per row and kept
// in a ring of three while successive output rows slide down the image.
#pragma once

#include "kernels/demosaic/bayer_sites.hpp"
#include "kernels/demosaic/demosaic_params.hpp"

namespace pyxa {

// Green of row out_y + dy (dy in -1..1) for columns x0 - 1 .. x0 + n, from the
// mosaic rows `w` (halo 3, positioned at x0). Returns the row pointer at
// column x0 - 1. Needs n + 2 <= cache.row_capacity.
const float* green_row(const DemosaicParams& p, GreenCache& cache, const RowWindow& w, int64_t out_y,
                       int dy, int64_t x0, uint64_t n);

}  // namespace pyxa
