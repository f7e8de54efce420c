// Chain set-up (buffers, formats, stages, segments, grid, scratch, profiling)
// and the loop over tiles.
#include "engine/kernel_chain/run_chain.hpp"

#include <algorithm>
#include <new>

#include "engine/kernel_chain/chain_runner.hpp"

namespace pyxa {
namespace {

PixelFormat format_of(uint64_t channels, int32_t dtype, uint64_t width, uint64_t height) {
    PixelFormat f;
    f.channels = channels;
    f.dtype = static_cast<uint32_t>(dtype);
    f.element = element_size(dtype);
    f.pixel = pixel_size(dtype, channels);
    f.extent = Rect{0, 0, width, height};
    return f;
}

// Whether two views share a byte between their first pixels and the ends of their last rows.
bool views_overlap(const ImageView& a, const PixelFormat& fa, const ImageView& b, const PixelFormat& fb) {
    if (a.height == 0 || a.width == 0 || b.height == 0 || b.width == 0) return false;
    const auto first_a = reinterpret_cast<uintptr_t>(a.data), first_b = reinterpret_cast<uintptr_t>(b.data);
    const uintptr_t end_a = first_a + (a.height - 1) * a.row_stride + a.width * fa.pixel;
    const uintptr_t end_b = first_b + (b.height - 1) * b.row_stride + b.width * fb.pixel;
    return first_a < end_b && first_b < end_a;
}

RectBuffer whole(const ImageView& v, const PixelFormat& f) {
    return RectBuffer{static_cast<uint8_t*>(v.data), f.extent, v.row_stride, f};
}

Status set_up_formats(const BufferPlanner& p, const KernelChain& chain, const ChainEnds& ends, ChainPlan& plan) {
    plan.formats.resize(chain.steps.size());
    for (size_t k = 0; k < chain.steps.size(); ++k) {
        const GraphNode& node = p.graph->nodes[chain.nodes[k]];
        const TensorDesc* d = node.output_count ? p.desc(node.outputs[0]) : nullptr;
        if (d == nullptr) return INTERNAL;
        plan.formats[k] = format_of(d->channels, d->dtype, d->width, d->height);
        if (plan.formats[k].pixel == 0) return INVALID_ARGUMENT;
    }
    const PixelFormat& last = plan.formats.back();
    const ImageView& o = ends.output;
    if (!view_layout_valid(o)) return INVALID_ARGUMENT;
    if (o.channels != last.channels || static_cast<uint32_t>(o.dtype) != last.dtype || o.width != last.extent.width ||
        o.height != last.extent.height)
        return INTERNAL;
    plan.has_input = ends.has_input;
    if (ends.has_input) {
        plan.input = format_of(ends.input.channels, ends.input.dtype, ends.input.width, ends.input.height);
    } else {
        // Without an input, empty requests still hand a placeholder row of some format.
        plan.input = plan.formats[0];
        plan.input.extent = Rect{};
    }
    return OK;
}

Status set_up_stages(const KernelChain& chain, ChainPlan& plan) {
    plan.stages.resize(chain.steps.size());
    for (size_t k = 0; k < chain.steps.size(); ++k) {
        const KernelStep& s = *chain.steps[k].step;
        const uint8_t mode = s.edge_mode;
        if (mode != kNoEdgeMode && mode > static_cast<uint8_t>(PadMode::Constant)) return INTERNAL;
        if (!step_complete(s, true)) return INTERNAL;
        plan.stages[k].edge_mode = mode;
        plan.stages[k].edge_pattern = s.edge_pattern;
    }
    return OK;
}

// A lone tile step writes straight into the output, so its tiles only set its
// memory walk. When each output row comes from one whole source row (the
// flips), full-width bands move every row as one long run the prefetcher can
// follow; other steps keep square tiles, which bound the source rows a
// transpose touches at once.
bool whole_row_bands(const ChainPlan& plan, uint64_t width) {
    if (plan.stages.size() != 1 || !plan.is_tile(0) || plan.stages[0].edge_mode != kNoEdgeMode) return false;
    const KernelStep& s = plan.step(0);
    Rect src;
    return s.source_region(s.context(), Rect{0, 0, width, 1}, &src) == OK && src.height == 1 && src.width == width;
}

// Both ping-pong slots start at 2 x T x T x P when tiles pass between segments.
Status set_up_arena(ChainRunner& r, uint64_t tile_size) {
    if (!r.plan.has_tile_step() || r.plan.segments.size() < 2) return OK;
    uint64_t widest = r.plan.has_input ? r.plan.input.pixel : 0;
    for (const PixelFormat& f : r.plan.formats) widest = std::max(widest, f.pixel);
    uint64_t bytes = 0;
    if (!checked_mul(tile_size, tile_size, &bytes) || !checked_mul(bytes, widest, &bytes) ||
        !checked_mul(bytes, 2, &bytes))
        return OUT_OF_MEMORY;
    PYXA_TRY(r.arena.ping[0].reserve(bytes));
    return r.arena.ping[1].reserve(bytes);
}

Status run(BufferPlanner& planner, const KernelChain& chain, ProfileList* profile, uint64_t max_tile_width,
           uint64_t tile_size) {
    if (chain.nodes.empty() || chain.nodes.size() != chain.steps.size() || planner.graph == nullptr) return INTERNAL;
    for (const ChainStep& cs : chain.steps)
        if (cs.step == nullptr) return INTERNAL;
    ChainEnds ends;
    PYXA_TRY(chain_endpoints(planner, chain.nodes, &ends));

    ChainRunner r;
    r.plan.chain = &chain;
    PYXA_TRY(set_up_formats(planner, chain, ends, r.plan));
    PYXA_TRY(set_up_stages(chain, r.plan));
    r.plan.segments = segment_chain(chain);
    r.input_shares_output =
        ends.has_input && views_overlap(ends.input, r.plan.input, ends.output, r.plan.formats.back());
    const bool tiled = r.plan.has_tile_step();
    TileGrid grid;
    PYXA_TRY(make_tile_grid(ends.output.width, ends.output.height, tiled, max_tile_width, tile_size, &grid));
    if (tiled && whole_row_bands(r.plan, ends.output.width)) {
        grid.tile_width = std::min(ends.output.width, max_tile_width);
        grid.cols = ends.output.width / grid.tile_width + (ends.output.width % grid.tile_width != 0);
    }
    PYXA_TRY(set_up_arena(r, tile_size));
    std::optional<ProfileState> prof;
    if (profile) {
        prof.emplace(chain.steps.size());
        r.profile = &*prof;
        r.row_sampling = !tiled;
    }

    const RectBuffer input =
        ends.has_input ? whole(ends.input, r.plan.input) : RectBuffer{nullptr, Rect{}, 0, r.plan.input};
    const RectBuffer output = whole(ends.output, r.plan.formats.back());
    for (uint64_t t = 0; t < grid.count(); ++t) {
        r.timed = tiled && prof ? prof->decide() : false;
        PYXA_TRY(r.run_tile(grid.tile(t), input, output));
    }
    if (prof) prof->append(chain, *profile);
    release_chain(planner, chain.nodes, ends.has_input, ends.input_id, ends.output_id);
    return OK;
}

}  // namespace

Status run_chain(BufferPlanner& planner, const KernelChain& chain, ProfileList* profile, uint64_t max_tile_width,
                 uint64_t tile_size) {
    try {
        return run(planner, chain, profile, max_tile_width, tile_size);
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    }
}

}  // namespace pyxa
