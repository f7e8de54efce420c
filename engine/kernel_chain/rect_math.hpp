// Rectangle arithmetic in 128 bits, so that no end of a caller-influenced rect
// can wrap; rects that do not fit signed 64-bit coordinates are refused.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "core/kernel_step.hpp"

namespace pyxa {

using Wide = __int128;

inline Wide rect_right(const Rect& r) { return static_cast<Wide>(r.x) + r.width; }
inline Wide rect_bottom(const Rect& r) { return static_cast<Wide>(r.y) + r.height; }

// Sizes and ends addressable as signed 64-bit values.
inline bool rect_addressable(const Rect& r) {
    constexpr Wide kMax = std::numeric_limits<int64_t>::max();
    return r.width <= static_cast<uint64_t>(kMax) && r.height <= static_cast<uint64_t>(kMax) &&
           rect_right(r) <= kMax && rect_bottom(r) <= kMax;
}

inline Rect rect_from_ends(Wide x0, Wide y0, Wide x1, Wide y1) {
    if (x1 <= x0 || y1 <= y0) return Rect{};
    return Rect{static_cast<int64_t>(x0), static_cast<int64_t>(y0), static_cast<uint64_t>(x1 - x0),
                static_cast<uint64_t>(y1 - y0)};
}

inline Rect intersect(const Rect& a, const Rect& b) {
    if (a.empty() || b.empty()) return Rect{};
    return rect_from_ends(std::max<Wide>(a.x, b.x), std::max<Wide>(a.y, b.y),
                          std::min(rect_right(a), rect_right(b)), std::min(rect_bottom(a), rect_bottom(b)));
}

// Bounding rect of two rects; an empty one does not count.
inline Rect unite(const Rect& a, const Rect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return rect_from_ends(std::min<Wide>(a.x, b.x), std::min<Wide>(a.y, b.y),
                          std::max(rect_right(a), rect_right(b)), std::max(rect_bottom(a), rect_bottom(b)));
}

// True when `inner` lies inside `outer`; an empty inner lies anywhere.
inline bool contains(const Rect& outer, const Rect& inner) {
    if (inner.empty()) return true;
    if (outer.empty()) return false;
    return inner.x >= outer.x && inner.y >= outer.y && rect_right(inner) <= rect_right(outer) &&
           rect_bottom(inner) <= rect_bottom(outer);
}

inline bool same_rect(const Rect& a, const Rect& b) {
    if (a.empty() && b.empty()) return true;
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

inline Rect request_rect(const RowRequest& r) { return r.empty() ? Rect{} : Rect{r.x, r.y, r.width, r.rows}; }

}  // namespace pyxa
