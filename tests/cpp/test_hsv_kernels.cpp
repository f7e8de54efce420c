// Hue/saturation(/value) routines called directly with hostile pixels:
// negative, NaN and huge values must not index outside the prepared map or
// the colour table (cell indices are clamped in float before conversion).
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "kernels/hsv/hsv_routines.hpp"
#include "kernels/hsv/hsv_tables.hpp"
#include "test_pointwise_support.hpp"

using namespace pyxa;
using namespace pyxa::test;

namespace {

struct MapCase {
    bool with_value;
    bool table;
};

// The attributes of a map of hues x sats (x vals) entries, run directly or
// through its colour table as the case asks.
Attrs attrs_of_map(const MapCase& c, int hues, int sats, int vals, const std::vector<float>& data) {
    Attrs a;
    a.i32("hue_divs", hues).i32("sat_divs", sats);
    if (c.with_value) a.i32("val_divs", vals);
    a.floats("map_data", data);
    const std::string key = c.with_value ? "prism_lut" : "chroma_lut";
    a.str("engine_opts", ("{\"" + key + "\": " + (c.table ? "true" : "false") + "}").c_str());
    return a;
}

Attrs map_attrs(const MapCase& c) {
    const int hues = 5, sats = 3, vals = c.with_value ? 2 : 1;
    std::vector<float> data;
    for (int v = 0; v < vals; ++v)
        for (int h = 0; h < hues; ++h)
            for (int s = 0; s < sats; ++s) data.insert(data.end(), {10.0f * h, 1.0f + 0.1f * s, 1.0f});
    return attrs_of_map(c, hues, sats, vals, data);
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

namespace {

// A map whose cells all differ, on a grid large enough that neighbouring
// pixels land far apart in it (the wider copies fetch its entries by vector
// loads and transposes). Shifts of up to 400 degrees reach both ends of the
// fixed-point range (about +-240 degrees), where the adjusted hue is furthest
// from [0, 6).
Attrs busy_map_attrs(const MapCase& c, float max_shift) {
    const int hues = 37, sats = 11, vals = c.with_value ? 5 : 1;
    std::mt19937 gen(11);
    std::uniform_real_distribution<float> shift(-max_shift, max_shift), scale(0.6f, 1.5f);
    std::vector<float> data;
    for (int i = 0; i < hues * sats * vals; ++i) data.insert(data.end(), {shift(gen), scale(gen), scale(gen)});
    return attrs_of_map(c, hues, sats, vals, data);
}

// Pixels that take every path of the colour arithmetic: grey (no saturation),
// each channel the largest, ties, hue wrapping below 0, zeros of both signs,
// negatives, values above 1, NaN and infinities in every channel; then random
// colours spread a little past [0, 1].
std::vector<float> awkward_pixels(uint64_t pixels) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<float> v = {0.5f,  0.5f,  0.5f,  0.0f,  -0.0f, 0.0f,  1.0f,  0.2f,  0.7f,  1.0f,  0.7f,  0.2f,
                            0.3f,  1.0f,  0.3f,  0.2f,  0.2f,  1.0f,  0.9f,  0.9f,  0.1f,  0.4f,  0.8f,  0.8f,
                            -0.2f, -0.5f, -0.1f, 2.0f,  0.5f,  3.0f,  nan,   0.5f,  0.2f,  0.5f,  nan,   0.2f,
                            0.5f,  0.2f,  nan,   inf,   0.5f,  0.2f,  0.5f,  inf,   0.2f,  0.5f,  0.2f,  inf,
                            -inf,  0.5f,  0.2f,  0.5f,  -inf,  0.2f,  1e30f, 1e-30f, 0.0f, -1e30f, 0.1f, 0.2f,
                            1e-40f, 0.0f, 2e-40f, -0.0f, 0.3f, -0.0f, 1.0f,  1.0f,  1.0f,  6.0f,  1.0f,  5.999f};
    std::mt19937 gen(5);
    std::uniform_real_distribution<float> u(-0.1f, 1.1f);
    while (v.size() < 3 * pixels) v.push_back(u(gen));
    v.resize(3 * pixels);
    return v;
}

// Equal bit patterns, except that two NaNs match whatever their signs: where
// both operands of an operation are NaN the processor returns one of them, and
// which one is the compiler's operand order, which already differs between the
// vector body and the scalar remainder of the baseline itself.
bool same_bits_or_both_nan(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::isnan(a[i]) && std::isnan(b[i])) continue;
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return false;
    }
    return true;
}

}  // namespace

