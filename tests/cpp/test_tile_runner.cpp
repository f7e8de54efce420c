// Tile runner on row chains: sliding windows, edge rows and columns by every
// edge rule, copy pass-through and the placeholder row of input-less steps.
#include <gtest/gtest.h>

#include <cstring>

#include "synthetic_steps.hpp"

using namespace pyxa;
using namespace pyxa::testing;

namespace {

std::vector<uint8_t> ramp(uint64_t h, uint64_t w) {
    std::vector<uint8_t> v(h * w);
    for (uint64_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 7 + i / w * 13 + 1);
    return v;
}

// Reference of window(in + a) + b under an edge rule; constant samples are `fill`.
std::vector<uint8_t> window_reference(const std::vector<uint8_t>& in, int64_t h, int64_t w, uint8_t mode, uint8_t fill,
                                      uint8_t a, uint8_t b) {
    std::vector<uint8_t> out(h * w);
    auto sample = [&](int64_t y, int64_t x) -> uint8_t {
        int64_t my = y, mx = x;
        switch (mode) {
            case 0: my = ref_reflect(y, h); mx = ref_reflect(x, w); break;
            case 1: my = ref_symmetric(y, h); mx = ref_symmetric(x, w); break;
            case 2: my = ref_edge(y, h); mx = ref_edge(x, w); break;
            default:
                if (y < 0 || y >= h || x < 0 || x >= w) return fill;
        }
        return static_cast<uint8_t>(in[my * w + mx] + a);
    };
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x) {
            unsigned acc = 0;
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) acc += window_weight(r, c) * sample(y + r - 1, x + c - 1);
            out[y * w + x] = static_cast<uint8_t>(static_cast<uint8_t>(acc) + b);
        }
    return out;
}

struct WindowCase {
    uint64_t h, w;
    uint8_t mode;
};

class WindowChain : public ::testing::TestWithParam<WindowCase> {};

TEST_P(WindowChain, MatchesReferenceAndProducesEachRowOnce) {
    const auto [h, w, mode] = GetParam();
    auto pre = std::make_shared<AddParams>();
    pre->add = 5;
    auto win = std::make_shared<WindowParams>();
    auto post = std::make_shared<AddParams>();
    post->add = 200;
    ChainHarness hs;
    hs.steps = {add_step(pre), window_step(win, mode, {9}), add_step(post)};
    const auto in = ramp(h, w);
    ASSERT_EQ(hs.run({{h, w}, {h, w}, {h, w}, {h, w}}, in), OK);
    EXPECT_EQ(hs.out_mem, window_reference(in, h, w, mode, 9, 5, 200));
    // The window slides: each producer row is made once (mirrored rows are shared, not remade).
    EXPECT_EQ(pre->log.rows.size(), h);
    EXPECT_EQ(win->log.rows.size(), h);
}

INSTANTIATE_TEST_SUITE_P(Runner, WindowChain,
                         ::testing::Values(WindowCase{5, 7, 0}, WindowCase{1, 1, 0}, WindowCase{1, 9, 0},
                                           WindowCase{9, 1, 0}, WindowCase{2, 2, 0}, WindowCase{6, 5, 1},
                                           WindowCase{1, 4, 1}, WindowCase{6, 5, 2}, WindowCase{3, 1, 2},
                                           WindowCase{6, 5, 3}, WindowCase{1, 1, 3}, WindowCase{40, 33, 0}));

TEST(Runner, WindowAsFirstStepReadsInputInPlaceWithMirroredRowsShared) {
    auto win = std::make_shared<WindowParams>();
    ChainHarness hs;
    hs.steps = {window_step(win)};
    const auto in = ramp(4, 6);
    ASSERT_EQ(hs.run({{4, 6}, {4, 6}}, in), OK);
    EXPECT_EQ(hs.out_mem, window_reference(in, 4, 6, 0, 0, 0, 0));
    ASSERT_EQ(win->log.rows.size(), 4u);
    // Row -1 is row 1 and row 4 is row 2: one buffer each.
    EXPECT_TRUE(win->log.shared_edge[0]);
    EXPECT_FALSE(win->log.shared_edge[1]);
    EXPECT_TRUE(win->log.shared_edge[3]);
    // Rows are labelled with their own (outside) index and the window's first column.
    EXPECT_EQ(win->log.inputs[0].y, -1);
    EXPECT_EQ(win->log.inputs[0].x0, -1);
    EXPECT_EQ(win->log.inputs[0].len, 8u);
}

