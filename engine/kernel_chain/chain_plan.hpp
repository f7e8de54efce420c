// Per-run planning state of one chain: segments, the tile grid and one stage per
// step holding the current tile's row requests and rects.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/kernel_chain/plan_items.hpp"
#include "engine/kernel_chain/row_cache.hpp"

namespace pyxa {

// A maximal run of row steps, or one tile step; `first`..`last` index chain steps.
struct ChainSegment {
    bool tile = false;
    size_t first = 0;
    size_t last = 0;
};

// Pixel format and extent of a step's output (or of the chain input).
struct PixelFormat {
    uint64_t channels = 0;
    uint32_t dtype = 0;
    uint64_t pixel = 0;    // bytes per pixel
    uint64_t element = 0;  // bytes per element
    Rect extent;           // (0, 0, width, height) of the tensor
};

struct StepStage {
    std::vector<RowRequest> requests;  // one per output row, from first_row on
    int64_t first_row = 0;
    Rect out_rect;
    Rect in_rect;
    uint8_t edge_mode = kNoEdgeMode;
    std::vector<uint8_t> edge_pattern;
    RowCache cache;
    std::vector<SpanView> fetched;  // the rows handed to the kernel for one output row

    void reset() {
        requests.clear();
        first_row = 0;
        out_rect = Rect{};
        in_rect = Rect{};
    }
};

struct ChainPlan {
    const KernelChain* chain = nullptr;
    std::vector<ChainSegment> segments;
    std::vector<StepStage> stages;
    std::vector<PixelFormat> formats;  // output format per step
    bool has_input = false;
    PixelFormat input;                 // chain input format (extent empty without input)

    const KernelStep& step(size_t k) const { return *chain->steps[k].step; }
    bool is_tile(size_t k) const { return chain->steps[k].step_class == StepClass::Tile; }
    bool has_tile_step() const;
    // Format of what step k reads: the previous step's output or the chain input.
    const PixelFormat& producer_format(size_t k) const { return k == 0 ? input : formats[k - 1]; }
};

// Maximal row runs and single tile steps, in chain order.
std::vector<ChainSegment> segment_chain(const KernelChain& chain);

struct TileGrid {
    uint64_t width = 0, height = 0;  // the chain output
    uint64_t tile_width = 0, tile_height = 0, cols = 0, rows = 0;
    // Tiles row band by row band, left to right; edge tiles cut to the image.
    Rect tile(uint64_t index) const;
    uint64_t count() const { return cols * rows; }
};

// Whole image as one tile without a tile step; tile_size squares otherwise.
Status make_tile_grid(uint64_t width, uint64_t height, bool has_tile_step, uint64_t max_tile_width,
                      uint64_t tile_size, TileGrid* grid);

// Backward request planning for one tile, then the forward availability check.
Status plan_tile(ChainPlan& plan, const Rect& tile);

// Fills one stage's requests for `out` (step k's rule) and its in_rect.
Status make_requests(ChainPlan& plan, size_t k, const Rect& out);

}  // namespace pyxa
