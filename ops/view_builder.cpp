// Builder of "view": a crop window checked against the input's canvas, with
// the shifted row requests (plain copies) and the forward rule of a window.
#include <memory>

#include "ops/builders.hpp"
#include "tarnimg_process.h"

namespace pyxa {
namespace {

using i128 = __int128;

Status view_request(const void* ctx, int64_t x, int64_t y, uint64_t w, RowRequest* out) {
    const ViewParams& p = *static_cast<const ViewParams*>(ctx);
    int64_t sx, sy;
    if (!checked_add_i64(x, p.left, &sx) || !checked_add_i64(y, p.top, &sy)) return INVALID_ARGUMENT;
    *out = RowRequest{sx, sy, w, 1, 1};
    return OK;
}

// Shifted back by the window's corner; clipped to the window when pixels
// beyond the input's own extent are not valid image data.
Rect view_forward(const void* ctx, const Rect& in, const Rect&) {
    const ViewParams& p = *static_cast<const ViewParams*>(ctx);
    if (in.empty() || !fits_i64(in.width) || !fits_i64(in.height)) return Rect{};
    i128 x0 = i128(in.x) - p.left, y0 = i128(in.y) - p.top;
    i128 x1 = x0 + in.width, y1 = y0 + in.height;
    if (!p.oob_valid) {
        x0 = x0 < 0 ? 0 : x0;
        y0 = y0 < 0 ? 0 : y0;
        x1 = x1 > p.width ? p.width : x1;
        y1 = y1 > p.height ? p.height : y1;
    }
    if (x1 <= x0 || y1 <= y0 || x0 < INT64_MIN || y0 < INT64_MIN || x1 > INT64_MAX || y1 > INT64_MAX) return Rect{};
    return Rect{static_cast<int64_t>(x0), static_cast<int64_t>(y0), static_cast<uint64_t>(x1 - x0),
                static_cast<uint64_t>(y1 - y0)};
}

// The window, placed in the shared image space, lies inside the input's canvas.
bool inside_canvas(const TensorDesc& in, const ViewParams& p) {
    const i128 left = i128(in.origin_x) + p.left, top = i128(in.origin_y) + p.top;
    return left >= in.canvas_x0 && top >= in.canvas_y0 &&
           left + p.width <= i128(in.canvas_x0) + in.canvas_width &&
           top + p.height <= i128(in.canvas_y0) + in.canvas_height;
}

}  // namespace

Status build_view(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                  KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    const int32_t top = attrs.i32("top"), left = attrs.i32("left");
    const int32_t width = attrs.i32("width"), height = attrs.i32("height");
    auto p = std::make_shared<ViewParams>(ViewParams{top, left, width, height, 1});
    if (!inside_canvas(*input, *p))
        return fail(diag, INVALID_ARGUMENT, "the window ", width, " x ", height, " at (", left, ", ", top,
                    ") leaves the canvas of input tensor ", input->id);
    p->oob_valid = attrs.flag("oob_valid") ? 1 : 0;
    // Rows are copied as they are: the output is exactly the window, in the
    // input's pixel layout.
    PYXA_TRY(check_output_size(output, static_cast<uint64_t>(height), static_cast<uint64_t>(width), input->channels,
                               diag));
    if (output.dtype != input->dtype) return refuse_dtype(diag, INVALID_ARGUMENT, "output", output, dtype_name(input->dtype));
    return finish_span(step, tarnimg_process_crop_span1to1_spatial, p, view_request, view_forward);
}

}  // namespace pyxa
