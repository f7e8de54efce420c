// Geometric rules shared by steps that map each output row to the same input row.
#include "kernels/prepare/kernel_step.hpp"

namespace pyxa {

Status same_row_request(const void*, int64_t x, int64_t y, uint64_t w, RowRequest* out) {
    *out = RowRequest{x, y, w, 1, 0};
    return OK;
}

Rect same_rect_forward(const void*, const Rect& in, const Rect&) { return in; }

}  // namespace pyxa
