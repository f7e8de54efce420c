// Every instruction-set copy of the pointwise routines that this processor can
// run (AVX2, AVX-512) gives byte-identical results to the baseline copy,
// including NaN, negative and out-of-range inputs and runs that do not fill a
// whole block.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kernels/hsv/hsv_routines.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "test_pointwise_support.hpp"

using namespace pyxa;
using pyxa::test::Attrs;

namespace {

constexpr uint64_t kPixels = 613;  // two full lookup blocks and a ragged tail

std::vector<uint8_t> random_run(int32_t dtype, uint64_t elements, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> bytes(elements * element_size(dtype));
    if (dtype == FLOAT32) {
        std::uniform_real_distribution<float> u(-0.3f, 1.4f);
        auto* f = reinterpret_cast<float*>(bytes.data());
        for (uint64_t i = 0; i < elements; ++i) f[i] = u(gen);
        f[3] = std::numeric_limits<float>::quiet_NaN();
        f[7] = std::numeric_limits<float>::infinity();
        f[11] = -0.0f;
    } else {
        for (auto& b : bytes) b = static_cast<uint8_t>(gen());
    }
    return bytes;
}

// Runs two copies of one routine on the same input and compares the bytes.
void expect_same(PointwiseRun baseline, PointwiseRun copy, const KernelStep& step, int32_t in_type,
                 int32_t out_type, uint64_t channels, uint64_t out_channels) {
    ASSERT_NE(baseline, nullptr);
    ASSERT_NE(copy, nullptr);
    std::vector<uint8_t> src = random_run(in_type, kPixels * channels, 7);
    std::vector<uint8_t> a(kPixels * out_channels * element_size(out_type), 0xAB), b(a);
    PixelRun in{src.data(), kPixels, channels, static_cast<uint32_t>(in_type)};
    PixelRun out_a{a.data(), kPixels, out_channels, static_cast<uint32_t>(out_type)};
    PixelRun out_b{b.data(), kPixels, out_channels, static_cast<uint32_t>(out_type)};
    baseline(step.context(), &in, &out_a);
    copy(step.context(), &in, &out_b);
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size()), 0);
}

// Each copy the processor can run against the baseline copy of the same routine.
template <typename Pick>
void expect_copies_agree(Pick pick, const KernelStep& step, int32_t in_type, int32_t out_type, uint64_t channels,
                         uint64_t out_channels) {
    for (Isa isa : kAllIsas) {
        if (isa == Isa::Baseline || !isa_supported(isa)) continue;
        SCOPED_TRACE(isa == Isa::Avx2 ? "avx2" : "avx512");
        expect_same(pick(Isa::Baseline), pick(isa), step, in_type, out_type, channels, out_channels);
    }
}

KernelStep resolved(const char* op, const Attrs& attrs, int32_t in_type, int32_t out_type, uint64_t channels) {
    const TensorDesc in = test::desc(in_type, channels);
    const TensorDesc out = test::desc(out_type, channels);
    KernelStep step;
    EXPECT_EQ(test::resolve(op, attrs, &in, out, &step), OK);
    return step;
}

std::vector<float> curve(int n) {
    std::vector<float> t(n);
    for (int i = 0; i < n; ++i) t[i] = std::sqrt(static_cast<float>(i) / static_cast<float>(n - 1));
    return t;
}

struct Shape {
    bool in_table, matrix, out_table;
};

class TransformIsa : public ::testing::TestWithParam<std::tuple<Shape, int32_t, int32_t>> {};

TEST_P(TransformIsa, CopiesAgree) {
    const auto [shape, in_type, out_type] = GetParam();
    Attrs a;
    a.str("dest_dtype", out_type == UINT8 ? "uint8" : out_type == UINT16 ? "uint16" : "float32")
        .i32("src_bits", 0).i32("dst_bits", 0).i32("hue_preserving", 0);
    if (shape.in_table) a.floats("input_lut", curve(in_type == UINT8 ? 256 : 300));
    if (shape.matrix) a.floats("matrix", {0.9f, 0.2f, -0.1f, 0.05f, 1.1f, -0.15f, -0.2f, 0.3f, 0.9f});
    if (shape.out_table) a.floats("output_lut", curve(4096));
    const KernelStep step = resolved("transform_color", a, in_type, out_type, 3);
    const TransformShape ts{shape.in_table, shape.matrix, shape.out_table,
                            shape.in_table && in_type == UINT8};
    expect_copies_agree([&](Isa isa) { return transform_color_routine(in_type, out_type, ts, isa); }, step, in_type,
                        out_type, 3, 3);
}

INSTANTIATE_TEST_SUITE_P(Shapes, TransformIsa,
                         ::testing::Combine(::testing::Values(Shape{false, true, false}, Shape{false, true, true},
                                                              Shape{true, true, false}, Shape{true, true, true},
                                                              Shape{true, false, false}, Shape{false, false, true},
                                                              Shape{true, false, true}),
                                            ::testing::Values(UINT8, UINT16, FLOAT32),
                                            ::testing::Values(UINT8, UINT16, FLOAT32)));

