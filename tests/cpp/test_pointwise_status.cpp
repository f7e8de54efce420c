// Resolution statuses that must come from the pointwise and hue/sat builders
// themselves (missing input, output shapes), and the table allocation failure
// that no graph small enough for a test can reach.
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
