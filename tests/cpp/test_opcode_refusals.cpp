// Parameters that would make a kernel read or write outside the caller's
// arrays, never finish, or turn an out-of-range float into an integer: each is
// refused (after the copy step where the opcode copies) or kept in range.
#include <cmath>
#include <functional>
#include <limits>

#include "test_opcode_support.hpp"

using namespace opcode_test;

namespace {

struct Refusal {
    const char* label;
    std::string op;
    std::function<void(Attrs&)> spoil;
    uint64_t h = 4, w = 5;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.op << ": " << r.label; }

void set(Attrs& a, const char* name, int32_t v) { a.item(name).value.i32 = v; }

const Refusal kRefusals[] = {
    {"grid one short", "apply_gain_map", [](Attrs& a) { a.item("gain_values").count = 3; }},
    {"grid one short", "apply_gain_map_cfa", [](Attrs& a) { a.item("gain_values").count = 3; }},
    {"row pitch 0", "apply_gain_map", [](Attrs& a) { set(a, "row_pitch", 0); }},
    {"col pitch -3", "apply_gain_map_cfa", [](Attrs& a) { set(a, "col_pitch", -3); }},
    {"start plane -1", "apply_gain_map", [](Attrs& a) { set(a, "start_plane", -1); }},
    {"map one short", "apply_flat_gain_map", [](Attrs& a) { a.item("gain_map").count = 3; }},
    {"map far larger", "apply_flat_gain_map", [](Attrs& a) { set(a, "gain_w", 1 << 30); }},
    {"table one short", "apply_profile_gain_table_map", [](Attrs& a) { a.item("gains").count = 11; }},
    {"table far larger", "apply_profile_gain_table_map", [](Attrs& a) { set(a, "num_table_points", 1 << 30); }},
    {"count 2^32", "fix_vignette", [](Attrs& a) { a.item("params").count = uint64_t(1) << 32; }},
    {"radial short", "warp_rectilinear", [](Attrs& a) { a.item("radial_params").count = 2; }},
    {"tangential short", "warp_rectilinear", [](Attrs& a) { a.f64s("tangential_params", {0, 0, 0, 0, 0}); }},
    {"tangential null", "warp_rectilinear",
     [](Attrs& a) { a.f64s("tangential_params", {0}).item("tangential_params").value.ptr = nullptr; }},
    {"bicubic 3 rows", "warp_rectilinear", [](Attrs& a) { set(a, "use_bicubic", 1); }, 3, 8},
    {"bottom past image", "map_polynomial", [](Attrs& a) { set(a, "bottom", 5); }},
    {"top negative", "map_polynomial", [](Attrs& a) { set(a, "top", -1), set(a, "bottom", 2); }},
    {"right past image", "map_polynomial", [](Attrs& a) { set(a, "right", 6); }},
    {"left past right", "map_polynomial", [](Attrs& a) { set(a, "left", 3), set(a, "right", 2); }},
    {"start plane -1", "map_polynomial", [](Attrs& a) { set(a, "start_plane", -1); }},
    {"degree above coefficients", "map_polynomial", [](Attrs& a) { set(a, "degree", 2); }},
    {"col pitch 0", "map_polynomial", [](Attrs& a) { set(a, "col_pitch", 0); }},
};

class Refused : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refused, FailsWithoutWritingPastTheCopy) {
    const Refusal r = GetParam();
    const uint64_t c = valid_channels(r.op);
    FImage in(r.h, r.w, c, 2), out(r.h, r.w, c, 1), sent(r.h, r.w, c, 1);
    fill(in, 0, 1, 2), fill(out, 3, 4, 5), fill(sent, 3, 4, 5);
    Attrs a = valid_attrs(r.op);
    r.spoil(a);
    EXPECT_EQ(call(r.op, in.view(), out.view(), a), 1);
    // The warp has no copy step; the others fail after it.
    EXPECT_TRUE(out.same_pixels(r.op == "warp_rectilinear" ? sent : in));
}

INSTANTIATE_TEST_SUITE_P(Faults, Refused, ::testing::ValuesIn(kRefusals));

class HugePitch : public ::testing::TestWithParam<std::string> {};

TEST_P(HugePitch, VisitsOnlyTheFirstRowAndColumnWithoutWrapping) {
    const std::string op = GetParam();
    FImage in(6, 7, 3), out(6, 7, 3);
    fill(in, 0.1, 0.4);
    Attrs a = valid_attrs(op);
    set(a, "row_pitch", 2147483647), set(a, "col_pitch", 2147483647);
    ASSERT_EQ(call(op, in.view(), out.view(), a), 0);
    const float gain = op == "map_polynomial" ? 0.5f : 1.5f;  // the valid lists' slope and gain
    for (uint64_t y = 0; y < 6; ++y)
        for (uint64_t x = 0; x < 7; ++x)
            EXPECT_FLOAT_EQ(out.at(y, x, 1), (x == 0 && y == 0 ? gain : 1.0f) * in.at(y, x, 1));
    EXPECT_TRUE(out.guards_intact());
}

INSTANTIATE_TEST_SUITE_P(Opcodes, HugePitch, ::testing::Values("apply_gain_map", "map_polynomial"));

TEST(AbsurdGeometry, WarpCentresStayInsideTheImage) {
    FImage in(5, 6, 3), out(5, 6, 3);
    fill(in);
    for (int bicubic : {0, 1})
        for (double c : {std::numeric_limits<double>::quiet_NaN(), 1e300, -1e300}) {
            Attrs a = valid_attrs("warp_rectilinear");
            a.item("center_x").value.f64 = c;
            set(a, "use_bicubic", bicubic);
            a = a.without("radial_params").f64s("radial_params", {1.5, 1, 1});
            ASSERT_EQ(call("warp_rectilinear", in.view(), out.view(), a), 0);
            for (uint64_t y = 0; y < 5; ++y)
                for (uint64_t i = 0; i < 18; ++i) EXPECT_TRUE(std::isfinite(out.row(y)[i]));
            EXPECT_TRUE(out.guards_intact());
        }
}

// 2^24 + 3 is not a float: min(v, points_v - 1) in float rounds up to a row
// past the grid, which the integer clamp brings back to the last row.
TEST(AbsurdGeometry, TableGridIndicesBeyondFloatPrecision) {
    const int32_t pv = (1 << 24) + 4;
    std::vector<float> g(size_t(pv), 1.0f);
    g.back() = 0.5f;
    Attrs a = valid_attrs("apply_profile_gain_table_map").without("gains").f32s("gains", std::move(g));
    set(a, "points_v", pv), set(a, "points_h", 1), set(a, "num_table_points", 1);
    a.item("spacing_v").value.f32 = 1e-30f;
    FImage in(2, 3, 3), out(2, 3, 3);
    fill(in);
    ASSERT_EQ(call("apply_profile_gain_table_map", in.view(), out.view(), a), 0);
    for (uint64_t i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(out.row(1)[i], 0.5f * in.row(1)[i]);
}

TEST(OutOfMemory, UnallocatableWorkRows) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer stops at oversized allocations instead of failing them";
#endif
    // No rows, so no pixel memory, but work rows for 2^40 columns.
    float dummy[4] = {};
    const ImageView v{dummy, 0, uint64_t(1) << 40, 3, 3, (uint64_t(1) << 40) * 12};
    EXPECT_EQ(call("apply_profile_gain_table_map", v, v, valid_attrs("apply_profile_gain_table_map")), 4);
}

}  // namespace
