// Hue/saturation(/value) map kernels: identity maps, a hue rotation, value
// scaling, hostile pixels, and the table routines measured against the
// direct routines over a dense grid of colours.
#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <limits>

#include "test_pointwise_support.hpp"

using namespace pyxa;
using namespace pyxa::test;

namespace {

struct MapCase {
    bool with_value;
    bool table;
};

const char* op_of(bool with_value) { return with_value ? "apply_hue_sat_val_map" : "apply_hue_sat_map"; }

// A map of H x S (x V) points, each given by `point(h, s, v)`.
template <typename F>
Attrs map_attrs(bool with_value, bool table, int hues, int sats, int vals, F point) {
    if (!with_value) vals = 1;
    std::vector<float> data;
    for (int v = 0; v < vals; ++v)
        for (int h = 0; h < hues; ++h)
            for (int s = 0; s < sats; ++s) {
                const auto p = point(h, s, v);
                data.insert(data.end(), {p[0], p[1], p[2]});
            }
    Attrs a;
    a.i32("hue_divs", hues).i32("sat_divs", sats);
    if (with_value) a.i32("val_divs", vals);
    a.floats("map_data", data);
    const char* key = with_value ? "prism_lut" : "chroma_lut";
    a.str("engine_opts", (std::string("{\"") + key + "\": " + (table ? "true" : "false") + "}").c_str());
    return a;
}

std::vector<float> colour_grid(int steps) {
    std::vector<float> px;
    for (int r = 0; r <= steps; ++r)
        for (int g = 0; g <= steps; ++g)
            for (int b = 0; b <= steps; ++b)
                px.insert(px.end(), {float(r) / steps, float(g) / steps, float(b) / steps});
    return px;
}

std::vector<float> run_map(const Attrs& a, bool with_value, const std::vector<float>& px) {
    return run_step<float>(op_of(with_value), a, FLOAT32, FLOAT32, px, 3, 3);
}

}  // namespace

class HsvEveryRoutine : public ::testing::TestWithParam<MapCase> {};

TEST_P(HsvEveryRoutine, IdentityMapKeepsColours) {
    const MapCase c = GetParam();
    const Attrs a = map_attrs(c.with_value, c.table, 6, 4, 3, [](int, int, int) { return std::array<float, 3>{0, 1, 1}; });
    const auto px = colour_grid(12);
    const auto out = run_map(a, c.with_value, px);
    ASSERT_EQ(out.size(), px.size());
    for (size_t i = 0; i < px.size(); ++i) EXPECT_NEAR(out[i], px[i], 1.0 / 8192) << i;
}

TEST_P(HsvEveryRoutine, ValueScaleTwoDoublesUpToOne) {
    const MapCase c = GetParam();
    const Attrs a = map_attrs(c.with_value, c.table, 4, 3, 2, [](int, int, int) { return std::array<float, 3>{0, 1, 2}; });
    const auto out = run_map(a, c.with_value, {0.2f, 0.1f, 0.05f, 0.8f, 0.4f, 0.2f, 0.3f, 0.3f, 0.3f});
    const std::vector<float> want = {0.4f, 0.2f, 0.1f, 1.0f, 0.5f, 0.25f, 0.6f, 0.6f, 0.6f};
    ASSERT_EQ(out.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(out[i], want[i], 2.0 / 8192) << i;
}

// Negative, NaN and huge pixels must not index outside the map or table.
TEST_P(HsvEveryRoutine, HostilePixelsStayInside) {
    const MapCase c = GetParam();
    const Attrs a = map_attrs(c.with_value, c.table, 5, 3, 2, [](int h, int s, int) {
        return std::array<float, 3>{10.0f * h, 1.0f + 0.1f * s, 1.0f};
    });
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> px = {-1.0f, -2.0f, -0.5f, nan, 0.0f, 0.5f, 1e30f, 0.0f, -1e30f,
                                   -1e-30f, -1e-30f, -1e-30f, 5.0f, 7.0f, 6.0f, 0.0f, 0.0f, 0.0f};
    const auto out = run_map(a, c.with_value, px);
    ASSERT_EQ(out.size(), px.size());
    for (int k = 0; k < 3; ++k) EXPECT_EQ(out[15 + k], 0.0f);  // black stays black
}

INSTANTIATE_TEST_SUITE_P(Routines, HsvEveryRoutine,
                         ::testing::Values(MapCase{false, false}, MapCase{false, true}, MapCase{true, false},
                                           MapCase{true, true}));

TEST(HsvDirect, HueShiftOf120TurnsRedIntoGreen) {
    for (bool with_value : {false, true}) {
        const Attrs a = map_attrs(with_value, false, 6, 2, 2, [](int, int, int) { return std::array<float, 3>{120, 1, 1}; });
        const auto out = run_map(a, with_value, {1.0f, 0.0f, 0.0f});
        EXPECT_EQ(out, (std::vector<float>{0.0f, 1.0f, 0.0f})) << with_value;
    }
}

TEST(HsvDirect, GreyScaledByMapAtHueZeroSatZero) {
    // Value scale 0.5 at (hue row 0, saturation 0) only; everything else 3.
    const Attrs a = map_attrs(false, false, 6, 3, 1, [](int h, int s, int) {
        return std::array<float, 3>{0, 1, (h == 0 && s == 0) ? 0.5f : 3.0f};
    });
    const auto out = run_map(a, false, {0.6f, 0.6f, 0.6f});
    EXPECT_EQ(out, (std::vector<float>{0.3f, 0.3f, 0.3f}));
}

// The table routine approximates the direct one; measure the worst difference
// over a dense grid with a map that varies along every axis.
TEST(HsvTable, AgreesWithDirectRoutine) {
    for (bool with_value : {false, true}) {
        auto point = [](int h, int s, int v) {
            return std::array<float, 3>{25.0f * std::sin(1.3f * h), 0.7f + 0.15f * s + 0.05f * v, 0.8f + 0.1f * h / 8.0f + 0.2f * v};
        };
        const auto px = colour_grid(24);
        const auto direct = run_map(map_attrs(with_value, false, 8, 4, 3, point), with_value, px);
        const auto table = run_map(map_attrs(with_value, true, 8, 4, 3, point), with_value, px);
        ASSERT_EQ(direct.size(), px.size());
        ASSERT_EQ(table.size(), px.size());
        double worst = 0;
        for (size_t i = 0; i < px.size(); ++i) worst = std::max(worst, double(std::fabs(direct[i] - table[i])));
        std::cout << op_of(with_value) << " table vs direct, worst |difference|: " << worst << "\n";
        EXPECT_LT(worst, with_value ? 0.03 : 0.01);
    }
}
