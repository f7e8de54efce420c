// Chain planning: segments, the tile grid, backward requests and the forward
// availability check, on synthetic steps.
#include <gtest/gtest.h>

#include "engine/kernel_chain/chain_plan.hpp"
#include "synthetic_steps.hpp"

using namespace pyxa;
using namespace pyxa::testing;

namespace {

struct GridCase {
    uint64_t w, h;
    bool tile;
    uint64_t cols, rows;
    Rect last;
};

class Grid : public ::testing::TestWithParam<GridCase> {};

TEST_P(Grid, CutsTheOutput) {
    const GridCase c = GetParam();
    TileGrid g;
    ASSERT_EQ(make_tile_grid(c.w, c.h, c.tile, kUnboundedTileWidth, kTileSize, &g), OK);
    EXPECT_EQ(g.cols, c.cols);
    EXPECT_EQ(g.rows, c.rows);
    EXPECT_TRUE(same_rect(g.tile(g.count() - 1), c.last));
    EXPECT_TRUE(same_rect(g.tile(0), Rect{0, 0, std::min<uint64_t>(c.tile ? 256 : c.w, c.w),
                                          std::min<uint64_t>(c.tile ? 256 : c.h, c.h)}));
}

INSTANTIATE_TEST_SUITE_P(Planning, Grid,
                         ::testing::Values(GridCase{600, 300, true, 3, 2, Rect{512, 256, 88, 44}},
                                           GridCase{4000, 3000, false, 1, 1, Rect{0, 0, 4000, 3000}},
                                           GridCase{256, 256, true, 1, 1, Rect{0, 0, 256, 256}},
                                           GridCase{1, 1, true, 1, 1, Rect{0, 0, 1, 1}}));

TEST(Planning, SecondTileOfABandStartsAfterTheFirst) {
    TileGrid g;
    ASSERT_EQ(make_tile_grid(600, 300, true, kUnboundedTileWidth, kTileSize, &g), OK);
    EXPECT_TRUE(same_rect(g.tile(1), Rect{256, 0, 256, 256}));
    EXPECT_TRUE(same_rect(g.tile(3), Rect{0, 256, 256, 44}));
}

KernelChain chain_of(const std::vector<KernelStep>& steps) {
    KernelChain c;
    for (size_t k = 0; k < steps.size(); ++k) {
        ChainStep cs;
        EXPECT_EQ(make_chain_step(steps[k], static_cast<uint32_t>(k), &cs), OK);
        c.nodes.push_back(k);
        c.steps.push_back(cs);
    }
    return c;
}

TEST(Planning, SegmentsSplitAtTileSteps) {
    auto a = std::make_shared<AddParams>();
    auto f = std::make_shared<FlipParams>();
    const std::vector<KernelStep> steps = {add_step(a), const_step(std::make_shared<ConstParams>()), flip_step(f),
                                           add_step(a)};
    const KernelChain c = chain_of(steps);
    const auto segs = segment_chain(c);
    ASSERT_EQ(segs.size(), 3u);
    EXPECT_FALSE(segs[0].tile);
    EXPECT_EQ(segs[0].first, 0u);
    EXPECT_EQ(segs[0].last, 1u);
    EXPECT_TRUE(segs[1].tile);
    EXPECT_EQ(segs[1].first, 2u);
    EXPECT_EQ(segs[2].first, 3u);
}

struct Planned {
    std::vector<KernelStep> steps;
    KernelChain chain;
    ChainPlan plan;
    void set_up(std::vector<KernelStep> s, const std::vector<Rect>& extents, const Rect& input) {
        steps = std::move(s);
        chain = chain_of(steps);
        plan.chain = &chain;
        plan.segments = segment_chain(chain);
        plan.stages.resize(steps.size());
        plan.formats.resize(steps.size());
        for (size_t k = 0; k < steps.size(); ++k) {
            plan.formats[k].extent = extents[k];
            plan.stages[k].edge_mode = steps[k].edge_mode;
        }
        plan.has_input = !input.empty();
        plan.input.extent = input;
    }
};

TEST(Planning, PointwiseBeforeWindowIsClippedToTheInput) {
    Planned p;
    p.set_up({add_step(std::make_shared<AddParams>()), window_step(std::make_shared<WindowParams>())},
             {Rect{0, 0, 8, 6}, Rect{0, 0, 8, 6}}, Rect{0, 0, 8, 6});
    ASSERT_EQ(plan_tile(p.plan, Rect{0, 0, 8, 6}), OK);
    EXPECT_TRUE(same_rect(p.plan.stages[1].in_rect, Rect{-1, -1, 10, 8}));
    EXPECT_TRUE(same_rect(p.plan.stages[0].out_rect, Rect{0, 0, 8, 6}));
    ASSERT_EQ(p.plan.stages[0].requests.size(), 6u);
    EXPECT_EQ(p.plan.stages[0].requests[0].y, 0);
    EXPECT_EQ(p.plan.stages[1].requests[5].y, 4);
    EXPECT_EQ(p.plan.stages[1].requests[5].rows, 3u);
}

TEST(Planning, ViewRequestsAreShiftedCopies) {
    auto v = std::make_shared<ShiftParams>();
    v->left = 3;
    v->top = 2;
    Planned p;
    p.set_up({add_step(std::make_shared<AddParams>()), shift_step(v)}, {Rect{0, 0, 10, 10}, Rect{0, 0, 4, 5}},
             Rect{0, 0, 10, 10});
    ASSERT_EQ(plan_tile(p.plan, Rect{0, 0, 4, 5}), OK);
    const RowRequest& r = p.plan.stages[1].requests[4];
    EXPECT_EQ(r.copy, 1);
    EXPECT_EQ(r.x, 3);
    EXPECT_EQ(r.y, 6);
    EXPECT_TRUE(same_rect(p.plan.stages[0].out_rect, Rect{3, 2, 4, 5}));
}

TEST(Planning, InputLessStepAsksItsProducerForNothing) {
    Planned p;
    p.set_up({add_step(std::make_shared<AddParams>()), const_step(std::make_shared<ConstParams>())},
             {Rect{0, 0, 4, 4}, Rect{0, 0, 4, 4}}, Rect{0, 0, 4, 4});
    ASSERT_EQ(plan_tile(p.plan, Rect{0, 0, 4, 4}), OK);
    EXPECT_TRUE(p.plan.stages[1].in_rect.empty());
    EXPECT_TRUE(p.plan.stages[0].out_rect.empty());
    EXPECT_TRUE(p.plan.stages[0].requests.empty());
}

TEST(Planning, FirstTileStepMustFindItsRegionInTheInput) {
    auto f = std::make_shared<FlipParams>();
    f->width = 10;  // mirrors about a wider image than the 8-pixel input
    Planned p;
    p.set_up({flip_step(f)}, {Rect{0, 0, 8, 4}}, Rect{0, 0, 8, 4});
    EXPECT_EQ(plan_tile(p.plan, Rect{0, 0, 8, 4}), INVALID_ARGUMENT);
}

TEST(Planning, ForwardCheckRefusesOutputsNobodyCanMake) {
    auto v = std::make_shared<ShiftParams>();
    v->left = -2;  // reads two columns left of its input
    Planned p;
    p.set_up({add_step(std::make_shared<AddParams>()), shift_step(v)}, {Rect{0, 0, 6, 3}, Rect{0, 0, 6, 3}},
             Rect{0, 0, 6, 3});
    EXPECT_EQ(plan_tile(p.plan, Rect{0, 0, 6, 3}), INVALID_ARGUMENT);
}

TEST(Planning, ChainWithoutInputCannotReadOne) {
    Planned p;
    p.set_up({add_step(std::make_shared<AddParams>())}, {Rect{0, 0, 2, 2}}, Rect{});
    EXPECT_EQ(plan_tile(p.plan, Rect{0, 0, 2, 2}), INVALID_ARGUMENT);
}

}  // namespace
