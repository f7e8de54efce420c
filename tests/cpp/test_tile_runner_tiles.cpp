// Tile runner on chains with tile steps: the 256 x 256 grid, ping-pong slots,
// skipped identity tile steps, and sampled profiling arithmetic.
#include <gtest/gtest.h>

#include "engine/kernel_chain/profile_state.hpp"
#include "synthetic_steps.hpp"

using namespace pyxa;
using namespace pyxa::testing;

namespace {

std::vector<uint8_t> pattern(uint64_t h, uint64_t w) {
    std::vector<uint8_t> v(h * w);
    for (uint64_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>((i % w) * 3 + (i / w) * 11);
    return v;
}

std::vector<uint8_t> flipped(const std::vector<uint8_t>& in, uint64_t h, uint64_t w, uint8_t add) {
    std::vector<uint8_t> out(h * w);
    for (uint64_t y = 0; y < h; ++y)
        for (uint64_t x = 0; x < w; ++x) out[y * w + x] = static_cast<uint8_t>(in[y * w + (w - 1 - x)] + add);
    return out;
}

TEST(TileRunner, PointwiseThenTileStepMakesTwoTiles) {
    auto a = std::make_shared<AddParams>();
    a->add = 4;
    auto f = std::make_shared<FlipParams>();
    f->width = 300;
    ChainHarness hs;
    hs.steps = {add_step(a), flip_step(f)};
    const auto in = pattern(200, 300);
    ASSERT_EQ(hs.run({{200, 300}, {200, 300}, {200, 300}}, in), OK);
    EXPECT_EQ(hs.out_mem, flipped(in, 200, 300, 4));
    ASSERT_EQ(f->log.tiles.size(), 2u);
    EXPECT_TRUE(same_rect(f->log.tiles[0], Rect{0, 0, 256, 200}));
    EXPECT_TRUE(same_rect(f->log.tiles[1], Rect{256, 0, 44, 200}));
}

TEST(TileRunner, TrailingIdentityTileStepIsSkipped) {
    auto a = std::make_shared<AddParams>();
    a->add = 9;
    auto f = std::make_shared<FlipParams>();
    f->width = 300;
    f->identity = true;
    ChainHarness hs;
    hs.steps = {add_step(a), flip_step(f)};
    const auto in = pattern(200, 300);
    ASSERT_EQ(hs.run({{200, 300}, {200, 300}, {200, 300}}, in), OK);
    std::vector<uint8_t> want(in);
    for (auto& v : want) v = static_cast<uint8_t>(v + 9);
    EXPECT_EQ(hs.out_mem, want);
    EXPECT_TRUE(f->log.tiles.empty());
    EXPECT_EQ(a->log.rows.size(), 400u);  // 200 rows in each of two tiles
}

struct GridCase {
    uint64_t h, w;
};

class ThreeSegments : public ::testing::TestWithParam<GridCase> {};

TEST_P(ThreeSegments, PingPongSlotsCarryTilesBetweenSegments) {
    const auto [h, w] = GetParam();
    auto f1 = std::make_shared<FlipParams>();
    f1->width = w;
    auto a = std::make_shared<AddParams>();
    a->add = 77;
    auto f2 = std::make_shared<FlipParams>();
    f2->width = w;
    ChainHarness hs;
    hs.steps = {flip_step(f1), add_step(a), flip_step(f2)};
    const auto in = pattern(h, w);
    ASSERT_EQ(hs.run({{h, w}, {h, w}, {h, w}, {h, w}}, in), OK);
    std::vector<uint8_t> want(in);
    for (auto& v : want) v = static_cast<uint8_t>(v + 77);
    EXPECT_EQ(hs.out_mem, want);
    const uint64_t tiles = ((h + 255) / 256) * ((w + 255) / 256);
    EXPECT_EQ(f1->log.tiles.size(), tiles);
    EXPECT_EQ(f2->log.tiles.size(), tiles);
}

INSTANTIATE_TEST_SUITE_P(TileRunner, ThreeSegments,
                         ::testing::Values(GridCase{300, 600}, GridCase{1, 1}, GridCase{1, 513}, GridCase{257, 3}));

TEST(TileRunner, WindowRowRunFeedsATileStep) {
    auto win = std::make_shared<WindowParams>();
    auto f = std::make_shared<FlipParams>();
    f->width = 270;
    ChainHarness hs;
    hs.steps = {window_step(win), flip_step(f)};
    const auto in = pattern(260, 270);
    ASSERT_EQ(hs.run({{260, 270}, {260, 270}, {260, 270}}, in), OK);
    // Reference: 3x3 window with reflected borders, then a column flip.
    std::vector<uint8_t> w(260 * 270);
    for (int64_t y = 0; y < 260; ++y)
        for (int64_t x = 0; x < 270; ++x) {
            unsigned acc = 0;
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    acc += window_weight(r, c) * in[ref_reflect(y + r - 1, 260) * 270 + ref_reflect(x + c - 1, 270)];
            w[y * 270 + x] = static_cast<uint8_t>(acc);
        }
    EXPECT_EQ(hs.out_mem, flipped(w, 260, 270, 0));
}

// Window over an image with borders by the edge rule, plus a constant after it.
std::vector<uint8_t> box_reference(const std::vector<uint8_t>& in, int64_t h, int64_t w, uint8_t mode) {
    std::vector<uint8_t> out(h * w);
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            unsigned acc = 0;
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) {
                    const int64_t sy = y + r - 1, sx = x + c - 1;
                    uint8_t v = 0;
                    if (mode == 0) v = in[ref_reflect(sy, h) * w + ref_reflect(sx, w)];
                    if (mode == 2) v = in[ref_edge(sy, h) * w + ref_edge(sx, w)];
                    if (mode == 3 && sy >= 0 && sy < h && sx >= 0 && sx < w) v = in[sy * w + sx];
                    acc += window_weight(r, c) * v;
                }
            out[y * w + x] = static_cast<uint8_t>(acc);
        }
    return out;
}

