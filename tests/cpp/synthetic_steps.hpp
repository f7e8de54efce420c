// Synthetic kernel steps for the chain planner and tile runner tests: small
// uint8 single-channel kernels with their own geometry rules and call records,
// plus a harness that binds arrays, builds the planner and runs one chain.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "engine/kernel_chain/rect_math.hpp"
#include "engine/kernel_chain/run_chain.hpp"
#include "engine_test_graph.hpp"

namespace pyxa::testing {

struct CallLog {
    std::vector<int64_t> rows;       // output row (row steps) of every kernel call
    std::vector<Rect> tiles;         // output rect of every tile call
    std::vector<bool> shared_edge;   // window calls: first and last row share memory
    std::vector<SpanView> inputs;    // first input row of every call
    std::vector<const void*> outputs;  // where every call wrote
};

// out = in + add (mod 256).
struct AddParams {
    uint8_t add = 0;
    CallLog log;
};
inline void add_run(void* ctx, const PixelRun* in, const PixelRun* out) {
    auto* p = static_cast<AddParams*>(ctx);
    auto* src = static_cast<const uint8_t*>(in->data);
    auto* dst = static_cast<uint8_t*>(out->data);
    for (uint64_t i = 0; i < out->len * out->channels; ++i) dst[i] = static_cast<uint8_t>(src[i] + p->add);
    p->log.rows.push_back(0);
    p->log.outputs.push_back(out->data);
}

// A 3x3 window kernel: out = sum of weight[r][c] * in[y + r - 1][x + c - 1] (mod 256).
struct WindowParams {
    CallLog log;
};
inline int window_weight(int r, int c) { return 1 + 3 * r + c * c + r * c; }
inline void window_run(void* ctx, const SpanView* rows, uint64_t n, const SpanView* out) {
    auto* p = static_cast<WindowParams*>(ctx);
    auto* dst = static_cast<uint8_t*>(out->data);
    for (uint64_t x = 0; x < out->len; ++x) {
        unsigned acc = 0;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                const auto* s = static_cast<const uint8_t*>(rows[r].data);
                acc += window_weight(r, c) * s[x + c];
            }
        dst[x] = static_cast<uint8_t>(acc);
    }
    p->log.rows.push_back(out->y);
    p->log.shared_edge.push_back(n == 3 && rows[0].data == rows[2].data);
    p->log.inputs.push_back(rows[0]);
}
inline Status window_request(const void*, int64_t x, int64_t y, uint64_t w, RowRequest* out) {
    *out = RowRequest{x - 1, y - 1, w + 2, 3, 0};
    return OK;
}

// A view that shifts by (left, top): copy requests only; its kernel must never run.
struct ShiftParams {
    int64_t left = 0, top = 0;
    CallLog log;
};
inline void shift_run(void* ctx, const SpanView*, const SpanView* out) {
    static_cast<ShiftParams*>(ctx)->log.rows.push_back(out->y);
}
inline Status shift_request(const void* ctx, int64_t x, int64_t y, uint64_t w, RowRequest* out) {
    auto* p = static_cast<const ShiftParams*>(ctx);
    *out = RowRequest{x + p->left, y + p->top, w, 1, 1};
    return OK;
}
inline Rect shift_forward(const void* ctx, const Rect& in, const Rect&) {
    auto* p = static_cast<const ShiftParams*>(ctx);
    return Rect{in.x - p->left, in.y - p->top, in.width, in.height};
}

// Writes a constant from no input; records the placeholder row it receives.
struct ConstParams {
    uint8_t value = 0;
    CallLog log;
};
inline void const_run(void* ctx, const SpanView* rows, const SpanView* out) {
    auto* p = static_cast<ConstParams*>(ctx);
    std::memset(out->data, p->value, out->len);
    p->log.rows.push_back(out->y);
    p->log.inputs.push_back(rows[0]);
}
inline Status no_input_request(const void*, int64_t, int64_t, uint64_t, RowRequest* out) {
    *out = RowRequest{};
    return OK;
}