// The lone input table from float32 to float32 takes two routes in its AVX2
// copy: a block in two passes for a table that fits the first-level cache,
// one step per eight values for a larger one (a brightening exposure ramp).
TEST(PointwiseIsa, InputTableRoutesAgree) {
    for (int entries : {300, 65536}) {
        SCOPED_TRACE(entries);
        Attrs a;
        a.str("dest_dtype", "float32").i32("src_bits", 0).i32("dst_bits", 0).i32("hue_preserving", 0)
            .floats("input_lut", curve(entries));
        const KernelStep step = resolved("transform_color", a, FLOAT32, FLOAT32, 3);
        const TransformShape ts{true, false, false, false};
        expect_copies_agree([&](Isa isa) { return transform_color_routine(FLOAT32, FLOAT32, ts, isa); }, step,
                            FLOAT32, FLOAT32, 3, 3);
    }
}

// The hue-preserving transform picks each pixel's largest, middle and smallest
// channel with selects in its block passes; ties and NaN (clamped to 0) are in
// the random input.
TEST(PointwiseIsa, HuePreservingAgrees) {
    const Shape shapes[] = {{true, true, true}, {true, true, false}, {true, false, false}};
    for (const Shape& shape : shapes) {
        for (int32_t out_type : {UINT8, UINT16, FLOAT32}) {
            if (!shape.matrix && out_type != FLOAT32) continue;
            SCOPED_TRACE(std::to_string(out_type) + (shape.matrix ? " matrix" : "") + (shape.out_table ? " out" : ""));
            Attrs a;
            a.str("dest_dtype", out_type == UINT8 ? "uint8" : out_type == UINT16 ? "uint16" : "float32")
                .i32("src_bits", 0).i32("dst_bits", 0).i32("hue_preserving", 1).floats("input_lut", curve(300));
            if (shape.matrix) a.floats("matrix", {0.9f, 0.2f, -0.1f, 0.05f, 1.1f, -0.15f, -0.2f, 0.3f, 0.9f});
            if (shape.out_table) a.floats("output_lut", curve(4096));
            const TransformShape ts{true, shape.matrix, shape.out_table, false};
            expect_copies_agree([&](Isa isa) { return hue_preserving_routine(out_type, ts, isa); },
                                resolved("transform_color", a, FLOAT32, out_type, 3), FLOAT32, out_type, 3, 3);
        }
    }
}

// Table entries below 0, above 1, infinite or NaN reach the unit clamp and
// the integer stores that a [0, 1] curve never does; the hand-written routines
// of the lone output table (AVX-512, AVX2) and of the lone input table (AVX2)
// do these clamps themselves.
TEST(PointwiseIsa, LoneTableOutsideUnitRangeAgrees) {
    std::vector<float> table = curve(4096);
    for (size_t i = 0; i < table.size(); i += 7) table[i] = 1.0f + 0.5f * table[i];
    for (size_t i = 3; i < table.size(); i += 11) table[i] = -table[i];
    for (size_t i = 5; i < table.size(); i += 97) table[i] = std::numeric_limits<float>::quiet_NaN();
    for (size_t i = 9; i < table.size(); i += 101) table[i] = -std::numeric_limits<float>::infinity();
    for (const bool input : {false, true}) {
        for (int32_t out_type : {UINT8, UINT16, FLOAT32}) {
            SCOPED_TRACE(std::to_string(out_type) + (input ? " input table" : " output table"));
            Attrs a;
            a.str("dest_dtype", out_type == UINT8 ? "uint8" : out_type == UINT16 ? "uint16" : "float32")
                .i32("src_bits", 0).i32("dst_bits", 0).i32("hue_preserving", 0)
                .floats(input ? "input_lut" : "output_lut", table);
            const TransformShape ts{input, false, !input, false};
            expect_copies_agree([&](Isa isa) { return transform_color_routine(FLOAT32, out_type, ts, isa); },
                                resolved("transform_color", a, FLOAT32, out_type, 3), FLOAT32, out_type, 3, 3);
        }
    }
}