struct BoxCase {
    uint64_t h, w;
    uint8_t mode;
    bool after_tile;  // fed by a tile step (edge slot) or by a row run (edge preparation)
};

class EdgeTileStep : public ::testing::TestWithParam<BoxCase> {};

TEST_P(EdgeTileStep, InputRectIsCompletedByTheEdgeRule) {
    const auto [h, w, mode, after_tile] = GetParam();
    auto box = std::make_shared<BoxTileParams>();
    box->width = static_cast<int64_t>(w);
    box->height = static_cast<int64_t>(h);
    auto f = std::make_shared<FlipParams>();
    f->width = w;
    auto a = std::make_shared<AddParams>();
    a->add = 3;
    ChainHarness hs;
    hs.steps = {after_tile ? flip_step(f) : add_step(a), box_tile_step(box, mode)};
    const auto in = pattern(h, w);
    ASSERT_EQ(hs.run({{h, w}, {h, w}, {h, w}}, in), OK);
    const auto mid = after_tile ? flipped(in, h, w, 0) : [&] {
        std::vector<uint8_t> v(in);
        for (auto& e : v) e = static_cast<uint8_t>(e + 3);
        return v;
    }();
    const auto want = box_reference(mid, h, w, mode);
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(hs.out_mem[i], want[i]) << "row " << i / w << " column " << i % w;
    EXPECT_EQ(box->log.tiles.size(), ((h + 255) / 256) * ((w + 255) / 256));
}

INSTANTIATE_TEST_SUITE_P(TileRunner, EdgeTileStep,
                         ::testing::Values(BoxCase{5, 7, 0, false}, BoxCase{300, 270, 0, false},
                                           BoxCase{300, 270, 2, true}, BoxCase{9, 260, 3, true},
                                           BoxCase{260, 4, 3, false}, BoxCase{2, 2, 0, true}));

TEST(TileRunner, TileStepOutputsOneEntryPerStep) {
    auto a = std::make_shared<AddParams>();
    auto f = std::make_shared<FlipParams>();
    f->width = 11 * 256;
    ChainHarness hs;
    hs.steps = {add_step(a), flip_step(f)};
    ProfileList prof;
    ASSERT_EQ(hs.run({{1, 11 * 256}, {1, 11 * 256}, {1, 11 * 256}}, pattern(1, 11 * 256), &prof), OK);
    ASSERT_EQ(prof.size(), 2u);
    EXPECT_EQ(prof[0].node_id, 10u);
    EXPECT_EQ(prof[1].node_id, 11u);
}

// Which of n tiles (or rows) are measured, and with what scale.
struct SampleCase {
    uint64_t n;
    std::vector<uint64_t> measured;
};

class Sampling : public ::testing::TestWithParam<SampleCase> {};

TEST_P(Sampling, OneInTenIsMeasuredAndScaled) {
    ProfileState p(1);
    std::vector<uint64_t> measured;
    for (uint64_t i = 0; i < GetParam().n; ++i)
        if (p.decide()) {
            measured.push_back(i);
            p.add(0, 1000 + i);
        }
    EXPECT_EQ(measured, GetParam().measured);
    uint64_t sum = 0;
    for (uint64_t i : measured) sum += 1000 + i;
    EXPECT_EQ(p.estimate(0), sum * GetParam().n / measured.size());
}

INSTANTIATE_TEST_SUITE_P(TileRunner, Sampling,
                         ::testing::Values(SampleCase{9, {0}}, SampleCase{10, {0}}, SampleCase{11, {0, 10}},
                                           SampleCase{25, {0, 10, 20}}, SampleCase{1, {0}}));

TEST(Sampling, NothingMeasuredGivesZero) {
    ProfileState p(2);
    EXPECT_EQ(p.estimate(0), 0u);
    p.add(1, 500);  // time without a sampled tile still counts nothing
    EXPECT_EQ(p.estimate(1), 0u);
}

TEST(Sampling, EstimatesSaturate) {
    ProfileState p(1);
    for (int i = 0; i < 3; ++i) p.add(0, ~0ull);
    p.sampled = 1;
    p.total = ~0ull;
    EXPECT_EQ(p.estimate(0), ~0ull);
    ProfileState q(1);
    q.acc[0] = ~static_cast<U128>(0) - 5;
    q.add(0, 100);  // the accumulator saturates instead of wrapping
    EXPECT_EQ(q.acc[0], ~static_cast<U128>(0));
}

}  // namespace
