// One tile of a chain: the trailing copy run is skipped, segments run in order
// through the ping-pong slots, and the last needed one writes into the output.
#include <cstring>

#include "engine/kernel_chain/chain_runner.hpp"
#include "engine/kernel_chain/rect_math.hpp"
#include "core/clock.hpp"

namespace pyxa {
namespace {

uint8_t* pixel_at(const RectBuffer& b, int64_t x, int64_t y) {
    return b.data + static_cast<uint64_t>(y - b.rect.y) * b.stride + static_cast<uint64_t>(x - b.rect.x) * b.format.pixel;
}

// A step joins the trailing copy run when its rows are plain shifted copies.
bool copies_only(const StepStage& st) {
    if (st.requests.empty() || st.edge_mode != kNoEdgeMode) return false;
    const RowRequest& r0 = st.requests[0];
    for (size_t i = 0; i < st.requests.size(); ++i) {
        const RowRequest& r = st.requests[i];
        if (!r.copy || r.x != r0.x || r.y != r0.y + static_cast<int64_t>(i)) return false;
    }
    return true;
}

size_t last_needed_step(const ChainPlan& plan) {
    const size_t last = plan.stages.size() - 1;
    for (size_t k = last + 1; k-- > 0;)
        if (!copies_only(plan.stages[k])) return k;
    return last;
}

size_t segment_of(const ChainPlan& plan, size_t k) {
    for (size_t s = 0; s < plan.segments.size(); ++s)
        if (plan.segments[s].first <= k && k <= plan.segments[s].last) return s;
    return plan.segments.size() - 1;
}

Status rect_bytes(const Rect& r, uint64_t pixel, uint64_t* row, uint64_t* total) {
    if (!checked_mul(r.width, pixel, row) || !checked_mul(*row, r.height, total)) return OUT_OF_MEMORY;
    return OK;
}

}  // namespace

Status ChainRunner::run_tile_step(size_t t, const RectBuffer& src, uint8_t* dest, uint64_t dest_stride) {
    const StepStage& st = plan.stages[t];
    const Rect in = st.in_rect, out = st.out_rect;
    if (in.empty() || out.empty() || src.data == nullptr) return INTERNAL;
    const PixelFormat& pf = src.format;
    TileView iv{nullptr, in.x, in.y, in.width, in.height, pf.channels, pf.dtype, 0};
    if (same_rect(src.rect, in) || st.edge_mode == kNoEdgeMode) {
        if (!contains(src.rect, in)) return INTERNAL;
        iv.data = pixel_at(src, in.x, in.y);
        iv.row_stride = static_cast<int64_t>(src.stride);
    } else {
        // Assemble the input in the edge slot: the rows the producer has, then the rest by the edge rule.
        const Rect have = intersect(in, src.rect);
        if (have.empty()) return INTERNAL;
        uint64_t row = 0, total = 0;
        PYXA_TRY(rect_bytes(in, pf.pixel, &row, &total));
        PYXA_TRY(arena.edge.reserve(total));
        const RectBuffer slot{arena.edge.data.get(), in, row, pf};
        for (uint64_t i = 0; i < have.height; ++i) {
            const int64_t y = have.y + static_cast<int64_t>(i);
            std::memcpy(pixel_at(slot, have.x, y), pixel_at(src, have.x, y), have.width * pf.pixel);
        }
        fill_rect_border(slot.data, in, row, have, edge_rule(t, pf));
        iv.data = slot.data;
        iv.row_stride = static_cast<int64_t>(row);
    }
    const PixelFormat& of = plan.formats[t];
    const TileView ov{dest, out.x, out.y, out.width, out.height, of.channels, of.dtype, static_cast<int64_t>(dest_stride)};
    const KernelStep& s = plan.step(t);
    const uint64_t t0 = timed ? monotonic_ns() : 0;
    s.tile(s.context(), &iv, &ov);
    if (timed) profile->add(t, elapsed_ns(t0, monotonic_ns()));
    return OK;
}

Status ChainRunner::run_tile(const Rect& tile, const RectBuffer& input, const RectBuffer& output) {
    PYXA_TRY(plan_tile(plan, tile));
    clear_caches();  // slot contents change from tile to tile
    const size_t last_needed = last_needed_step(plan);
    const size_t final_seg = segment_of(plan, last_needed);
    const bool skipped = final_seg + 1 < plan.segments.size();
    RectBuffer src = input;
    int ping = 0;
    for (size_t s = 0; s <= final_seg; ++s) {
        const ChainSegment& seg = plan.segments[s];
        const Rect r = plan.stages[seg.last].out_rect;
        const PixelFormat& f = plan.formats[seg.last];
        uint8_t* dest = nullptr;
        uint64_t stride = 0;
        RectBuffer made;
        bool edge_prep = false;
        if (s == final_seg) {
            // Skipped trailing copies only shift rows: land them at the tile's own place.
            const Rect d = skipped ? tile : r;
            if (r.width != d.width || r.height != d.height || !contains(output.rect, d)) return INTERNAL;
            if (f.pixel != output.format.pixel) return INTERNAL;
            dest = pixel_at(output, d.x, d.y);
            stride = output.stride;
        } else {
            if (r.empty()) {
                src = RectBuffer{nullptr, Rect{}, 0, f};
                continue;
            }
            Rect b = r;
            const ChainSegment& next = plan.segments[s + 1];
            const StepStage& ns = plan.stages[next.first];
            if (next.tile && ns.edge_mode != kNoEdgeMode && !same_rect(ns.in_rect, r)) {
                // Lay the buffer out for the tile step's request; the border is filled afterwards.
                if (!contains(ns.in_rect, r)) return INTERNAL;
                b = ns.in_rect;
                edge_prep = true;
            }
            uint64_t row = 0, total = 0;
            PYXA_TRY(rect_bytes(b, f.pixel, &row, &total));
            ScratchSlot& slot = arena.ping[ping];
            PYXA_TRY(slot.reserve(total));
            made = RectBuffer{slot.data.get(), b, row, f};
            dest = pixel_at(made, r.x, r.y);
            stride = row;
        }
        if (seg.tile) {
            PYXA_TRY(run_tile_step(seg.first, src, dest, stride));
        } else {
            PYXA_TRY(run_rows(seg, src, dest, stride, s == final_seg ? last_needed : seg.last));
        }
        if (s == final_seg) break;
        if (edge_prep) fill_rect_border(made.data, made.rect, made.stride, r, edge_rule(seg.last + 1, f));
        src = made;
        ping ^= 1;
    }
    return OK;
}

}  // namespace pyxa
