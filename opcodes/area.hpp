// The area of the per-sample opcodes (map_polynomial, map_table and the four
// per-row/column ones): a rectangle, a plane range and a row and column pitch,
// read from eight Int32 rows that lead each of their schemas.
#pragma once

#include <cstddef>
#include <cstdint>

#include "opcodes/schema.hpp"

namespace tarnimg {

inline constexpr size_t kAreaRows = 8;

struct Area {
    int32_t top, left, bottom, right;
    int32_t start_plane, num_planes, row_pitch, col_pitch;
};

// The area from the first eight slots of a checked schema.
Area read_area(const AttrItem* const* slots);

// INVALID_ARGUMENT unless both pitches are at least 1, each axis of the
// rectangle is either 0..0 (the whole axis) or lo <= hi inside the image, and
// start_plane is not negative. The image's height and width must also stay
// far from the 64-bit limit, since positions advance by a pitch past them.
Status check_area(const Area& a, const ImageView& image);

// A checked area resolved against its image: rows y0, y0 + row_pitch, ... below
// y1, columns likewise, planes plane0 .. plane1 - 1 (none when plane1 <= plane0).
struct AreaSpan {
    int64_t y0, y1, x0, x1;
    int64_t plane0, plane1;
    int64_t row_pitch, col_pitch;
};

AreaSpan area_span(const Area& a, const ImageView& image);

// True when every sample of a selected row between the area's first and last
// column is selected (col_pitch 1 and every plane), so that a row's selected
// samples are the packed run from x0 * channels to x1 * channels.
bool whole_pixels(const AreaSpan& a, uint64_t channels);

// How many positions lo, lo + pitch, ... lie below hi (pitch >= 1).
uint64_t steps_below(int64_t lo, int64_t hi, int64_t pitch);

}  // namespace tarnimg