// Tile step mirroring columns of an image `width` wide (or copying when identity).
struct FlipParams {
    uint64_t width = 0;
    bool identity = false;
    CallLog log;
};
inline Status flip_region(const void* ctx, const Rect& r, Rect* out) {
    auto* p = static_cast<const FlipParams*>(ctx);
    *out = r;
    if (!p->identity) out->x = static_cast<int64_t>(p->width) - r.x - static_cast<int64_t>(r.width);
    return OK;
}
inline void flip_run(void* ctx, const TileView* in, const TileView* out) {
    auto* p = static_cast<FlipParams*>(ctx);
    for (uint64_t y = 0; y < out->height; ++y) {
        const auto* s = static_cast<const uint8_t*>(in->data) + (out->y0 + y - in->y0) * in->row_stride;
        auto* d = static_cast<uint8_t*>(out->data) + y * out->row_stride;
        for (uint64_t x = 0; x < out->width; ++x) {
            const int64_t ox = out->x0 + static_cast<int64_t>(x);
            const int64_t sx = p->identity ? ox : static_cast<int64_t>(p->width) - 1 - ox;
            d[x] = s[sx - in->x0];
        }
    }
    p->log.tiles.push_back(Rect{out->x0, out->y0, out->width, out->height});
}

// A tile step computing the 3x3 window of its input rect; it asks one pixel
// beyond its output on every side and relies on its edge rule there.
struct BoxTileParams {
    int64_t width = 0, height = 0;  // of the image, whose borders the edge rule supplies
    CallLog log;
};
inline Status box_source(const void*, const Rect& r, Rect* out) {
    *out = Rect{r.x - 1, r.y - 1, r.width + 2, r.height + 2};
    return OK;
}
// Pixels whose whole window is available: one fewer on every side that is not an image border.
inline Status box_output(const void* ctx, const Rect& r, Rect* out) {
    auto* p = static_cast<const BoxTileParams*>(ctx);
    int64_t x0 = r.x, y0 = r.y, x1 = r.x + static_cast<int64_t>(r.width), y1 = r.y + static_cast<int64_t>(r.height);
    x0 = x0 <= 0 ? 0 : x0 + 1;
    y0 = y0 <= 0 ? 0 : y0 + 1;
    x1 = x1 >= p->width ? p->width : x1 - 1;
    y1 = y1 >= p->height ? p->height : y1 - 1;
    *out = x1 > x0 && y1 > y0 ? Rect{x0, y0, static_cast<uint64_t>(x1 - x0), static_cast<uint64_t>(y1 - y0)} : Rect{};
    return OK;
}
inline void box_run(void* ctx, const TileView* in, const TileView* out) {
    for (uint64_t y = 0; y < out->height; ++y)
        for (uint64_t x = 0; x < out->width; ++x) {
            unsigned acc = 0;
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) {
                    const int64_t sy = out->y0 + static_cast<int64_t>(y) + r - 1 - in->y0;
                    const int64_t sx = out->x0 + static_cast<int64_t>(x) + c - 1 - in->x0;
                    acc += window_weight(r, c) * static_cast<const uint8_t*>(in->data)[sy * in->row_stride + sx];
                }
            static_cast<uint8_t*>(out->data)[y * out->row_stride + x] = static_cast<uint8_t>(acc);
        }
    static_cast<BoxTileParams*>(ctx)->log.tiles.push_back(Rect{out->x0, out->y0, out->width, out->height});
}

template <class P>
KernelStep make_step(KernelKind kind, std::shared_ptr<P> params) {
    KernelStep s;
    s.kind = kind;
    s.params = params;
    s.request = same_row_request;
    s.forward = same_rect_forward;
    return s;
}