// The lone output table to integers leaves out its clamps when no entry is
// below 0 or above 1 + 0.75 / out_scale (store_needs_no_clamps): a curve with
// the half step integer curves carry, one at that bound, one just past it and
// one dipping below 0, for the full, a 4-bit and a 12-bit output range.
TEST(PointwiseIsa, LoneOutputTableAroundTheClampBoundAgrees) {
    for (int32_t out_type : {UINT8, UINT16}) {
        for (int32_t bits : {0, 4, 12}) {  // 12 on uint8: a scale past the type's top
            const float full = out_type == UINT8 ? 255.0f : 65535.0f;
            const float scale = bits == 0 ? full : static_cast<float>((1 << bits) - 1);
            // Top entries 1 + over / out_scale; a negative over: 0.5, and entries below 0.
            for (const float over : {0.5f, 0.75f, 1.0f, -1.0f}) {
                SCOPED_TRACE(std::to_string(out_type) + " bits " + std::to_string(bits) + " over " +
                             std::to_string(over));
                std::vector<float> table = curve(4096);
                for (float& e : table) e += 0.5f / scale;
                const float top = 1.0f + (over < 0.0f ? 0.5f : over) / scale;
                for (size_t i = table.size() - 40; i < table.size(); ++i) table[i] = top;
                if (over < 0.0f)
                    for (size_t i = 100; i < 600; ++i) table[i] = -3.0f / scale;
                Attrs a;
                a.str("dest_dtype", out_type == UINT8 ? "uint8" : "uint16").i32("src_bits", 0).i32("dst_bits", bits)
                    .i32("hue_preserving", 0).floats("output_lut", table);
                const TransformShape ts{false, false, true, false};
                expect_copies_agree([&](Isa isa) { return transform_color_routine(FLOAT32, out_type, ts, isa); },
                                    resolved("transform_color", a, FLOAT32, out_type, 3), FLOAT32, out_type, 3, 3);
            }
        }
    }
}

TEST(PointwiseIsa, MatrixAndScalarsAgree) {
    Attrs m;
    m.floats("matrix", {1.6f, -0.4f, -0.2f, -0.3f, 1.5f, -0.2f, 0.0f, -0.5f, 1.5f});
    expect_copies_agree(matrix_3x3_routine, resolved("matrix_3x3", m, FLOAT32, FLOAT32, 3), FLOAT32, FLOAT32, 3, 3);
    // A bound of 0 on the channel that holds the input's -0, which the clip keeps.
    Attrs c;
    c.floats("clip_max", {0.6f, 0.9f, 0.0f}).floats("matrix", {1.6f, -0.4f, -0.2f, -0.3f, 1.5f, -0.2f, 0.0f, -0.5f, 1.5f});
    expect_copies_agree(clip_and_transform_routine, resolved("clip_and_transform_color", c, FLOAT32, FLOAT32, 3),
                        FLOAT32, FLOAT32, 3, 3);
    Attrs v;
    v.f32("value", 0.37f);
    expect_copies_agree(mul_scalar_routine, resolved("mul_scalar", v, FLOAT32, FLOAT32, 3), FLOAT32, FLOAT32, 3, 3);
}

TEST(PointwiseIsa, ConvertAndLutAgree) {
    for (int32_t in : {UINT8, UINT16, FLOAT32}) {
        for (int32_t out : {UINT8, UINT16, FLOAT32}) {
            const char* name = out == UINT8 ? "uint8" : out == UINT16 ? "uint16" : "float32";
            for (float clip : {-1.0f, 0.8f}) {  // no clip, and one below values the input reaches
                Attrs c;
                c.str("dest_dtype", name).i32("src_bits", 0).i32("dst_bits", 0).f32("clip_max", clip);
                expect_copies_agree([&](Isa isa) { return convert_dtype_routine(in, out, isa); },
                                    resolved("convert_dtype", c, in, out, 1), in, out, 1, 1);
            }
            Attrs l;
            l.floats("lut", curve(1000));
            expect_copies_agree([&](Isa isa) { return lut_routine(in, out, false, isa); }, resolved("lut", l, in, out, 1),
                                in, out, 1, 1);
        }
    }
}

TEST(PointwiseIsa, HueSatMapsAgree) {
    for (bool with_value : {false, true}) {
      for (bool table : {false, true}) {
        Attrs a;
        a.i32("hue_divs", 6).i32("sat_divs", 4);
        if (with_value) a.i32("val_divs", 3);
        const char* key = with_value ? "prism_lut" : "chroma_lut";
        a.str("engine_opts", (std::string("{\"") + key + "\": " + (table ? "true" : "false") + "}").c_str());
        std::vector<float> data;
        for (int i = 0; i < 6 * 4 * (with_value ? 3 : 1); ++i) {
            data.push_back(static_cast<float>(i % 7) * 5.0f - 15.0f);  // hue shift in degrees
            data.push_back(0.8f + 0.05f * static_cast<float>(i % 9));
            data.push_back(0.9f + 0.03f * static_cast<float>(i % 5));
        }
        a.floats("map_data", data);
        const char* op = with_value ? "apply_hue_sat_val_map" : "apply_hue_sat_map";
        expect_copies_agree(
            [&](Isa isa) { return table ? hsv_table_routine(with_value, isa) : hsv_direct_routine(with_value, isa); },
            resolved(op, a, FLOAT32, FLOAT32, 3), FLOAT32, FLOAT32, 3, 3);
      }
    }
}

}  // namespace
