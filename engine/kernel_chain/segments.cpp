// Segmentation of a chain and its tile grid.
#include <algorithm>

#include "engine/kernel_chain/chain_plan.hpp"

namespace pyxa {

bool ChainPlan::has_tile_step() const {
    for (const ChainSegment& s : segments)
        if (s.tile) return true;
    return false;
}

std::vector<ChainSegment> segment_chain(const KernelChain& chain) {
    std::vector<ChainSegment> out;
    for (size_t k = 0; k < chain.steps.size(); ++k) {
        const bool tile = chain.steps[k].step_class == StepClass::Tile;
        if (!tile && !out.empty() && !out.back().tile) {
            out.back().last = k;
            continue;
        }
        out.push_back(ChainSegment{tile, k, k});
    }
    return out;
}

Rect TileGrid::tile(uint64_t index) const {
    const uint64_t x = (index % cols) * tile_width, y = (index / cols) * tile_height;
    return Rect{static_cast<int64_t>(x), static_cast<int64_t>(y), std::min(tile_width, width - x),
                std::min(tile_height, height - y)};
}

Status make_tile_grid(uint64_t width, uint64_t height, bool has_tile_step, uint64_t max_tile_width,
                      uint64_t tile_size, TileGrid* grid) {
    if (width == 0 || height == 0) return INVALID_ARGUMENT;
    TileGrid g;
    g.width = width;
    g.height = height;
    if (has_tile_step) {
        g.tile_width = std::min(tile_size, max_tile_width);
        g.tile_height = tile_size;
    } else {
        g.tile_width = std::min(width, max_tile_width);
        g.tile_height = height;
    }
    if (g.tile_width == 0 || g.tile_height == 0) return INTERNAL;
    g.cols = width / g.tile_width + (width % g.tile_width != 0);
    g.rows = height / g.tile_height + (height % g.tile_height != 0);
    *grid = g;
    return OK;
}

}  // namespace pyxa