inline KernelStep add_step(std::shared_ptr<AddParams> p) {
    KernelStep s = make_step(KernelKind::Pointwise, p);
    s.pointwise = add_run;
    return s;
}
inline KernelStep window_step(std::shared_ptr<WindowParams> p, uint8_t mode = 0, std::vector<uint8_t> pattern = {}) {
    KernelStep s = make_step(KernelKind::Demosaic, p);
    s.demosaic = window_run;
    s.request = window_request;
    s.forward = nullptr;
    s.edge_mode = mode;
    s.edge_pattern = std::move(pattern);
    return s;
}
inline KernelStep shift_step(std::shared_ptr<ShiftParams> p) {
    KernelStep s = make_step(KernelKind::Span, p);
    s.span = shift_run;
    s.request = shift_request;
    s.forward = shift_forward;
    return s;
}
inline KernelStep const_step(std::shared_ptr<ConstParams> p) {
    KernelStep s = make_step(KernelKind::Span, p);
    s.span = const_run;
    s.request = no_input_request;
    return s;
}
inline KernelStep flip_step(std::shared_ptr<FlipParams> p) {
    KernelStep s = make_step(KernelKind::Orientation, p);
    s.request = nullptr;
    s.forward = nullptr;
    s.tile = flip_run;
    s.source_region = flip_region;
    s.output_region = flip_region;
    s.tile_copy = p->identity;
    return s;
}

inline KernelStep box_tile_step(std::shared_ptr<BoxTileParams> p, uint8_t mode) {
    KernelStep s = make_step(KernelKind::Orientation, p);
    s.request = nullptr;
    s.forward = nullptr;
    s.tile = box_run;
    s.source_region = box_source;
    s.output_region = box_output;
    s.edge_mode = mode;
    return s;
}

// A line of steps: tensor k feeds step k, which writes tensor k + 1.
struct ChainHarness {
    TestGraph tg;
    std::vector<KernelStep> steps;
    std::vector<uint8_t> in_mem, out_mem;
    TensorTable table;
    BufferPlanner planner;
    KernelChain chain;
    Graph graph;
    bool has_input = true;

    // sizes[k] = (height, width) of tensor k; sizes.size() == steps.size() + 1.
    Status run(const std::vector<std::pair<uint64_t, uint64_t>>& sizes, const std::vector<uint8_t>& input,
               ProfileList* profile = nullptr) {
        for (size_t k = 0; k < sizes.size(); ++k) tg.tensor(static_cast<uint32_t>(k + 1), sizes[k].first, sizes[k].second);
        if (has_input) tg.inputs = {1};
        tg.outputs = {static_cast<uint32_t>(sizes.size())};
        for (size_t k = 0; k < steps.size(); ++k) {
            std::vector<uint32_t> ins;
            if (k > 0 || has_input) ins.push_back(static_cast<uint32_t>(k + 1));
            tg.node("step", ins, {static_cast<uint32_t>(k + 2)}, static_cast<uint32_t>(10 + k));
        }
        for (const auto& d : tg.descs) table[d.id] = &d;
        std::vector<TensorBinding> ins;
        if (has_input) {
            ins.push_back(bind(*tg.desc(1), in_mem));
            in_mem = input;
            ins[0].data = in_mem.data();
        }
        TensorBinding out = bind(*tg.desc(tg.outputs[0]), out_mem);
        graph = tg.graph();
        PYXA_TRY(build_planner(graph, table, ins.data(), ins.size(), &out, 1, &planner));
        for (size_t k = 0; k < steps.size(); ++k) {
            ChainStep cs;
            PYXA_TRY(make_chain_step(steps[k], static_cast<uint32_t>(10 + k), &cs));
            chain.nodes.push_back(k);
            chain.steps.push_back(cs);
        }
        return run_chain(planner, chain, profile, kUnboundedTileWidth, kTileSize);
    }
};

// Independent border maps, written as repeated reflection rather than modular arithmetic.
inline int64_t ref_reflect(int64_t i, int64_t n) {
    if (n == 1) return 0;
    while (i < 0 || i >= n) i = i < 0 ? -i : 2 * (n - 1) - i;
    return i;
}
inline int64_t ref_symmetric(int64_t i, int64_t n) {
    while (i < 0 || i >= n) i = i < 0 ? -i - 1 : 2 * n - 1 - i;
    return i;
}
inline int64_t ref_edge(int64_t i, int64_t n) { return i < 0 ? 0 : (i >= n ? n - 1 : i); }

}  // namespace pyxa::testing
