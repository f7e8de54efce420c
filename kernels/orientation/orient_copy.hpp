// Pixel-moving loops of the orientation kernel: row flips and blocked transposes.
#pragma once

#include <cstdint>

namespace pyxa {

// One output rectangle: `height` rows of `width` pixels of `px` bytes. The
// source of output pixel (i, j) is src + i * src_row_step + j * src_col_step.
struct OrientCopy {
    uint8_t* dst;
    int64_t dst_stride;
    const uint8_t* src;
    int64_t src_row_step;  // source bytes per output row
    int64_t src_col_step;  // source bytes per output column
    uint64_t width;
    uint64_t height;
    uint64_t px;
    // Output rows are streamed past the caches (the output is far larger
    // than they are, and nothing reads it back soon); fenced before returning.
    bool stream = false;
};

// Copies the rectangle; `transposing` walks it in square blocks of 192 bytes
// of pixels a side (at least 1 pixel), so the source lines a block touches stay cached.
void orient_copy(const OrientCopy& job, bool transposing);

}  // namespace pyxa
