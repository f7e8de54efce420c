// Resolution statuses of the pointwise and hue/sat builders called directly,
// so each refusal is known to come from the builder: missing input, output
// shapes, bit counts, float16, and map products that would wrap.
#include "kernels/hsv/hsv_tables.hpp"
#include "test_pointwise_support.hpp"

using namespace pyxa;
using namespace pyxa::test;

namespace {

struct OpCase {
    const char* op;
    uint64_t channels;
    Attrs attrs;
};

std::vector<OpCase> every_op() {
    std::vector<OpCase> v;
    v.push_back({"sub_scalar", 1, Attrs().f32("value", 1)});
    v.push_back({"mul_scalar", 2, Attrs().f32("value", 1)});
    v.push_back({"matrix_3x3", 3, Attrs().floats("matrix", std::vector<float>(9, 0.0f))});
    v.push_back({"convert_dtype", 4, Attrs().str("dest_dtype", "float32").i32("src_bits", 0).i32("dst_bits", 0).f32("clip_max", -1)});
    v.push_back({"lut", 1, Attrs().floats("lut", {0, 1})});
    v.push_back({"mono_lut", 2, Attrs().str("dest_dtype", "float32").i32("src_bits", 0).i32("dst_bits", 0).floats("lut", {0, 1})});
    v.push_back({"transform_color", 3, Attrs().str("dest_dtype", "float32").i32("src_bits", 0).i32("dst_bits", 0)
                                           .i32("hue_preserving", 0).floats("output_lut", {0, 1})});
    v.push_back({"clip_and_transform_color", 3, Attrs().floats("clip_max", {1, 1, 1}).floats("matrix", std::vector<float>(9, 0.0f))});
    std::vector<float> map;
    for (int i = 0; i < 6; ++i) map.insert(map.end(), {0, 1, 1});
    v.push_back({"apply_hue_sat_map", 3, Attrs().i32("hue_divs", 3).i32("sat_divs", 2).floats("map_data", map)});
    map.insert(map.end(), map.begin(), map.end());
    v.push_back({"apply_hue_sat_val_map", 3, Attrs().i32("hue_divs", 3).i32("sat_divs", 2).i32("val_divs", 2).floats("map_data", map)});
    return v;
}

}  // namespace

TEST(PointwiseStatus, EveryOpResolvesThenRefusesNoInputAndWrongShapes) {
    for (const OpCase& c : every_op()) {
        const TensorDesc in = desc(FLOAT32, c.channels);
        KernelStep s;
        EXPECT_EQ(resolve(c.op, c.attrs, &in, in, &s), OK) << c.op;
        EXPECT_EQ(resolve(c.op, c.attrs, nullptr, in, &s), INVALID_ARGUMENT) << c.op;
        TensorDesc out = desc(FLOAT32, c.channels + 1);
        EXPECT_EQ(resolve(c.op, c.attrs, &in, out, &s), INVALID_ARGUMENT) << c.op << " channels";
        out = desc(FLOAT32, c.channels, 9);
        EXPECT_EQ(resolve(c.op, c.attrs, &in, out, &s), INVALID_ARGUMENT) << c.op << " width";
        out = desc(FLOAT32, c.channels, 8, 3);
        EXPECT_EQ(resolve(c.op, c.attrs, &in, out, &s), INVALID_ARGUMENT) << c.op << " height";
    }
}

struct BitsCase {
    int32_t src_bits, dst_bits;
    Status status;
};
class PointwiseBits : public ::testing::TestWithParam<BitsCase> {};

TEST_P(PointwiseBits, OneTo31OrDefault) {
    const BitsCase c = GetParam();
    const TensorDesc in = desc(UINT16, 1), out = desc(UINT8, 1);
    KernelStep s;
    Attrs conv, mono;
    conv.str("dest_dtype", "uint8").i32("src_bits", c.src_bits).i32("dst_bits", c.dst_bits).f32("clip_max", -1);
    mono.str("dest_dtype", "uint8").i32("src_bits", c.src_bits).i32("dst_bits", c.dst_bits).floats("lut", {0, 1});
    EXPECT_EQ(resolve("convert_dtype", conv, &in, out, &s), c.status);
    EXPECT_EQ(resolve("mono_lut", mono, &in, out, &s), c.status);
}

