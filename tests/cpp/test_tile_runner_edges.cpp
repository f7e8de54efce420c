// Tile runner on tiles at the far edges of a chain: tiles lying wholly in a
// border wider than a tile, borders whose forward rule offers more than the
// consumer wants, and input-less steps ahead of a tile step.
#include <gtest/gtest.h>

#include <algorithm>

#include "synthetic_steps.hpp"

using namespace pyxa;
using namespace pyxa::testing;

namespace {

// Borders around a source image, made by the step itself from the source span
// its request names: `constant` writes `value`, otherwise the edge pixel is
// repeated.
struct BorderParams {
    int64_t top = 0, left = 0, bottom = 0, right = 0;
    int64_t src_h = 0, src_w = 0;
    bool constant = true;
    uint8_t value = 0;
    CallLog log;
};

int64_t clamp_to(int64_t v, int64_t n) { return std::min(std::max<int64_t>(v, 0), n - 1); }

Status border_request(const void* ctx, int64_t x, int64_t y, uint64_t w, RowRequest* out) {
    const auto* p = static_cast<const BorderParams*>(ctx);
    *out = RowRequest{};
    int64_t sy = y - p->top;
    int64_t x0 = x - p->left, x1 = x0 + static_cast<int64_t>(w);
    if (p->constant) {
        if (sy < 0 || sy >= p->src_h) return OK;
        x0 = std::max<int64_t>(x0, 0);
        x1 = std::min(x1, p->src_w);
        if (x1 <= x0) return OK;
    } else {
        sy = clamp_to(sy, p->src_h);
        x1 = clamp_to(x1 - 1, p->src_w) + 1;
        x0 = clamp_to(x0, p->src_w);
    }
    *out = RowRequest{x0, sy, static_cast<uint64_t>(x1 - x0), 1, 0};
    return OK;
}

// Offers the shifted input and, once it touches a source edge, the whole
// border beyond that edge: more than any one tile wants.
Rect border_offer(const void* ctx, const Rect& in, const Rect&) {
    const auto* p = static_cast<const BorderParams*>(ctx);
    int64_t x0 = in.x + p->left, y0 = in.y + p->top;
    int64_t x1 = x0 + static_cast<int64_t>(in.width), y1 = y0 + static_cast<int64_t>(in.height);
    if (in.x == 0) x0 = 0;
    if (in.y == 0) y0 = 0;
    if (in.x + static_cast<int64_t>(in.width) == p->src_w) x1 = p->left + p->src_w + p->right;
    if (in.y + static_cast<int64_t>(in.height) == p->src_h) y1 = p->top + p->src_h + p->bottom;
    return Rect{x0, y0, static_cast<uint64_t>(x1 - x0), static_cast<uint64_t>(y1 - y0)};
}

void border_run(void* ctx, const SpanView* rows, const SpanView* out) {
    auto* p = static_cast<BorderParams*>(ctx);
    const SpanView& r = rows[0];
    const auto* src = static_cast<const uint8_t*>(r.data);
    auto* dst = static_cast<uint8_t*>(out->data);
    for (uint64_t i = 0; i < out->len; ++i) {
        int64_t sx = out->x0 + static_cast<int64_t>(i) - p->left;
        if (!p->constant) sx = clamp_to(sx, p->src_w);
        const bool have = src != nullptr && sx >= r.x0 && sx < r.x0 + static_cast<int64_t>(r.len);
        dst[i] = have ? src[sx - r.x0] : p->value;
    }
    p->log.rows.push_back(out->y);
    p->log.inputs.push_back(r);
}

KernelStep border_step(std::shared_ptr<BorderParams> p) {
    KernelStep s = make_step(KernelKind::Span, p);
    s.span = border_run;
    s.request = border_request;
    s.forward = border_offer;
    return s;
}

std::vector<uint8_t> pattern(uint64_t h, uint64_t w) {
    std::vector<uint8_t> v(h * w);
    for (uint64_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>((i % w) * 5 + (i / w) * 17 + 3);
    return v;
}

std::vector<uint8_t> mirrored_columns(const std::vector<uint8_t>& in, uint64_t h, uint64_t w) {
    std::vector<uint8_t> out(h * w);
    for (uint64_t y = 0; y < h; ++y)
        for (uint64_t x = 0; x < w; ++x) out[y * w + x] = in[y * w + (w - 1 - x)];
    return out;
}

std::vector<uint8_t> bordered(const std::vector<uint8_t>& in, const BorderParams& p) {
    const int64_t oh = p.top + p.src_h + p.bottom, ow = p.left + p.src_w + p.right;
    std::vector<uint8_t> out(static_cast<size_t>(oh * ow));
    for (int64_t y = 0; y < oh; ++y)
        for (int64_t x = 0; x < ow; ++x) {
            int64_t sy = y - p.top, sx = x - p.left;
            uint8_t v = p.value;
            if (!p.constant) {
                v = in[ref_edge(sy, p.src_h) * p.src_w + ref_edge(sx, p.src_w)];
            } else if (sy >= 0 && sy < p.src_h && sx >= 0 && sx < p.src_w) {
                v = in[sy * p.src_w + sx];
            }
            out[y * ow + x] = v;
        }
    return out;
}

struct EdgeCase {
    int64_t h, w, top, left, bottom, right;
    bool constant;
};

std::shared_ptr<BorderParams> border_params(const EdgeCase& c) {
    auto b = std::make_shared<BorderParams>();
    *b = BorderParams{c.top, c.left, c.bottom, c.right, c.h, c.w, c.constant, 201, {}};
    return b;
}

std::pair<uint64_t, uint64_t> padded_size(const EdgeCase& c) {
    return {static_cast<uint64_t>(c.top + c.h + c.bottom), static_cast<uint64_t>(c.left + c.w + c.right)};
}

// Every tile makes each of its rows once: border calls over all tiles.
size_t rows_over_tiles(std::pair<uint64_t, uint64_t> size) {
    return static_cast<size_t>(size.first * ((size.second + kTileSize - 1) / kTileSize));
}

class BorderTiles : public ::testing::TestWithParam<EdgeCase> {};

// The tile step hands a tile of its image to the border; tiles of the border
// that need no source pixel get only placeholder rows.
TEST_P(BorderTiles, BorderAfterTileStep) {
    const EdgeCase c = GetParam();
    auto f = std::make_shared<FlipParams>();
    f->width = static_cast<uint64_t>(c.w);
    auto b = border_params(c);
    ChainHarness hs;
    hs.steps = {flip_step(f), border_step(b)};
    const auto in = pattern(c.h, c.w);
    const uint64_t sh = static_cast<uint64_t>(c.h), sw = static_cast<uint64_t>(c.w);
    ASSERT_EQ(hs.run({{sh, sw}, {sh, sw}, padded_size(c)}, in), OK);
    EXPECT_EQ(hs.out_mem, bordered(mirrored_columns(in, sh, sw), *b));
    EXPECT_EQ(b->log.rows.size(), rows_over_tiles(padded_size(c)));
}

// The border ends a row run whose trailing identity tile step is skipped: the
// run writes straight into the tile's place and must make exactly that tile.
TEST_P(BorderTiles, BorderBeforeSkippedIdentityTile) {
    const EdgeCase c = GetParam();
    auto a = std::make_shared<AddParams>();
    a->add = 6;
    auto b = border_params(c);
    auto f = std::make_shared<FlipParams>();
    f->identity = true;
    ChainHarness hs;
    hs.steps = {add_step(a), border_step(b), flip_step(f)};
    const auto in = pattern(c.h, c.w);
    std::vector<uint8_t> added(in);
    for (auto& v : added) v = static_cast<uint8_t>(v + 6);
    const uint64_t sh = static_cast<uint64_t>(c.h), sw = static_cast<uint64_t>(c.w);
    const auto ps = padded_size(c);
    ASSERT_EQ(hs.run({{sh, sw}, {sh, sw}, ps, ps}, in), OK);
    EXPECT_EQ(hs.out_mem, bordered(added, *b));
    EXPECT_EQ(b->log.rows.size(), rows_over_tiles(ps));
}

// The border feeds a tile step: its row run fills a ping-pong slot shaped by
// the tile's request alone.
TEST_P(BorderTiles, BorderIntoTileStep) {
    const EdgeCase c = GetParam();
    auto b = border_params(c);
    auto f = std::make_shared<FlipParams>();
    const auto ps = padded_size(c);
    f->width = ps.second;
    ChainHarness hs;
    hs.steps = {border_step(b), flip_step(f)};
    const auto in = pattern(c.h, c.w);
    const uint64_t sh = static_cast<uint64_t>(c.h), sw = static_cast<uint64_t>(c.w);
    ASSERT_EQ(hs.run({{sh, sw}, ps, ps}, in), OK);
    EXPECT_EQ(hs.out_mem, mirrored_columns(bordered(in, *b), ps.first, ps.second));
    EXPECT_EQ(b->log.rows.size(), rows_over_tiles(ps));
}

// An input-less step, then a tile step, then the border: tiles of the
// constant image pass through the tile step into the border.
TEST_P(BorderTiles, ConstantImageThroughTileStepIntoBorder) {
    const EdgeCase c = GetParam();
    auto k = std::make_shared<ConstParams>();
    k->value = 42;
    auto f = std::make_shared<FlipParams>();
    f->width = static_cast<uint64_t>(c.w);
    auto b = border_params(c);
    ChainHarness hs;
    hs.steps = {const_step(k), flip_step(f), border_step(b)};
    const auto in = pattern(c.h, c.w);
    const uint64_t sh = static_cast<uint64_t>(c.h), sw = static_cast<uint64_t>(c.w);
    ASSERT_EQ(hs.run({{sh, sw}, {sh, sw}, {sh, sw}, padded_size(c)}, in), OK);
    EXPECT_EQ(hs.out_mem, bordered(std::vector<uint8_t>(in.size(), 42), *b));
    EXPECT_EQ(b->log.rows.size(), rows_over_tiles(padded_size(c)));
}

INSTANTIATE_TEST_SUITE_P(
    TileRunnerEdges, BorderTiles,
    ::testing::Values(EdgeCase{5, 20, 0, 300, 0, 300, true},    // tiles wholly in left or right border
                      EdgeCase{5, 20, 0, 300, 0, 300, false},
                      EdgeCase{300, 3, 0, 1, 300, 5, true},     // bottom border wider than a tile
                      EdgeCase{300, 3, 0, 1, 300, 5, false},
                      EdgeCase{7, 5, 1, 300, 5, 2, true},
                      EdgeCase{7, 5, 260, 0, 0, 260, false},    // a tile touching no source row or column
                      EdgeCase{260, 270, 2, 3, 1, 4, true}));   // narrow borders on a multi-tile source

}  // namespace
