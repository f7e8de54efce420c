// Pointwise routines called directly on pixel runs, for what graphs cannot
// show: scalar blocks in place and at every split of 16/4/1, and no routine
// writing past the end of its output run.
#include <limits>
#include <string>

#include "test_pointwise_support.hpp"

using namespace pyxa;
using namespace pyxa::test;

// Blocks of 16, then 4, then single elements give the plain loop's results,
// both for disjoint runs and in place.
class ScalarBlocks : public ::testing::TestWithParam<int> {};

TEST_P(ScalarBlocks, SameAsPlainLoop) {
    const int n = GetParam();
    std::vector<float> src(n);
    for (int i = 0; i < n; ++i) src[i] = 0.37f * i - 3.1f;
    for (const char* op : {"sub_scalar", "mul_scalar"}) {
        const bool sub = op[0] == 's';
        Attrs a;
        a.f32("value", 1.7f);
        const auto out = run_step<float>(op, a, FLOAT32, FLOAT32, src, 1, 1);
        ASSERT_EQ(out.size(), src.size());
        for (int i = 0; i < n; ++i) EXPECT_EQ(out[i], sub ? src[i] - 1.7f : src[i] * 1.7f) << op << " " << i;

        const TensorDesc d = desc(FLOAT32, 1, n, 1);
        KernelStep step;
        ASSERT_EQ(resolve(op, a, &d, d, &step), OK);
        std::vector<float> buf = src;
        PixelRun r{buf.data(), static_cast<uint64_t>(n), 1, FLOAT32};
        step.pointwise(step.context(), &r, &r);
        for (int i = 0; i < n; ++i) EXPECT_EQ(buf[i], sub ? src[i] - 1.7f : src[i] * 1.7f) << "in place " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ScalarBlocks, ::testing::Values(1, 3, 4, 5, 15, 16, 17, 20, 33, 64, 67));

// Every routine shape writes exactly its run: run_step checks a guard element
// after the output. Inputs are the extremes of each type.
struct RunCase {
    const char* op;
    int32_t in, out;
    uint64_t channels;
};
class RoutinesStayInsideTheirRun : public ::testing::TestWithParam<RunCase> {};

template <typename In>
std::vector<In> extremes(uint64_t channels) {
    std::vector<In> v = {In(0), In(1), std::numeric_limits<In>::max(), In(2), In(0), std::numeric_limits<In>::max()};
    v.resize(7 * channels, In(3));
    return v;
}

template <typename In, typename Out>
void run_case(const RunCase& c, const Attrs& a) {
    const auto out = run_step<Out>(c.op, a, c.in, c.out, extremes<In>(c.channels), c.channels, c.channels);
    EXPECT_EQ(out.size(), 7 * c.channels);
}

template <typename In>
void run_for_output(const RunCase& c, const Attrs& a) {
    if (c.out == UINT8) run_case<In, uint8_t>(c, a);
    else if (c.out == UINT16) run_case<In, uint16_t>(c, a);
    else run_case<In, float>(c, a);
}

TEST_P(RoutinesStayInsideTheirRun, GuardUntouched) {
    const RunCase c = GetParam();
    const std::string op = c.op;
    const char* dest = c.out == UINT8 ? "uint8" : c.out == UINT16 ? "uint16" : "float32";
    Attrs a;
    std::vector<float> t256(256, 0.5f);
    if (op == "convert_dtype") a.str("dest_dtype", dest).i32("src_bits", 0).i32("dst_bits", 0).f32("clip_max", -1);
    if (op == "lut") a.floats("lut", t256);
    if (op == "mono_lut") a.str("dest_dtype", dest).i32("src_bits", 0).i32("dst_bits", 0).floats("lut", {0, 2, 1});
    if (op == "transform_color")
        a.str("dest_dtype", dest).i32("src_bits", 0).i32("dst_bits", 0).i32("hue_preserving", 0)
            .floats("input_lut", t256).floats("matrix", {1, 0, 0, 0, 1, 0, 0, 0, 1}).floats("output_lut", {0, 1, 3});
    if (c.in == UINT8) run_for_output<uint8_t>(c, a);
    else if (c.in == UINT16) run_for_output<uint16_t>(c, a);
    else run_for_output<float>(c, a);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, RoutinesStayInsideTheirRun,
    ::testing::Values(RunCase{"convert_dtype", FLOAT32, UINT8, 4}, RunCase{"convert_dtype", UINT8, UINT16, 2},
                      RunCase{"convert_dtype", UINT16, FLOAT32, 1}, RunCase{"lut", UINT8, UINT16, 1},
                      RunCase{"lut", UINT16, UINT8, 1}, RunCase{"lut", FLOAT32, FLOAT32, 3},
                      RunCase{"mono_lut", UINT8, FLOAT32, 2}, RunCase{"mono_lut", FLOAT32, UINT16, 5},
                      RunCase{"transform_color", UINT8, UINT8, 3}, RunCase{"transform_color", UINT16, UINT16, 3},
                      RunCase{"transform_color", FLOAT32, UINT8, 3}));
