// Parameter block of the hue/saturation(/value) map kernels: a prepared
// fixed-point map (direct routines) or a fixed-point colour table (table
// routines), with the grid sizes the routine walks.
#pragma once

#include <cstdint>
#include <vector>

namespace pyxa {

// Fixed-point numbers hold value * 2^13.
inline constexpr float kHsvUnit = 8192.0f;
inline constexpr float kHsvInvUnit = 1.0f / 8192.0f;

// int16 in one cell record, and zeros after the last one (a 64-byte load at the
// last record reads 20 past it).
inline constexpr int64_t kHsvCellWords = 12;
inline constexpr int64_t kHsvCellPad = 32;

struct HueSatMapParams {
    // Four int16 per entry. Direct: V slabs of (H + 1) hue rows of S points of
    // (hue shift in sixths, saturation scale, value scale, 0); row H repeats
    // row 0. Table: 3 faces x N x N (x V levels) of (r, g, b, value scale).
    std::vector<int16_t> data;
    // Direct form with value divisions only: the same int16 numbers regrouped
    // by cell, so that the AVX-512 copy reads all eight corners of a pixel's
    // cell with one 64-byte load. Record (h, s, v), h < H, s < S - 1, v < V,
    // holds 12 int16: the corners (h, s), (h, s + 1), (h + 1, s), (h + 1, s + 1)
    // of slab v, three components each; record v + 1 follows, so a load at
    // (h, s, v) brings both value levels. kHsvCellPad int16 of zeros end it.
    std::vector<int16_t> cells;
    int32_t hue_size = 0;  // H, or N (256 or 65) for the tables
    int32_t sat_size = 0;  // S, or N for the tables
    int32_t val_size = 1;  // V (1 for the map without value divisions)
};

}  // namespace pyxa