// Every copy of the direct and table routines this processor can run gives
// the baseline's bytes, for runs of every length up to a few blocks (full
// vector groups, ragged tails, runs shorter than one group).
class HsvCopies : public ::testing::TestWithParam<MapCase> {};

TEST_P(HsvCopies, MatchTheBaselineByteForByte) {
    const MapCase c = GetParam();
    const char* op = c.with_value ? "apply_hue_sat_val_map" : "apply_hue_sat_map";
    const TensorDesc in = test::desc(FLOAT32, 3), out = test::desc(FLOAT32, 3);
    auto pick = [&](Isa isa) {
        return c.table ? hsv_table_routine(c.with_value, isa) : hsv_direct_routine(c.with_value, isa);
    };
    const std::vector<float> src = awkward_pixels(300);
    for (Isa isa : kAllIsas) {
        if (isa == Isa::Baseline || !isa_supported(isa)) continue;
        for (const float max_shift : {40.0f, 400.0f}) {
            SCOPED_TRACE(testing::Message() << (isa == Isa::Avx2 ? "avx2" : "avx512") << ", shifts to "
                                            << max_shift << " degrees");
            KernelStep step;
            ASSERT_EQ(test::resolve(op, busy_map_attrs(c, max_shift), &in, out, &step), OK);
            for (uint64_t n : {1, 7, 8, 15, 16, 17, 31, 33, 63, 64, 65, 79, 129, 143, 300}) {
                SCOPED_TRACE(n);
                std::vector<float> a(3 * n, 7.0f), b(3 * n, -7.0f);
                PixelRun run_in{const_cast<float*>(src.data()), n, 3, FLOAT32};
                PixelRun out_a{a.data(), n, 3, FLOAT32}, out_b{b.data(), n, 3, FLOAT32};
                pick(Isa::Baseline)(step.context(), &run_in, &out_a);
                pick(isa)(step.context(), &run_in, &out_b);
                EXPECT_TRUE(same_bits_or_both_nan(a, b));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Routines, HsvCopies,
                         ::testing::Values(MapCase{false, false}, MapCase{false, true}, MapCase{true, false},
                                           MapCase{true, true}));

// The colour table is built row by row in blocks, by the copy of the
// processor; every copy must build the baseline's table. The maps push the
// arithmetic to its edges: hue shifts of many turns, scales that drive the
// saturation negative or the fixed-point values past the int16 range, a single
// hue row, and table sizes whose rows end in a ragged vector.
TEST(HsvTableBuild, EveryCopyBuildsTheBaselineTable) {
    struct Grid {
        int32_t hues, sats, vals;
        float shift, scale_lo, scale_hi;
    };
    std::mt19937 gen(4);
    for (const Grid& g : {Grid{90, 30, 1, 20.0f, 0.8f, 1.2f}, Grid{37, 11, 4, 400.0f, -0.5f, 4.5f},
                          Grid{1, 2, 1, 200.0f, 0.0f, 2.0f}, Grid{5, 3, 2, 1e6f, -5.0f, 5.0f}}) {
        std::uniform_real_distribution<float> shift(-g.shift, g.shift), scale(g.scale_lo, g.scale_hi);
        std::vector<float> data;
        for (int i = 0; i < g.hues * g.sats * g.vals; ++i)
            data.insert(data.end(), {shift(gen), scale(gen), scale(gen)});
        for (int32_t n : {kChromaLutSize, kPrismLutSize, 2, 23}) {
            HueSatMapParams map;
            ASSERT_EQ(prepare_hsv_map(data, g.hues, g.sats, g.vals, &map), OK);
            HueSatMapParams baseline = map;
            ASSERT_EQ(build_hsv_table(&baseline, n, Isa::Baseline), OK);
            for (Isa isa : kAllIsas) {
                if (isa == Isa::Baseline || !isa_supported(isa)) continue;
                SCOPED_TRACE(testing::Message() << (isa == Isa::Avx2 ? "avx2" : "avx512") << " n=" << n
                                                << " hues=" << g.hues);
                HueSatMapParams copy = map;
                ASSERT_EQ(build_hsv_table(&copy, n, isa), OK);
                EXPECT_EQ(copy.data, baseline.data);
            }
        }
    }
}
