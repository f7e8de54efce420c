// The bicubic weight table of the warp opcode: 32 x 32 fraction bins of 16
// weights, built once per process on first use and never freed.
#pragma once

namespace tarnimg {

inline constexpr int kBicubicBins = 32;
inline constexpr int kBicubicTaps = 16;

// The table, entry (jy, jx) starting at (jy * 32 + jx) * 16, or null when it
// could not be allocated (a later call tries again).
const float* bicubic_table();

}  // namespace tarnimg
