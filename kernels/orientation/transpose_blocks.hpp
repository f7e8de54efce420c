// Vector transposes of square pixel blocks for the rotating orientations: the
// block's source runs are loaded whole, turned in registers and stored as
// output runs, instead of moving the pixels one by one.
#pragma once

#include <cstdint>

namespace pyxa {

// Writes `blocks` square blocks of `side` pixels side by side along the
// output rows. `dst` points at the output pixel (0, 0) of the first block;
// output pixel (i, j) of the whole run is the source pixel at
// src + i * row_step + j * col_step, where row_step is +px or -px (the
// neighbouring source pixel) and col_step any step between source rows.
// Reads and writes only those pixels' bytes.
using TransposeBlocks = void (*)(uint8_t* dst, int64_t dst_stride, const uint8_t* src, int64_t col_step,
                                 uint64_t blocks);

struct TransposeRoutine {
    TransposeBlocks run = nullptr;  // nullptr: none for this pixel size or processor
    uint64_t side = 0;
};

// The routine for a pixel size and row_step, chosen once per call: 8 x 8
// blocks of 3- and 4-byte pixels and 4 x 4 blocks of 6-byte pixels with AVX2.
TransposeRoutine transpose_blocks_for(uint64_t px, int64_t row_step);

}  // namespace pyxa
