// Reading, checking and resolving the area of the per-sample opcodes, one rule
// for all of them.
#include "opcodes/area.hpp"

#include <algorithm>

#include "opcodes/float_math.hpp"

namespace tarnimg {
namespace {

// One axis of the rectangle: both zero selects the whole extent; otherwise
// lo..hi-1, which must lie inside the image.
bool axis_inside(int32_t lo, int32_t hi, uint64_t extent) {
    if (lo == 0 && hi == 0) return true;
    return lo >= 0 && lo <= hi && uint64_t(hi) <= extent;
}

}  // namespace

Area read_area(const AttrItem* const* s) {
    return {attr_i32(s[0]), attr_i32(s[1]), attr_i32(s[2]), attr_i32(s[3]),
            attr_i32(s[4]), attr_i32(s[5]), attr_i32(s[6]), attr_i32(s[7])};
}

Status check_area(const Area& a, const ImageView& image) {
    if (a.row_pitch < 1 || a.col_pitch < 1) return pyxa::INVALID_ARGUMENT;
    // The opcodes write only inside the image.
    if (!axis_inside(a.top, a.bottom, image.height) || !axis_inside(a.left, a.right, image.width))
        return pyxa::INVALID_ARGUMENT;
    if (a.start_plane < 0) return pyxa::INVALID_ARGUMENT;
    if (image.height > uint64_t(kFarPosition) || image.width > uint64_t(kFarPosition))
        return pyxa::INVALID_ARGUMENT;
    return pyxa::OK;
}

AreaSpan area_span(const Area& a, const ImageView& image) {
    const bool all_rows = a.top == 0 && a.bottom == 0;
    const bool all_cols = a.left == 0 && a.right == 0;
    const int64_t plane0 = a.start_plane;
    // Below 2^32 whatever the channel count: both terms are below 2^31.
    const int64_t plane1 =
        a.num_planes < 1 ? plane0
                         : int64_t(std::min<uint64_t>(uint64_t(plane0) + uint64_t(a.num_planes), image.channels));
    return {all_rows ? 0 : a.top,   all_rows ? int64_t(image.height) : a.bottom,
            all_cols ? 0 : a.left,  all_cols ? int64_t(image.width) : a.right,
            plane0,                 plane1,
            a.row_pitch,            a.col_pitch};
}

bool whole_pixels(const AreaSpan& a, uint64_t channels) {
    return a.col_pitch == 1 && a.plane0 == 0 && uint64_t(a.plane1) == channels;
}

uint64_t steps_below(int64_t lo, int64_t hi, int64_t pitch) {
    if (hi <= lo) return 0;
    return (uint64_t(hi - lo) - 1) / uint64_t(pitch) + 1;
}

}  // namespace tarnimg
