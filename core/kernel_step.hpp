// A resolved node: its kernel family, typed routine, owned parameter block and
// the geometric rules through which the chain planner and tile runner use it
// without knowing which op it is.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/records.hpp"
#include "core/views.hpp"

namespace pyxa {

struct Rect {
    int64_t x = 0;
    int64_t y = 0;
    uint64_t width = 0;
    uint64_t height = 0;
    bool empty() const { return width == 0 || height == 0; }
};

// What one step needs from its producer to make one output row.
struct RowRequest {
    int64_t x = 0;
    int64_t y = 0;
    uint64_t width = 0;
    uint64_t rows = 0;
    uint8_t copy = 0;  // 1: the output row is exactly the requested input row
    bool empty() const { return width == 0 || rows == 0; }
};

enum class KernelKind : uint8_t { Pointwise = 0, Span = 1, Demosaic = 2, Orientation = 3, Opcode = 4 };

// Kernel shapes as the tile runner calls them; `ctx` is the step's parameter block.
using PointwiseRun = void (*)(void* ctx, const PixelRun* in, const PixelRun* out);
using SpanRun = void (*)(void* ctx, const SpanView* rows, const SpanView* out);
using DemosaicRun = void (*)(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out);
using TileRun = void (*)(void* ctx, const TileView* in, const TileView* out);

// Row steps: the input a step needs for output row y, columns [x, x + w).
using RowRequestRule = Status (*)(const void* ctx, int64_t x, int64_t y, uint64_t w, RowRequest* out);
// Row steps: the output rect a step can make from an input rect it receives;
// `wanted` is the rect its consumer asked for, which a rule may return when it
// can make all of it (a mirrored border needs no adjacent input).
using ForwardRule = Rect (*)(const void* ctx, const Rect& in, const Rect& wanted);
// Tile steps: source region of an output rect, or output region of a source rect.
using RegionRule = Status (*)(const void* ctx, const Rect& in, Rect* out);

struct KernelStep {
    KernelKind kind = KernelKind::Pointwise;
    // Constant edge rows: one pixel encoded in the step's dtype. No built-in op
    // sets it yet (pad reflects, repeats or mirrors at a chain edge); the runner
    // honours it for every step that does.
    std::vector<uint8_t> edge_pattern;
    uint8_t edge_mode = kNoEdgeMode;  // a PadMode, or kNoEdgeMode

    // The parameter block, owned by the step (type-erased; deleted correctly).
    // Routines only read it while they run.
    std::shared_ptr<void> params;
    // What a routine writes while it runs (the full edge-aware demosaic's green
    // cache), owned by the step apart from the read-only parameter block.
    std::shared_ptr<void> run_state;

    // Exactly one of these is set, by kind.
    PointwiseRun pointwise = nullptr;
    SpanRun span = nullptr;
    DemosaicRun demosaic = nullptr;
    TileRun tile = nullptr;
    OpcodeFn opcode = nullptr;
    // An opcode that copies its input first and then reads only its output:
    // it may run on its input's buffer (see run_opcode_item).
    bool opcode_in_place = false;

    // Geometry for the chain planner.
    RowRequestRule request = nullptr;     // row steps
    ForwardRule forward = nullptr;        // row steps (demosaic: unused by the forward check)
    RegionRule source_region = nullptr;   // tile steps
    RegionRule output_region = nullptr;   // tile steps
    bool tile_copy = false;               // tile step whose request is a plain copy (orientation 1)

    void* context() const { return params.get(); }
};

// Whether a step of a chain kind carries what it is run with: the request rule
// of a row step or the tile routine and region rules of a tile step, and with
// `with_routine` also a row step's routine. Grouping asks without, the runner with.
bool step_complete(const KernelStep& s, bool with_routine);

// Shared geometric rules.
Status same_row_request(const void* ctx, int64_t x, int64_t y, uint64_t w, RowRequest* out);
Rect same_rect_forward(const void* ctx, const Rect& in, const Rect& wanted);

}  // namespace pyxa
