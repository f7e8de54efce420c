// State of one chain run: the plan, the row pool, the scratch arena, the
// profiling state, and the pull pipeline that produces rows on demand.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/kernel_chain/border_fill.hpp"
#include "engine/kernel_chain/chain_plan.hpp"
#include "engine/kernel_chain/profile_state.hpp"
#include "engine/kernel_chain/row_pool.hpp"
#include "engine/kernel_chain/scratch_arena.hpp"

namespace pyxa {

// A rect of pixels in memory: `data` is the first byte of pixel (rect.x, rect.y).
struct RectBuffer {
    uint8_t* data = nullptr;
    Rect rect;
    uint64_t stride = 0;
    PixelFormat format;
};

struct ChainRunner {
    ChainPlan plan;
    RowPool pool;
    ScratchArena arena;
    ProfileState* profile = nullptr;
    bool timed = false;         // kernel calls of the current tile or row are measured
    bool row_sampling = false;  // no tile step: the sampling decision is per output row

    // The row run being executed and the image its first step reads.
    size_t run_first = 0;
    RectBuffer source;

    ~ChainRunner();

    // Runs the segments of one planned tile, writing into the chain output.
    Status run_tile(const Rect& tile, const RectBuffer& input, const RectBuffer& output);

    // Row pipeline (row_pipeline.cpp).
    // Rows of step `last` of a run (or, folded, the rows of `from` that the
    // copy steps after it would only move) go to dest, one per `dest_stride`.
    Status run_rows(const ChainSegment& seg, const RectBuffer& src, uint8_t* dest, uint64_t dest_stride,
                    size_t last_needed);
    Status produce(size_t k, int64_t y, uint8_t* dest);
    Status fetch(size_t k, const RowRequest& req, const SpanView** rows);

    // Tile steps (tile_runner.cpp).
    Status run_tile_step(size_t t, const RectBuffer& src, uint8_t* dest, uint64_t dest_stride);

    EdgeRule edge_rule(size_t k, const PixelFormat& f) const {
        return EdgeRule{plan.stages[k].edge_mode, &plan.stages[k].edge_pattern, f.pixel, f.element};
    }
    void clear_caches();

private:
    Status pass_through(size_t k, const RowRequest& req, const Rect& p, bool* done);
    Status set_layout(size_t k, const RowRequest& req, const Rect& p, bool from_image, bool col_edges);
    Status ensure_rows(size_t k, int64_t lo, int64_t hi, const Rect& p, const PixelFormat& pf, bool from_image);
    Status make_row(size_t k, int64_t r, const Rect& p, const PixelFormat& pf, bool from_image, CachedRow* row);
    Status constant_row(size_t k, const PixelFormat& pf, uint8_t** base);
    std::optional<int64_t> map_row(size_t k, int64_t y, const Rect& p) const;
    std::optional<int64_t> folded_first_row(size_t ln, size_t last) const;
    Status call_kernel(size_t k, const RowRequest& req, const SpanView* rows, const SpanView& out);
};

}  // namespace pyxa
