// Overflow-checked size arithmetic. Every size derived from caller values goes
// through these, so a wrapped product can never pass a later check.
#pragma once

#include <cstdint>
#include <limits>

namespace pyxa {

inline constexpr uint64_t kSizeMax = std::numeric_limits<uint64_t>::max();

// a * b, or false when the product does not fit in 64 bits.
inline bool checked_mul(uint64_t a, uint64_t b, uint64_t* out) {
    return !__builtin_mul_overflow(a, b, out);
}

inline bool checked_add(uint64_t a, uint64_t b, uint64_t* out) {
    return !__builtin_add_overflow(a, b, out);
}

inline bool checked_add_i64(int64_t a, int64_t b, int64_t* out) {
    return !__builtin_add_overflow(a, b, out);
}

// a * b, saturating at the largest 64-bit value (which no stride can reach).
inline uint64_t saturating_mul(uint64_t a, uint64_t b) {
    uint64_t r;
    return checked_mul(a, b, &r) ? r : kSizeMax;
}

inline uint64_t saturating_add(uint64_t a, uint64_t b) {
    uint64_t r;
    return checked_add(a, b, &r) ? r : kSizeMax;
}

// True when v fits a signed 64-bit value.
inline bool fits_i64(uint64_t v) { return v <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max()); }

}  // namespace pyxa
