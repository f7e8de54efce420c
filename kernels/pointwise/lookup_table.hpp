// A float table prepared for interpolated lookup: the given entries plus one
// copy of the last, and the largest position a lookup may use.
#pragma once

#include <cstdint>
#include <vector>

#include "core/status.hpp"

namespace pyxa {

struct LookupTable {
    std::vector<float> entries;  // n + 1 entries
    uint64_t n = 0;              // given entry count, >= 2
    float last = 0.0f;           // largest float position not above n - 1

    const float* data() const { return entries.data(); }
};

// Takes the given entries (n >= 2). Tables of 2^31 entries or more are refused
// with INVALID_ARGUMENT: positions become 32-bit indices.
Status make_lookup_table(std::vector<float> given, LookupTable* table);

}  // namespace pyxa
