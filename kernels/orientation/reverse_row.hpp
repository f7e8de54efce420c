// Mirrored row copy of the horizontal flips: output pixel i of a row is the
// source pixel i places to the left of the row's first source pixel.
#pragma once

#include <cstdint>

namespace pyxa {

// Copies `n` pixels of `px` bytes: dst pixel i = the pixel at src - i * px.
// `src` points at the source pixel of output pixel 0 (the rightmost one read).
using ReverseRow = void (*)(uint8_t* __restrict dst, const uint8_t* __restrict src, uint64_t n);

// The routine for a pixel size, chosen once per call: pixels of at most 16
// bytes are reversed 16 bytes at a time with one in-register byte shuffle
// where the processor has one; nullptr when no routine fits the size.
ReverseRow reverse_row_for(uint64_t px);

}  // namespace pyxa