INSTANTIATE_TEST_SUITE_P(Counts, PointwiseBits,
                         ::testing::Values(BitsCase{0, 0, OK}, BitsCase{-5, -1, OK}, BitsCase{1, 31, OK},
                                           BitsCase{31, 1, OK}, BitsCase{32, 8, INVALID_ARGUMENT},
                                           BitsCase{8, 32, INVALID_ARGUMENT}, BitsCase{8, 255, INVALID_ARGUMENT}));

TEST(PointwiseStatus, Float16HasNoRoutine) {
    KernelStep s;
    const TensorDesc h = desc(FLOAT16, 1), f = desc(FLOAT32, 1);
    Attrs conv;
    conv.str("dest_dtype", "float32").i32("src_bits", 0).i32("dst_bits", 0).f32("clip_max", -1);
    EXPECT_EQ(resolve("convert_dtype", conv, &h, f, &s), UNSUPPORTED_DTYPE);
    EXPECT_EQ(resolve("convert_dtype", conv, &f, h, &s), UNSUPPORTED_DTYPE);
    EXPECT_EQ(resolve("lut", Attrs().floats("lut", {0, 1}), &h, f, &s), UNSUPPORTED_DTYPE);
}

TEST(PointwiseStatus, ScalarAndMatrixOpsAreFloat32Only) {
    KernelStep s;
    const TensorDesc u8 = desc(UINT8, 3), f3 = desc(FLOAT32, 3), f1 = desc(FLOAT32, 1);
    EXPECT_EQ(resolve("sub_scalar", Attrs().f32("value", 1), &u8, u8, &s), UNSUPPORTED_DTYPE);
    EXPECT_EQ(resolve("mul_scalar", Attrs().f32("value", 1), &f3, u8, &s), UNSUPPORTED_DTYPE);
    EXPECT_EQ(resolve("matrix_3x3", Attrs().floats("matrix", std::vector<float>(9, 0.0f)), &u8, u8, &s),
              UNSUPPORTED_DTYPE);
    EXPECT_EQ(resolve("matrix_3x3", Attrs().floats("matrix", std::vector<float>(9, 0.0f)), &f1, f1, &s),
              INVALID_ARGUMENT);
}

// H * 3 * S * V wraps in 32 bits to the count of the map given; the product
// must be refused rather than used to size the prepared map.
TEST(HsvStatus, WrappingGridProductIsRefused) {
    KernelStep s;
    const TensorDesc f = desc(FLOAT32, 3);
    Attrs a;
    a.i32("hue_divs", 715827883).i32("sat_divs", 2).floats("map_data", {0, 1});
    EXPECT_EQ(resolve("apply_hue_sat_map", a, &f, f, &s), INVALID_ARGUMENT);
    Attrs b;
    b.i32("hue_divs", 1 << 20).i32("sat_divs", 1 << 10).i32("val_divs", 1 << 12).floats("map_data", {0, 1, 1});
    EXPECT_EQ(resolve("apply_hue_sat_val_map", b, &f, f, &s), INVALID_ARGUMENT);
}

// A colour table that cannot be allocated is OUT_OF_MEMORY, not an abort. A
// map small enough for a test never asks for such a table, so the build is
// called directly with V = 2^31 - 1: 3 x 65 x 65 x V entries of 8 bytes, about
// 200 TB, beyond any address space.
TEST(HsvStatus, UnallocatablePrismTableIsOutOfMemory) {
    HueSatMapParams p;
    p.hue_size = 1;
    p.sat_size = 2;
    p.val_size = INT32_MAX;
    EXPECT_EQ(build_hsv_table(&p, kPrismLutSize), OUT_OF_MEMORY);
}