TEST(Runner, CopyStepsPassRowsThroughWithoutRunning) {
    auto a = std::make_shared<AddParams>();
    a->add = 1;
    auto v = std::make_shared<ShiftParams>();
    v->left = 2;
    v->top = 1;
    auto b = std::make_shared<AddParams>();
    b->add = 10;
    ChainHarness hs;
    hs.steps = {add_step(a), shift_step(v), add_step(b)};
    const auto in = ramp(6, 8);
    ASSERT_EQ(hs.run({{6, 8}, {6, 8}, {4, 5}, {4, 5}}, in), OK);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(hs.out_mem[y * 5 + x], static_cast<uint8_t>(in[(y + 1) * 8 + x + 2] + 11)) << y << "," << x;
    EXPECT_TRUE(v->log.rows.empty());
    EXPECT_EQ(a->log.rows.size(), 4u);  // only the rows the view reads
}

TEST(Runner, TrailingCopyIsWrittenStraightIntoTheOutput) {
    auto a = std::make_shared<AddParams>();
    a->add = 3;
    auto v = std::make_shared<ShiftParams>();
    v->left = 1;
    ChainHarness hs;
    hs.steps = {add_step(a), shift_step(v)};
    const auto in = ramp(3, 4);
    ASSERT_EQ(hs.run({{3, 4}, {3, 4}, {3, 3}}, in), OK);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) ASSERT_EQ(hs.out_mem[y * 3 + x], static_cast<uint8_t>(in[y * 4 + x + 1] + 3));
    EXPECT_TRUE(v->log.rows.empty());
    // The pointwise step wrote its rows straight into the output array.
    ASSERT_EQ(a->log.outputs.size(), 3u);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(a->log.outputs[y], hs.out_mem.data() + 3 * y);
}

TEST(Runner, InputLessStepGetsThePlaceholderRow) {
    auto c = std::make_shared<ConstParams>();
    c->value = 42;
    auto a = std::make_shared<AddParams>();
    a->add = 1;
    ChainHarness hs;
    hs.has_input = false;
    hs.steps = {const_step(c), add_step(a)};
    ASSERT_EQ(hs.run({{3, 5}, {3, 5}, {3, 5}}, {}), OK);
    EXPECT_EQ(hs.out_mem, std::vector<uint8_t>(15, 43));
    ASSERT_EQ(c->log.inputs.size(), 3u);
    EXPECT_EQ(c->log.inputs[0].data, nullptr);
    EXPECT_EQ(c->log.inputs[0].len, 0u);
    EXPECT_EQ(c->log.inputs[0].channels, 1u);
}

TEST(Runner, DemosaicAskedBeyondItsImageIsRefused) {
    // A view reaching one column past the window's own image.
    auto win = std::make_shared<WindowParams>();
    auto v = std::make_shared<ShiftParams>();
    v->left = 1;
    ChainHarness hs;
    hs.steps = {window_step(win), shift_step(v)};
    EXPECT_EQ(hs.run({{3, 4}, {3, 4}, {3, 4}}, ramp(3, 4)), INVALID_ARGUMENT);
    EXPECT_TRUE(win->log.rows.empty());
}

TEST(Runner, NonEdgeStepAskedBeyondItsInputIsRefused) {
    auto a = std::make_shared<AddParams>();
    auto v = std::make_shared<ShiftParams>();
    v->top = 1;
    ChainHarness hs;
    hs.steps = {add_step(a), shift_step(v)};
    // The view's output is as tall as its input, so its last row has no source.
    EXPECT_EQ(hs.run({{3, 4}, {3, 4}, {3, 4}}, ramp(3, 4)), INVALID_ARGUMENT);
}

TEST(Runner, ProfileHasOneEntryPerStepInChainOrder) {
    auto a = std::make_shared<AddParams>();
    auto win = std::make_shared<WindowParams>();
    ChainHarness hs;
    hs.steps = {add_step(a), window_step(win)};
    ProfileList prof;
    ASSERT_EQ(hs.run({{25, 3}, {25, 3}, {25, 3}}, ramp(25, 3), &prof), OK);
    ASSERT_EQ(prof.size(), 2u);
    EXPECT_EQ(prof[0].node_id, 10u);
    EXPECT_EQ(prof[1].node_id, 11u);
}

TEST(Runner, ChainCountMismatchIsInternal) {
    ChainHarness hs;
    auto a = std::make_shared<AddParams>();
    hs.steps = {add_step(a)};
    ASSERT_EQ(hs.run({{2, 2}, {2, 2}}, ramp(2, 2)), OK);
    KernelChain broken = hs.chain;
    broken.steps.push_back(broken.steps[0]);
    EXPECT_EQ(run_chain(hs.planner, broken, nullptr, kUnboundedTileWidth, kTileSize), INTERNAL);
    EXPECT_EQ(run_chain(hs.planner, KernelChain{}, nullptr, kUnboundedTileWidth, kTileSize), INTERNAL);
}

}  // namespace
