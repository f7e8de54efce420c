// Geometry of the pad op shared by its builder and the chain planner: which
// source span an output span needs, and which output a source rect yields.
#pragma once

#include "core/kernel_step.hpp"
#include "tarnimg_process.h"

namespace pyxa {

struct PadSourceSpan {
    enum Kind : uint8_t { Direct, Partial, None } kind = None;
    int64_t x = 0;  // first source column
    int64_t y = 0;  // source row
    uint64_t len = 0;
};

// The source span an output span (x0, y, len) reads. Direct spans are plain
// copies; partial spans hold every source column the row's borders mirror.
// INVALID_ARGUMENT for len 0 or coordinates out of range; INTERNAL when a
// non-constant mode would have no source column.
Status pad_source_span(const PadParams& p, int64_t x0, int64_t y, uint64_t len, PadSourceSpan* out);

Status pad_row_request(const void* ctx, int64_t x, int64_t y, uint64_t w, RowRequest* out);
Rect pad_forward(const void* ctx, const Rect& in, const Rect& wanted);

}  // namespace pyxa
