// Element conversions shared by every pointwise routine: integer stores, the
// unit-range clamp and the interpolated table lookup.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

namespace pyxa {

// Float result -> output element. Integer outputs truncate toward zero inside
// their range and saturate outside it; NaN stores as 0. A plain cast would be
// undefined for NaN and out-of-range values, and keeping the low bits would let
// 1.2 * 255 wrap to 50.
template <typename Out>
inline Out store_element(float v) {
    if constexpr (std::is_same_v<Out, float>) {
        return v;
    } else {
        constexpr float hi = static_cast<float>(std::numeric_limits<Out>::max());
        v = v > 0.0f ? v : 0.0f;  // NaN fails the comparison
        v = v < hi ? v : hi;
        return static_cast<Out>(static_cast<int32_t>(v));
    }
}

// Above 1 -> 1; negative or NaN -> 0.
inline float clamp01(float v) { return v > 1.0f ? 1.0f : (v >= 0.0f ? v : 0.0f); }

// Interpolated lookup at position p of a table whose last given entry is at
// `last` (stored with one extra copy of it after, so i + 1 is always readable).
// The exact form (1 - f) * a + f * b is kept so results match bit for bit.
inline float table_lookup(const float* table, float last, float p) {
    p = (p > last || p != p) ? last : (p < 0.0f ? 0.0f : p);
    const int32_t i = static_cast<int32_t>(p);
    const float f = p - static_cast<float>(i);
    return (1.0f - f) * table[i] + f * table[i + 1];
}

}  // namespace pyxa
