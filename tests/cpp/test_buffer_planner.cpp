// Buffer planner: binding checks with their statuses, first-fit pool reuse,
// reference counting and chain endpoints.
#include <gtest/gtest.h>

#include <functional>

#include "engine/memory/buffer_planner.hpp"
#include "engine_test_graph.hpp"

using namespace pyxa;
using pyxa::testing::TestGraph;
using pyxa::testing::bind;

namespace {

// in(1) -> a -> mid(2) -> b -> out(3); mid is also read by c -> side(4).
struct Line {
    TestGraph tg;
    TensorTable table;
    std::vector<uint8_t> m_in, m_out, m_extra;
    std::vector<TensorBinding> ins, outs;

    Line() {
        tg.tensor(1, 4, 5, 1, UINT16);
        tg.tensor(2, 4, 5, 1, UINT16);
        tg.tensor(3, 4, 5, 3, UINT8);
        tg.tensor(4, 4, 5, 1, UINT16);
        tg.inputs = {1};
        tg.outputs = {3};
        tg.node("a", {1}, {2});
        tg.node("b", {2}, {3});
        tg.node("c", {2}, {4});
        for (const auto& d : tg.descs) table[d.id] = &d;
        ins = {bind(*tg.desc(1), m_in)};
        outs = {bind(*tg.desc(3), m_out)};
    }
    Status build(BufferPlanner* p) {
        const Graph g = tg.graph();
        graph = g;
        return build_planner(graph, table, ins.data(), ins.size(), outs.data(), outs.size(), p);
    }
    Graph graph;
};

struct BindingCase {
    const char* name;
    std::function<void(Line&)> mutate;
    Status expected;
};

class BindingStatus : public ::testing::TestWithParam<BindingCase> {};

TEST_P(BindingStatus, ReturnsTheStatusOfTheFirstFailingCheck) {
    Line l;
    GetParam().mutate(l);
    BufferPlanner p;
    EXPECT_EQ(l.build(&p), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Planner, BindingStatus,
    ::testing::Values(
        BindingCase{"valid", [](Line&) {}, OK},
        BindingCase{"input_two_pixels_wider", [](Line& l) { l.ins[0].width += 2; }, DIMENSION_MISMATCH},
        BindingCase{"stride_one_byte_over", [](Line& l) { l.ins[0].row_stride = 11; }, DIMENSION_MISMATCH},
        BindingCase{"stride_too_small", [](Line& l) { l.ins[0].row_stride = 8; }, DIMENSION_MISMATCH},
        BindingCase{"padded_stride_ok", [](Line& l) { l.ins[0].row_stride = 14; }, OK},
        BindingCase{"null_data", [](Line& l) { l.ins[0].data = nullptr; }, DIMENSION_MISMATCH},
        BindingCase{"wrong_dtype", [](Line& l) { l.ins[0].dtype = UINT8; }, DIMENSION_MISMATCH},
        BindingCase{"wrong_channels_out", [](Line& l) { l.outs[0].channels = 1; }, DIMENSION_MISMATCH},
        BindingCase{"input_bound_twice", [](Line& l) { l.ins.push_back(l.ins[0]); }, GRAPH_INVALID},
        BindingCase{"missing_input", [](Line& l) { l.ins.clear(); }, GRAPH_INVALID},
        BindingCase{"missing_output", [](Line& l) { l.outs.clear(); }, GRAPH_INVALID},
        BindingCase{"output_bound_twice", [](Line& l) { l.outs.push_back(l.outs[0]); }, GRAPH_INVALID},
        BindingCase{"output_binding_not_an_output",
                    [](Line& l) { l.outs.push_back(bind(*l.tg.desc(4), l.m_extra)); }, GRAPH_INVALID},
        BindingCase{"input_binding_for_graph_output",
                    [](Line& l) { l.ins.push_back(bind(*l.tg.desc(3), l.m_extra)); }, GRAPH_INVALID},
        BindingCase{"input_binding_for_output_listed_as_input",
                    [](Line& l) {
                        l.tg.inputs.push_back(3);
                        l.ins.push_back(bind(*l.tg.desc(3), l.m_extra));
                    },
                    GRAPH_INVALID},
        BindingCase{"extra_binding_nobody_reads",
                    [](Line& l) { l.ins.push_back(bind(*l.tg.desc(4), l.m_extra)); }, GRAPH_INVALID},
        BindingCase{"extra_binding_without_desc",
                    [](Line& l) {
                        TensorBinding b = bind(*l.tg.desc(2), l.m_extra);
                        b.tensor_id = 99;
                        l.ins.push_back(b);
                    },
                    GRAPH_INVALID},
        BindingCase{"extra_binding_twice",
                    [](Line& l) {
                        l.ins.push_back(bind(*l.tg.desc(2), l.m_extra));
                        l.ins.push_back(l.ins.back());
                    },
                    GRAPH_INVALID},
        BindingCase{"extra_binding_bad_layout",
                    [](Line& l) {
                        l.ins.push_back(bind(*l.tg.desc(2), l.m_extra));
                        l.ins.back().height = 3;
                    },
                    DIMENSION_MISMATCH}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Planner, ConsumerCountsCountEveryNodeInput) {
    Line l;
    l.tg.node("d", {2, 2}, {4});
    BufferPlanner p;
    ASSERT_EQ(l.build(&p), OK);
    EXPECT_EQ(p.consumers(1), 1u);
    EXPECT_EQ(p.consumers(2), 4u);
    EXPECT_EQ(p.consumers(3), 0u);
}

class ExtraInputCanvas : public ::testing::TestWithParam<std::pair<int, bool>> {};

TEST_P(ExtraInputCanvas, EntersBuffersOnlyWhenCanvasInsideExtent) {
    Line l;
    l.tg.descs[1].canvas_width += GetParam().first;
    l.ins.push_back(bind(*l.tg.desc(2), l.m_extra));
    BufferPlanner p;
    ASSERT_EQ(l.build(&p), OK);
    EXPECT_EQ(p.buffers.count(2) == 1, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Planner, ExtraInputCanvas,
                         ::testing::Values(std::make_pair(0, true), std::make_pair(1, false),
                                           std::make_pair(-1, true)));

TEST(Planner, AcquireGivesZeroedSlotWithTwoPlusConsumersRefs) {
    Line l;
    BufferPlanner p;
    ASSERT_EQ(l.build(&p), OK);
    ImageView v{};
    ASSERT_EQ(acquire(p, 2, &v), OK);
    ASSERT_EQ(p.pool.size(), 1u);
    EXPECT_EQ(p.pool[0].refs, 4u);  // 2 + two consumers
    EXPECT_EQ(p.pool[0].size, 40u);
    EXPECT_EQ(p.live_slots, 1u);
    EXPECT_EQ(v.row_stride, 10u);
    for (uint64_t i = 0; i < 40; ++i) ASSERT_EQ(static_cast<uint8_t*>(v.data)[i], 0);
    // A second acquire returns the same buffer without a new slot.
    ImageView again{};
    ASSERT_EQ(acquire(p, 2, &again), OK);
    EXPECT_EQ(again.data, v.data);
    EXPECT_EQ(p.pool.size(), 1u);
    // Bound tensors come back as the caller's arrays.
    ASSERT_EQ(acquire(p, 3, &again), OK);
    EXPECT_EQ(again.data, l.outs[0].data);
}

TEST(Planner, SlotFreedAfterProducerAndEveryConsumer) {
    Line l;
    BufferPlanner p;
    ASSERT_EQ(l.build(&p), OK);
    ImageView v{};
    ASSERT_EQ(acquire(p, 2, &v), OK);
    release_tensor(p, 2);  // producer finished
    release_tensor(p, 2);  // first consumer
    EXPECT_EQ(p.pool[0].refs, 2u);
    EXPECT_EQ(p.live_slots, 1u);
    release_tensor(p, 2);  // second consumer
    EXPECT_EQ(p.pool[0].refs, 1u);
    EXPECT_EQ(p.live_slots, 0u);
    release_tensor(p, 2);  // never below free
    EXPECT_EQ(p.pool[0].refs, 1u);
    release_tensor(p, 1);  // caller arrays are left alone
    EXPECT_EQ(p.live_slots, 0u);
}

TEST(Planner, FirstFitReusesLargerFreeSlotKeepingItsSize) {
    TestGraph tg;
    tg.tensor(1, 200, 200);
    tg.tensor(2, 200, 200);
    tg.tensor(3, 100, 100);
    tg.tensor(4, 100, 100);
    tg.tensor(5, 100, 100);
    tg.inputs = {1};
    tg.outputs = {5};
    tg.node("a", {1}, {2});
    tg.node("b", {2}, {3});
    tg.node("c", {3}, {4});
    tg.node("d", {4}, {5});
    TensorTable table;
    for (const auto& d : tg.descs) table[d.id] = &d;
    std::vector<uint8_t> mi, mo;
    TensorBinding in = bind(*tg.desc(1), mi), out = bind(*tg.desc(5), mo);
    const Graph g = tg.graph();
    BufferPlanner p;
    ASSERT_EQ(build_planner(g, table, &in, 1, &out, 1, &p), OK);
    ImageView v2{}, v3{}, v4{};
    ASSERT_EQ(acquire(p, 2, &v2), OK);
    static_cast<uint8_t*>(v2.data)[0] = 77;
    ASSERT_EQ(acquire(p, 3, &v3), OK);  // slot 0 still busy: new slot
    EXPECT_EQ(p.pool.size(), 2u);
    release_tensor(p, 2);
    release_tensor(p, 2);  // tensor 2 consumed: slot 0 free
    ASSERT_EQ(acquire(p, 4, &v4), OK);
    EXPECT_EQ(v4.data, v2.data);
    EXPECT_EQ(p.pool[0].size, 40000u);
    EXPECT_EQ(static_cast<uint8_t*>(v4.data)[0], 77);  // reused, not cleared
    EXPECT_EQ(p.live_slots, 2u);
}

TEST(Planner, UnallocatableSlotIsOutOfMemoryAndTakesNothing) {
    Line l;
    l.tg.descs[1].height = 1ull << 40;
    l.tg.descs[1].stride = 1ull << 20;  // 2^60 bytes: fits 64 bits, cannot be allocated
    BufferPlanner p;
    ASSERT_EQ(l.build(&p), OK);
    ImageView v{};
    EXPECT_EQ(acquire(p, 2, &v), OUT_OF_MEMORY);
    EXPECT_TRUE(p.pool.empty());
    EXPECT_EQ(p.live_slots, 0u);
    EXPECT_EQ(p.buffers.count(2), 0u);
    l.tg.descs[1].stride = 1ull << 30;  // 2^70 bytes: the product itself does not fit
    EXPECT_EQ(acquire(p, 2, &v), OUT_OF_MEMORY);
}

TEST(Planner, AcquireRefusesUnknownTensors) {
    Line l;
    BufferPlanner p;
    ASSERT_EQ(l.build(&p), OK);
    ImageView v{};
    EXPECT_EQ(acquire(p, 99, &v), INTERNAL);
    p.buffers[4] = BufferEntry{};
    EXPECT_EQ(acquire(p, 4, &v), INTERNAL);
}

TEST(Planner, ChainEndpoints) {
    Line l;
    BufferPlanner p;
    ASSERT_EQ(l.build(&p), OK);
    ChainEnds e;
    EXPECT_EQ(chain_endpoints(p, {}, &e), INTERNAL);
    ASSERT_EQ(chain_endpoints(p, {0}, &e), OK);
    EXPECT_TRUE(e.has_input);
    EXPECT_EQ(e.input.data, l.ins[0].data);
    EXPECT_EQ(e.output_id, 2u);
    EXPECT_EQ(p.pool[0].refs, 4u);
    // Node b reads tensor 2, which now has a buffer.
    ASSERT_EQ(chain_endpoints(p, {1}, &e), OK);
    EXPECT_EQ(e.output.data, l.outs[0].data);
    release_chain(p, {0}, true, 1, 2);
    EXPECT_EQ(p.pool[0].refs, 3u);
}

TEST(Planner, ChainEndpointsRefuseWrongArityAndMissingInput) {
    Line l;
    l.tg.node("two_in", {1, 4}, {3});
    l.tg.node("reads_nothing_written", {4}, {2});
    BufferPlanner p;
    // Tensor 2 is then produced twice, but the planner does not look at producers.
    ASSERT_EQ(l.build(&p), OK);
    ChainEnds e;
    EXPECT_EQ(chain_endpoints(p, {3}, &e), GRAPH_INVALID);
    EXPECT_EQ(chain_endpoints(p, {4}, &e), INTERNAL);
}

TEST(Planner, ReleaseChainDropsPrivateTensorsToo) {
    TestGraph tg;
    tg.tensor(1, 2, 2);
    tg.tensor(2, 2, 2);
    tg.tensor(3, 2, 2);
    tg.tensor(4, 2, 2);
    tg.inputs = {1};
    tg.outputs = {4};
    tg.node("a", {1}, {2});
    tg.node("b", {2}, {3});
    tg.node("c", {3}, {4});
    TensorTable table;
    for (const auto& d : tg.descs) table[d.id] = &d;
    std::vector<uint8_t> mi, mo;
    TensorBinding in = bind(*tg.desc(1), mi), out = bind(*tg.desc(4), mo);
    const Graph g = tg.graph();
    BufferPlanner p;
    ASSERT_EQ(build_planner(g, table, &in, 1, &out, 1, &p), OK);
    ImageView v{};
    ASSERT_EQ(acquire(p, 2, &v), OK);  // as if an earlier item had materialised it
    EXPECT_EQ(p.pool[0].refs, 3u);
    release_chain(p, {1, 2}, true, 3, 4);  // tensor 3 has no entry: untouched
    EXPECT_EQ(p.pool[0].refs, 3u);
    release_chain(p, {0, 1}, false, 0, 4);
    EXPECT_EQ(p.pool[0].refs, 2u);
}

}  // namespace
