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

// v[j] = clamp01(v[j]) for j < n, one bound per pass (see the block stores
// below): below 0 or NaN -> 0, keeping -0 as clamp01 does; then above 1 -> 1.
inline void clamp01_block(float* __restrict v, uint64_t n) {
    for (uint64_t j = 0; j < n; ++j) v[j] = v[j] >= 0.0f ? v[j] : 0.0f;
    for (uint64_t j = 0; j < n; ++j) v[j] = v[j] <= 1.0f ? v[j] : 1.0f;
}

// Elements per pass of the block forms: a few kilobytes of scratch, which stay
// in the first-level cache between passes.
inline constexpr uint64_t kStoreBlock = 256;

// Block forms of the stores: d[j] = store_element(v[j]), and
// store_element(scale * clamp01(v[j])), for j < n, with v used as scratch. Each
// clamp is its own pass over the block: fused into one loop, the compiler merges
// the comparisons into long chains of masks, while apart each pass is a compare
// and a select on whole vectors. The results are those of the element forms.
template <typename Out>
inline void store_block(float* __restrict v, uint64_t n, Out* __restrict d) {
    if constexpr (std::is_same_v<Out, float>) {
        for (uint64_t j = 0; j < n; ++j) d[j] = v[j];
    } else {
        constexpr float hi = static_cast<float>(std::numeric_limits<Out>::max());
        for (uint64_t j = 0; j < n; ++j) v[j] = v[j] > 0.0f ? v[j] : 0.0f;  // NaN fails the comparison
        for (uint64_t j = 0; j < n; ++j) v[j] = v[j] < hi ? v[j] : hi;
        for (uint64_t j = 0; j < n; ++j) d[j] = static_cast<Out>(static_cast<int32_t>(v[j]));
    }
}

// For integer outputs the unit clamp runs as a max then a min (the scale rides
// on the second pass); it differs from clamp01 only by turning -0 into +0,
// which no integer can tell apart.
template <typename Out>
inline void store_unit_block(float* __restrict v, uint64_t n, float scale, Out* __restrict d) {
    if constexpr (std::is_same_v<Out, float>) {
        clamp01_block(v, n);
        for (uint64_t j = 0; j < n; ++j) d[j] = scale * v[j];
    } else {
        for (uint64_t j = 0; j < n; ++j) v[j] = v[j] > 0.0f ? v[j] : 0.0f;
        for (uint64_t j = 0; j < n; ++j) v[j] = scale * (v[j] < 1.0f ? v[j] : 1.0f);
        store_block(v, n, d);
    }
}

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
