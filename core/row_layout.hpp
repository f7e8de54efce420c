// Element, pixel and packed row sizes, and the one row layout rule every image
// check applies: a row stride holds at least one packed row and is a multiple
// of a unit (the pixel size in the engine, the element size in the opcode library).
#pragma once

#include <cstdint>

#include "core/checked.hpp"

namespace pyxa {

// Bytes per element of a dtype code (0 uint8, 1 uint16, 2 float16, 3 float32);
// 0 for a code outside 0..3 so that nothing gets copied.
inline uint64_t element_size(int64_t dtype) {
    switch (dtype) {
        case 0: return 1;
        case 1: return 2;
        case 2: return 2;
        case 3: return 4;
        default: return 0;
    }
}

// channels * element size, saturating like packed_row_size.
inline uint64_t pixel_size(int64_t dtype, uint64_t channels) {
    return saturating_mul(channels, element_size(dtype));
}

// width * pixel size, saturating at the largest 64-bit value.
inline uint64_t packed_row_size(int64_t dtype, uint64_t width, uint64_t channels) {
    return saturating_mul(width, pixel_size(dtype, channels));
}

enum class RowLayout : uint8_t { Fits, ShortRow, Misaligned };

// Whether a row stride can step through rows of `packed_row` bytes: at least one
// packed row, and a whole number of `unit`s (a zero unit never divides).
inline RowLayout row_layout(uint64_t row_stride, uint64_t packed_row, uint64_t unit) {
    if (row_stride < packed_row) return RowLayout::ShortRow;
    if (unit == 0 || row_stride % unit != 0) return RowLayout::Misaligned;
    return RowLayout::Fits;
}

}  // namespace pyxa
