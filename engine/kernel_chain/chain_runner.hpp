// State of one chain run: the plan, the row pool, the scratch arena, the
// profiling state, and the pull pipeline that produces rows on demand.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

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

// One suspended call of the pull pipeline: step k fetching the rows `req`
// names and, when `produce` is set, then making its output row y into dest.
// Rows are pulled through a stack of these instead of by recursion, so a
// chain's length costs heap memory, never C stack.
struct PullFrame {
    enum class At : uint8_t { Begin, Rows, AfterProducerRow, AfterPassThrough };
    At at = At::Begin;
    size_t k = 0;
    bool produce = false;
    int64_t y = 0;
    uint8_t* dest = nullptr;
    RowRequest req;
    int64_t next_row = 0, end_row = 0;  // producer rows still to make into the cache
    CachedRow row;                      // the row the producer is making (At::AfterProducerRow)
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
    // The chain writes over the memory of its own input (an in-place call):
    // input rows are copied before a kernel sees them, so no kernel ever reads
    // and writes one address through two pointers.
    bool input_shares_output = false;

    ~ChainRunner();

    // Runs the segments of one planned tile, writing into the chain output.
    Status run_tile(const Rect& tile, const RectBuffer& input, const RectBuffer& output);

    // Row pipeline (row_pipeline.cpp).
    // Rows of step `last` of a run (or, folded, the rows of `from` that the
    // copy steps after it would only move) go to dest, one per `dest_stride`.
    Status run_rows(const ChainSegment& seg, const RectBuffer& src, uint8_t* dest, uint64_t dest_stride,
                    size_t last_needed);
    // Makes row y of step k into dest, pulling what it needs from the producers.
    Status produce(size_t k, int64_t y, uint8_t* dest);

    // Tile steps (tile_runner.cpp).
    Status run_tile_step(size_t t, const RectBuffer& src, uint8_t* dest, uint64_t dest_stride);

    EdgeRule edge_rule(size_t k, const PixelFormat& f) const {
        return EdgeRule{plan.stages[k].edge_mode, &plan.stages[k].edge_pattern, f.pixel, f.element};
    }
    void clear_caches();

private:
    std::vector<PullFrame> frames;  // the pull stack, kept between rows

    // The pull stack: each call runs the top frame until it finishes or
    // pushes the frame it waits on.
    Status advance();
    Status begin(size_t f);
    Status make_rows(size_t f);
    Status complete(size_t f);
    void abandon_frames();

    // The pieces of one fetch and one produce (row_pipeline.cpp).
    Status row_request(size_t k, int64_t y, RowRequest* req) const;
    Status finish_produce(size_t k, int64_t y, uint8_t* dest, const RowRequest& req);
    Status check_fetch(size_t k, const RowRequest& req, bool* col_edges, bool* row_edges) const;
    std::optional<RowRequest> pass_through_request(size_t k, const RowRequest& req) const;
    void take_passed_rows(size_t k, const RowRequest& req);
    Status start_rows(size_t k, const RowRequest& req, bool col_edges, int64_t* start, int64_t* hi);
    Status begin_row(size_t k, int64_t r, CachedRow* row, uint8_t** producer_dest);
    void end_row(size_t k, CachedRow* row);
    Status fill_fetched(size_t k, const RowRequest& req);
    Rect producer_rect(size_t k) const;
    const PixelFormat& read_format(size_t k) const;
    Status set_layout(size_t k, const RowRequest& req, const Rect& p, bool from_image, bool col_edges);
    Status constant_row(size_t k, const PixelFormat& pf, uint8_t** base);
    std::optional<int64_t> map_row(size_t k, int64_t y, const Rect& p) const;
    std::optional<int64_t> folded_first_row(size_t ln, size_t last) const;
    Status call_kernel(size_t k, const RowRequest& req, const SpanView* rows, const SpanView& out);
};

}  // namespace pyxa
