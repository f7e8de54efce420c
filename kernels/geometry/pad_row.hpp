// The pad kernel's row routine: one output span of a padded image from one
// source span, with borders mirrored, clamped or filled with constants.
#pragma once

#include "core/views.hpp"
#include "tarnimg_process.h"

namespace pyxa {

// Writes every pixel of `out`. Mirrored and clamped border pixels are read
// from `in` (never from other parts of `out`); any source column that `in`
// does not hold, or an `in` whose pixel size differs from `out`'s, gives zeros.
void pad_row(const PadParams& p, const SpanView& in, const SpanView& out);

}  // namespace pyxa
