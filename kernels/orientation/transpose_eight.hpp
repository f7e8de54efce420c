// Vector transpose of 8 x 8 pixel blocks for the rotating orientations: eight
// source runs of eight pixels are loaded whole, turned in registers and
// stored as eight output runs, instead of moving the 64 pixels one by one.
#pragma once

#include <cstdint>

namespace pyxa {

// Writes `blocks` 8 x 8 blocks side by side along the output rows. `dst`
// points at the output pixel (0, 0) of the first block; output pixel (i, j)
// of the whole run is the source pixel at src + i * row_step + j * col_step,
// where row_step is +px or -px (the neighbouring source pixel) and col_step
// any step between source rows. Reads and writes only those pixels' bytes.
using TransposeEight = void (*)(uint8_t* dst, int64_t dst_stride, const uint8_t* src, int64_t row_step,
                                int64_t col_step, uint64_t blocks);

// The routine for a pixel size and the sign of row_step, chosen once per
// call; nullptr where the processor or the pixel size has none (3- and 4-byte
// pixels with AVX2).
TransposeEight transpose_eight_for(uint64_t px, int64_t row_step);

}  // namespace pyxa
