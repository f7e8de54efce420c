// Chain grouping: which consecutive nodes share a chain and where chains split.
#include <gtest/gtest.h>

#include "engine/kernel_chain/plan_items.hpp"
#include "engine_test_graph.hpp"

using namespace pyxa;
using pyxa::testing::TestGraph;

namespace {

Status no_region(const void*, const Rect& r, Rect* out) {
    *out = r;
    return OK;
}
void no_tile(void*, const TileView*, const TileView*) {}

KernelStep step_of(KernelKind kind) {
    KernelStep s;
    s.kind = kind;
    if (kind == KernelKind::Orientation) {
        s.tile = no_tile;
        s.source_region = no_region;
        s.output_region = no_region;
    } else if (kind != KernelKind::Opcode) {
        s.request = same_row_request;
        s.forward = same_rect_forward;
    }
    return s;
}

struct Grouped {
    TestGraph tg;
    std::vector<KernelStep> steps;
    std::unordered_map<uint32_t, uint64_t> counts;
    std::vector<PlanItem> items;

    void add(KernelKind kind, std::vector<uint32_t> ins, std::vector<uint32_t> outs) {
        for (uint32_t t : ins) ++counts[t];
        tg.node("n", std::move(ins), std::move(outs), static_cast<uint32_t>(steps.size()) + 100);
        steps.push_back(step_of(kind));
    }
    Status group() {
        std::vector<size_t> order(steps.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        const Graph g = tg.graph();
        return group_plan_items(g, order, steps, counts, &items);
    }
    // Items as lists of node indices; opcode items as {-1 - index}.
    std::vector<std::vector<long>> shape() const {
        std::vector<std::vector<long>> out;
        for (const auto& it : items) {
            if (it.is_opcode) {
                out.push_back({-1 - static_cast<long>(it.node)});
                continue;
            }
            out.emplace_back(it.chain.nodes.begin(), it.chain.nodes.end());
        }
        return out;
    }
};

constexpr KernelKind P = KernelKind::Pointwise;
constexpr KernelKind O = KernelKind::Opcode;

TEST(ChainGrouping, ThreePointwiseInALineFormOneChain) {
    Grouped g;
    g.tg.outputs = {4};
    g.add(P, {1}, {2});
    g.add(KernelKind::Span, {2}, {3});
    g.add(KernelKind::Demosaic, {3}, {4});
    ASSERT_EQ(g.group(), OK);
    EXPECT_EQ(g.shape(), (std::vector<std::vector<long>>{{0, 1, 2}}));
    const auto& steps = g.items[0].chain.steps;
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[1].row_kind, KernelKind::Span);
    EXPECT_EQ(steps[2].node_id, 102u);
    EXPECT_EQ(steps[2].step, &g.steps[2]);
}

TEST(ChainGrouping, SplitsAtGraphOutput) {
    Grouped g;
    g.tg.outputs = {3, 2};
    g.add(P, {1}, {2});
    g.add(P, {2}, {3});
    ASSERT_EQ(g.group(), OK);
    EXPECT_EQ(g.shape(), (std::vector<std::vector<long>>{{0}, {1}}));
}

TEST(ChainGrouping, SplitsAtTensorReadTwice) {
    Grouped g;
    g.tg.outputs = {3, 4};
    g.add(P, {1}, {2});
    g.add(P, {2}, {3});
    g.add(P, {2}, {4});
    ASSERT_EQ(g.group(), OK);
    EXPECT_EQ(g.shape(), (std::vector<std::vector<long>>{{0}, {1}, {2}}));
}

TEST(ChainGrouping, TwoInputNodeOnlyOpensAChain) {
    Grouped g;
    g.tg.outputs = {5};
    g.add(P, {1}, {2});
    g.add(P, {2, 9}, {3});
    g.add(P, {3}, {5});
    ASSERT_EQ(g.group(), OK);
    EXPECT_EQ(g.shape(), (std::vector<std::vector<long>>{{0}, {1, 2}}));
}

TEST(ChainGrouping, TwoOutputNodeClosesItsChain) {
    Grouped g;
    g.tg.outputs = {3, 4};
    g.add(P, {1}, {2, 4});
    g.add(P, {2}, {3});
    ASSERT_EQ(g.group(), OK);
    EXPECT_EQ(g.shape(), (std::vector<std::vector<long>>{{0}, {1}}));
}

TEST(ChainGrouping, OpcodeBetweenChainsGivesThreeItems) {
    Grouped g;
    g.tg.outputs = {4};
    g.add(P, {1}, {2});
    g.add(O, {2}, {3});
    g.add(P, {3}, {4});
    ASSERT_EQ(g.group(), OK);
    EXPECT_EQ(g.shape(), (std::vector<std::vector<long>>{{0}, {-2}, {2}}));
}

TEST(ChainGrouping, NextMustReadThePreviousOutput) {
    Grouped g;
    g.tg.outputs = {3, 5};
    g.add(P, {1}, {3});
    g.add(P, {4}, {5});
    ASSERT_EQ(g.group(), OK);
    EXPECT_EQ(g.shape(), (std::vector<std::vector<long>>{{0}, {1}}));
}

TEST(ChainGrouping, TileStepsJoinChains) {
    Grouped g;
    g.tg.outputs = {4};
    g.add(P, {1}, {2});
    g.add(KernelKind::Orientation, {2}, {3});
    g.add(P, {3}, {4});
    ASSERT_EQ(g.group(), OK);
    ASSERT_EQ(g.shape(), (std::vector<std::vector<long>>{{0, 1, 2}}));
    EXPECT_EQ(g.items[0].chain.steps[1].step_class, StepClass::Tile);
}

TEST(ChainGrouping, OpcodeStepCannotBecomeAChainStep) {
    ChainStep cs;
    EXPECT_EQ(make_chain_step(step_of(O), 1, &cs), INTERNAL);
    KernelStep broken = step_of(P);
    broken.request = nullptr;
    EXPECT_EQ(make_chain_step(broken, 1, &cs), INTERNAL);
}

}  // namespace
