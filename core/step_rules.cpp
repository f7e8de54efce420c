// Geometric rules shared by steps that map each output row to the same input row.
#include "core/kernel_step.hpp"

namespace pyxa {

Status same_row_request(const void*, int64_t x, int64_t y, uint64_t w, RowRequest* out) {
    *out = RowRequest{x, y, w, 1, 0};
    return OK;
}

Rect same_rect_forward(const void*, const Rect& in, const Rect&) { return in; }

bool step_complete(const KernelStep& s, bool with_routine) {
    switch (s.kind) {
        case KernelKind::Pointwise: return s.request && (!with_routine || s.pointwise);
        case KernelKind::Span: return s.request && (!with_routine || s.span);
        case KernelKind::Demosaic: return s.request && (!with_routine || s.demosaic);
        case KernelKind::Orientation: return s.tile && s.source_region && s.output_region;
        default: return false;
    }
}

}  // namespace pyxa
