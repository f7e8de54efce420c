// Request planning for one tile: the backward walk that asks every step for the
// input rows of the rows its consumer needs, and the forward check that shrinks
// requests to what producers can actually deliver.
#include "engine/kernel_chain/chain_plan.hpp"
#include "engine/kernel_chain/rect_math.hpp"

namespace pyxa {
namespace {

Status tile_requests(ChainPlan& plan, size_t k, StepStage& st, const Rect& out) {
    if (out.empty()) return INVALID_ARGUMENT;
    const KernelStep& s = plan.step(k);
    Rect src;
    PYXA_TRY(s.source_region(s.context(), out, &src));
    if (!rect_addressable(src)) return INVALID_ARGUMENT;
    st.requests.push_back(RowRequest{src.x, src.y, src.width, src.height, static_cast<uint8_t>(s.tile_copy)});
    st.in_rect = src.empty() ? Rect{} : src;
    return OK;
}

Status row_requests(ChainPlan& plan, size_t k, StepStage& st, const Rect& out) {
    const KernelStep& s = plan.step(k);
    // A demosaic is skipped by the forward check, so nothing else would stop it
    // from being asked for rows or columns beyond its own image.
    if (plan.chain->steps[k].row_kind == KernelKind::Demosaic && !contains(plan.formats[k].extent, out))
        return INVALID_ARGUMENT;
    st.requests.resize(out.height);
    Rect bound;
    for (uint64_t i = 0; i < out.height; ++i) {
        RowRequest& r = st.requests[i];
        PYXA_TRY(s.request(s.context(), out.x, out.y + static_cast<int64_t>(i), out.width, &r));
        const Rect rr = request_rect(r);
        if (!rect_addressable(rr)) return INVALID_ARGUMENT;
        if (r.copy && r.empty()) return INTERNAL;  // a copy needs a row to copy
        bound = unite(bound, rr);
    }
    st.in_rect = bound;
    return OK;
}

// The part of a step's output inside its own tensor must be producible.
Status forward_one(ChainPlan& plan, size_t k) {
    StepStage& st = plan.stages[k];
    const Rect cover = k == 0 ? plan.input.extent : plan.stages[k - 1].out_rect;
    const Rect avail = intersect(st.in_rect, cover);
    if (avail.empty()) return INVALID_ARGUMENT;
    const KernelStep& s = plan.step(k);
    Rect result;
    if (plan.is_tile(k)) {
        PYXA_TRY(s.output_region(s.context(), avail, &result));
    } else {
        result = s.forward ? s.forward(s.context(), avail, st.out_rect) : avail;
    }
    if (result.empty() || !rect_addressable(result)) return INVALID_ARGUMENT;
    // A rule may offer more than the consumer wants (a pad whose source touches
    // an edge yields that whole border): the step makes only the wanted part,
    // so a wider offer can neither grow the tile nor its requests.
    const Rect made = intersect(result, st.out_rect);
    if (contains(cover, st.in_rect) && same_rect(made, st.out_rect)) return OK;
    if (made.empty() || !contains(made, intersect(st.out_rect, plan.formats[k].extent))) return INVALID_ARGUMENT;
    return make_requests(plan, k, made);
}

// A step that reads nothing for this tile (a fill, or rows of a constant
// border) can only make its own image: what a consumer wants beyond it comes
// from that consumer's edge rule, exactly as when the image is materialised.
Status clip_inputless(ChainPlan& plan, size_t k) {
    StepStage& st = plan.stages[k];
    if (st.out_rect.empty()) return OK;
    const Rect inside = intersect(st.out_rect, plan.formats[k].extent);
    if (same_rect(inside, st.out_rect)) return OK;
    if (inside.empty()) return INVALID_ARGUMENT;
    return make_requests(plan, k, inside);
}

Status forward_check(ChainPlan& plan) {
    for (size_t k = 0; k < plan.stages.size(); ++k) {
        if (!plan.is_tile(k) && plan.chain->steps[k].row_kind == KernelKind::Demosaic) continue;
        if (plan.stages[k].in_rect.empty()) {
            PYXA_TRY(clip_inputless(plan, k));
            continue;
        }
        PYXA_TRY(forward_one(plan, k));
    }
    if (plan.is_tile(0) && !contains(plan.input.extent, plan.stages[0].in_rect)) return INVALID_ARGUMENT;
    return OK;
}

}  // namespace

Status make_requests(ChainPlan& plan, size_t k, const Rect& out) {
    StepStage& st = plan.stages[k];
    st.reset();
    st.out_rect = out;
    st.first_row = out.y;
    if (plan.is_tile(k)) return tile_requests(plan, k, st, out);
    if (out.empty()) return OK;
    return row_requests(plan, k, st, out);
}

Status plan_tile(ChainPlan& plan, const Rect& tile) {
    for (StepStage& st : plan.stages) st.reset();
    Rect out = tile;
    for (size_t k = plan.stages.size(); k-- > 0;) {
        PYXA_TRY(make_requests(plan, k, out));
        out = plan.stages[k].in_rect;
        if (out.empty()) break;
    }
    return forward_check(plan);
}

}  // namespace pyxa
