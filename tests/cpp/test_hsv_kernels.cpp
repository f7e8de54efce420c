// Hue/saturation(/value) routines called directly with hostile pixels:
// negative, NaN and huge values must not index outside the prepared map or
// the colour table (cell indices are clamped in float before conversion).
#include <array>
#include <limits>
#include <string>

#include "test_pointwise_support.hpp"

using namespace pyxa;
using namespace pyxa::test;

namespace {

struct MapCase {
    bool with_value;
    bool table;
};

Attrs map_attrs(const MapCase& c) {
    const int hues = 5, sats = 3, vals = c.with_value ? 2 : 1;
    std::vector<float> data;
    for (int v = 0; v < vals; ++v)
        for (int h = 0; h < hues; ++h)
            for (int s = 0; s < sats; ++s) data.insert(data.end(), {10.0f * h, 1.0f + 0.1f * s, 1.0f});
    Attrs a;
    a.i32("hue_divs", hues).i32("sat_divs", sats);
    if (c.with_value) a.i32("val_divs", vals);
    a.floats("map_data", data);
    const std::string key = c.with_value ? "prism_lut" : "chroma_lut";
    a.str("engine_opts", ("{\"" + key + "\": " + (c.table ? "true" : "false") + "}").c_str());
    return a;
}

}  // namespace

class HsvHostilePixels : public ::testing::TestWithParam<MapCase> {};

TEST_P(HsvHostilePixels, StayInsideTheMap) {
    const MapCase c = GetParam();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> px = {-1.0f, -2.0f, -0.5f, nan, 0.0f, 0.5f, 1e30f, 0.0f, -1e30f,
                                   -1e-30f, -1e-30f, -1e-30f, 5.0f, 7.0f, 6.0f, 0.0f, 0.0f, 0.0f};
    const char* op = c.with_value ? "apply_hue_sat_val_map" : "apply_hue_sat_map";
    const auto out = run_step<float>(op, map_attrs(c), FLOAT32, FLOAT32, px, 3, 3);
    ASSERT_EQ(out.size(), px.size());
    for (int k = 0; k < 3; ++k) EXPECT_EQ(out[15 + k], 0.0f);  // black stays black
}

INSTANTIATE_TEST_SUITE_P(Routines, HsvHostilePixels,
                         ::testing::Values(MapCase{false, false}, MapCase{false, true}, MapCase{true, false},
                                           MapCase{true, true}));
