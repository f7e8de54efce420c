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

struct HueSatMapParams {
    // Four int16 per entry. Direct: V slabs of (H + 1) hue rows of S points of
    // (hue shift in sixths, saturation scale, value scale, 0); row H repeats
    // row 0. Table: 3 faces x N x N (x V levels) of (r, g, b, value scale).
    std::vector<int16_t> data;
    int32_t hue_size = 0;  // H, or N (256 or 65) for the tables
    int32_t sat_size = 0;  // S, or N for the tables
    int32_t val_size = 1;  // V (1 for the map without value divisions)
};

}  // namespace pyxa
