// Coordinate map of the eight orientations and the region rules the chain
// planner uses: source region of an output rect, output region of a source rect.
#pragma once

#include "core/kernel_step.hpp"
#include "tarnimg_process.h"

namespace pyxa {

using i128 = __int128;

// Source pixel (sr, sc) of output pixel (r, c); exact in 128 bits.
void orient_source(const OrientationParams& p, i128 r, i128 c, i128* sr, i128* sc);
// Output pixel (r, c) of source pixel (sr, sc).
void orient_output(const OrientationParams& p, i128 sr, i128 sc, i128* r, i128* c);

// Bounding rects of the mapped corners. INVALID_ARGUMENT for an empty rect,
// an orientation outside 1..8 or a result outside the 64-bit range.
Status orient_source_region(const void* ctx, const Rect& out_rect, Rect* src_rect);
Status orient_output_region(const void* ctx, const Rect& src_rect, Rect* out_rect);

}  // namespace pyxa
