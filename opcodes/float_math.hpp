// Small numeric helpers of the opcode kernels: the shared clamps, the only way
// a float becomes an index (clamped first, NaN to 0), and the position bound.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/unit_clamp.hpp"

namespace tarnimg {

using pyxa::unit_clamp;

// The value clamped into [lo, hi] in double and then converted; NaN counts as
// 0. lo and hi must be exactly representable doubles with lo <= 0 <= hi.
inline int64_t clamp_to_i64(double v, int64_t lo, int64_t hi) {
    if (v != v) return 0;
    if (v <= static_cast<double>(lo)) return lo;
    if (v >= static_cast<double>(hi)) return hi;
    const int64_t r = static_cast<int64_t>(v);
    return r > hi ? hi : r;
}

// Bounds that a double holds exactly and that leave headroom for additions.
inline constexpr int64_t kFarPosition = int64_t{1} << 62;

}  // namespace tarnimg
