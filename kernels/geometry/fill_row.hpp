// The fill kernel's row routine: one output span of a constant image, stored
// plainly or, for an output far larger than the caches, streamed.
#pragma once

#include "core/views.hpp"
#include "kernels/geometry/stream_store.hpp"
#include "tarnimg_process.h"

namespace pyxa {

// A fill's parameter block as its step runs it.
struct FillRows {
    FillParams params{};
    // Set by plan_fill_streaming for an output large enough to bypass the
    // caches: the pattern laid out for streamed lines, the pixel size it was
    // made for, and the output's last row, after which the stores are fenced.
    bool stream = false;
    uint64_t pixel = 0;
    int64_t last_row = 0;
    StreamPattern lines;
};

// Streams the rows of an output of `height` rows of `pixel`-byte pixels
// (elements of `element` bytes) when the pattern allows it.
void plan_fill_streaming(FillRows* f, uint64_t pixel, uint64_t element, uint64_t height);

// Writes every pixel of `out` with the pattern: whole pixels when the pattern
// holds one pixel or one element, zeros otherwise (or for an empty pattern).
void fill_row(const FillParams& p, const SpanView& out);

// The step's span routine; `ctx` is a FillRows.
void fill_rows_span(void* ctx, const SpanView* rows, const SpanView* out);

}  // namespace pyxa
