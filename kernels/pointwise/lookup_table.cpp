// Preparation of interpolation tables: the guard entry and the clamp position.
#include "kernels/pointwise/lookup_table.hpp"

#include <algorithm>
#include <cmath>

namespace pyxa {

Status make_lookup_table(std::vector<float> given, LookupTable* table) {
    const uint64_t n = given.size();
    if (n < 2 || n > static_cast<uint64_t>(INT32_MAX)) return INVALID_ARGUMENT;
    given.push_back(given.back());
    // n - 1 may round up when it has more than 24 significant bits; step back
    // so a clamped position never indexes past the guard entry.
    float last = static_cast<float>(n - 1);
    if (static_cast<uint64_t>(last) > n - 1) last = std::nextafter(last, 0.0f);
    const auto [low, high] = std::minmax_element(given.begin(), given.end());
    const bool nan = std::any_of(given.begin(), given.end(), [](float e) { return std::isnan(e); });
    table->lowest = nan ? NAN : *low;
    table->highest = nan ? NAN : *high;
    table->entries = std::move(given);
    table->n = n;
    table->last = last;
    return OK;
}

}  // namespace pyxa
