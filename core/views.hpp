// Pixel views, border rules and constant encoding shared by the pad op, the tile
// runner and the kernels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// The pixel records are part of the exported C interface of the geometric kernels.
#include "tarnimg_process.h"
#include "core/records.hpp"

namespace pyxa {

using ::PixelRun;
using ::SpanView;
using ::TileView;

enum class PadMode : uint8_t { Reflect = 0, Symmetric = 1, Edge = 2, Constant = 3 };

// Marks a step without an edge rule.
inline constexpr uint8_t kNoEdgeMode = 255;

// Maps coordinate a onto [b, c) (c - b >= 1) by the mode's rule; std::nullopt for
// Constant, whose caller writes the constant of that side. Periodic, so any
// distance outside the extent is valid.
std::optional<int64_t> map_coordinate(PadMode mode, int64_t a, int64_t b, int64_t c);

// Fills `region_len` bytes from a pattern: all-zero or empty pattern zeroes;
// a pixel-sized pattern repeats per pixel; an element-sized one per element;
// any other length zeroes.
void fill_with_pattern(uint8_t* region, uint64_t region_len, const uint8_t* pattern,
                       uint64_t pattern_len, uint64_t pixel_size, uint64_t element_size);

// Encodes v as one element of dtype into out (up to 4 bytes), setting *len.
// UNSUPPORTED_DTYPE for float16 and unknown codes.
Status encode_value(int64_t dtype, float v, uint8_t out[4], uint64_t* len);

}  // namespace pyxa
