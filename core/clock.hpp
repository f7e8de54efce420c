// Monotonic nanosecond clock used by profiling; read only for measured calls.
#pragma once

#include <cstdint>

namespace pyxa {

// Nanoseconds of the platform's monotonic clock (seconds * 1e9 + nanoseconds,
// saturating at the largest 64-bit value).
uint64_t monotonic_ns();

// b - a for two readings, 0 if the clock went backwards.
inline uint64_t elapsed_ns(uint64_t a, uint64_t b) { return b > a ? b - a : 0; }

}  // namespace pyxa
