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
    float lowest = 0.0f;         // smallest and largest entry; both NaN when
    float highest = 0.0f;        // an entry is NaN

    const float* data() const { return entries.data(); }
};

// Whether an integer store of this table's interpolated values, scaled by
// out_scale and truncated, may leave out its clamps (v > 0 ? v : 0, the clamp
// to 1, and those to [0, out_scale] after the scale) and still give the same
// integers. It may when no entry is below 0 or above 1 + 0.75 / out_scale and
// out_scale is a whole number from 1 to the output type's top (255 or 65535):
// - f is in [0, 1) and fl(1 - f) + f rounds to at most 1 (1 - f is exact from
//   f = 1/2 up, and within 2^-25 below it), so v = (1 - f) * a + f * b is at
//   least 0 (or -0) and, rounding being monotonic, at most
//   (1 + 0.75 / out_scale)(1 + 2^-22);
// - up to 1 the clamps return their value (a -0 becomes +0: the same integer);
// - above 1 the clamped value truncates to out_scale, and out_scale * v lies in
//   [out_scale, out_scale + 1), which truncates to out_scale too.
// The half step that integer output curves add to every entry stays inside.
inline bool store_needs_no_clamps(const LookupTable& t, float out_scale, float out_top) {
    const double scale = out_scale;
    const bool whole = scale >= 1.0 && scale <= out_top && out_top <= 65535.0f &&
                       scale == static_cast<double>(static_cast<int32_t>(scale));
    return whole && t.lowest >= 0.0f && static_cast<double>(t.highest) * scale <= scale + 0.75;
}

// Takes the given entries (n >= 2). Tables of 2^31 entries or more are refused
// with INVALID_ARGUMENT: positions become 32-bit indices.
Status make_lookup_table(std::vector<float> given, LookupTable* table);

}  // namespace pyxa
