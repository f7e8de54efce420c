// "apply_profile_gain_table_map" against a trilinear reference written from
// the formulas, including gammas whose shaped brightness leaves [0, 1].
#include <cmath>
#include <limits>

#include "test_opcode_support.hpp"

using namespace opcode_test;

namespace {

struct TableCase {
    uint64_t h, w;
    int32_t pv, ph, n;
    float sv, sh, ov, oh;
    std::vector<float> weights;
    float gamma, ewg;
};

void PrintTo(const TableCase& k, std::ostream* os) {
    *os << k.h << "x" << k.w << " grid " << k.pv << "x" << k.ph << "x" << k.n << " gamma " << k.gamma;
}

Attrs table_attrs(const TableCase& k, std::vector<float> gains) {
    Attrs a;
    a.f32s("gains", std::move(gains)).i32("points_v", k.pv).i32("points_h", k.ph);
    a.f32("spacing_v", k.sv).f32("spacing_h", k.sh).f32("origin_v", k.ov).f32("origin_h", k.oh);
    a.i32("num_table_points", k.n).f32s("weights", k.weights).f32("gamma", k.gamma);
    return a.f32("exposure_weight_gain", k.ewg);
}

double clamp01(double v) { return std::isnan(v) ? 0.0 : std::min(std::max(v, 0.0), 1.0); }

void position(double t, int32_t n, int64_t* i0, int64_t* i1, double* f) {
    t = std::isnan(t) ? 0.0 : std::min(std::max(t, 0.0), double(n - 1));
    *i0 = int64_t(t);
    *i1 = std::min<int64_t>(*i0 + 1, n - 1);
    *f = t - double(*i0);
}

double reference_gain(const TableCase& k, const std::vector<float>& g, uint64_t y, uint64_t x, const float* px) {
    int64_t r0, r1, c0, c1;
    double fv, fh;
    position(((y + 0.5) / double(k.h) - k.ov) / k.sv, k.pv, &r0, &r1, &fv);
    position(((x + 0.5) / double(k.w) - k.oh) / k.sh, k.ph, &c0, &c1, &fh);
    const double lo = std::min({px[0], px[1], px[2]}), hi = std::max({px[0], px[1], px[2]});
    const std::vector<float>& w = k.weights;
    double b = clamp01((w[0] * px[0] + w[1] * px[1] + w[2] * px[2] + w[3] * lo + w[4] * hi) * k.ewg);
    if (k.gamma != 1.0f) b = clamp01(std::pow(b, double(k.gamma)));
    const double p = b * k.n;
    const int64_t t0 = std::min<int64_t>(int64_t(p), k.n - 1), t1 = std::min<int64_t>(t0 + 1, k.n - 1);
    const double ft = p - double(t0);
    auto T = [&](int64_t r, int64_t c) {
        const float* e = &g[size_t((r * k.ph + c) * k.n)];
        return e[t0] + (e[t1] - e[t0]) * ft;
    };
    const double top = T(r0, c0) + (T(r0, c1) - T(r0, c0)) * fh;
    const double bottom = T(r1, c0) + (T(r1, c1) - T(r1, c0)) * fh;
    return top + (bottom - top) * fv;
}

class ProfileGainTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(ProfileGainTable, MatchesTrilinearReference) {
    const TableCase k = GetParam();
    std::vector<float> g(size_t(k.pv) * k.ph * k.n);
    for (size_t i = 0; i < g.size(); ++i) g[i] = 0.3f + float((i * 29 + 5) % 17) / 8.0f;
    FImage in(k.h, k.w, 3, 2), out(k.h, k.w, 3);
    fill(in, -0.1f, 1.2f, 31);
    ASSERT_EQ(call("apply_profile_gain_table_map", in.view(), out.view(), table_attrs(k, g)), 0);
    for (uint64_t y = 0; y < k.h; ++y)
        for (uint64_t x = 0; x < k.w; ++x) {
            const double gain = reference_gain(k, g, y, x, &in.at(y, x, 0));
            for (uint64_t c = 0; c < 3; ++c)
                ASSERT_NEAR(out.at(y, x, c), clamp01(gain * in.at(y, x, c)), 2e-5) << y << "," << x << "," << c;
        }
    EXPECT_TRUE(out.guards_intact());
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Tables, ProfileGainTable,
    ::testing::Values(TableCase{6, 7, 3, 4, 4, 0.5f, 0.3f, 0.0f, 0.0f, {0.2f, 0.5f, 0.3f, 0, 0}, 1.0f, 1.0f},
                      TableCase{5, 9, 2, 3, 8, 0.7f, 0.4f, 0.1f, -0.2f, {0, 0, 0, 0, 1}, 2.2f, 1.5f},
                      TableCase{4, 4, 2, 2, 1, 1.0f, 1.0f, 0.0f, 0.0f, {0.3f, 0.3f, 0.3f, 0.05f, 0.05f}, 0.5f, 1.0f},
                      TableCase{4, 5, 2, 2, 3, 0.5f, 0.5f, 0.0f, 0.0f, {-1, 0, 0, 0, 0}, 1.0f, 1.0f},
                      TableCase{3, 6, 3, 3, 5, 0.0f, 0.0f, 0.5f, 0.5f, {0, 1, 0, 0, 0}, 1.0f, 1.0f},
                      // Shaping that leaves [0, 1] is clamped before it becomes a table position.
                      TableCase{4, 6, 2, 2, 4, 0.5f, 0.5f, 0.0f, 0.0f, {0.1f, 0.8f, 0.1f, 0, 0}, 0.0f, 1.0f},
                      TableCase{4, 6, 2, 2, 4, 0.5f, 0.5f, 0.0f, 0.0f, {0.1f, 0.8f, 0.1f, 0, 0}, -1.5f, 1.0f},
                      TableCase{4, 6, 2, 2, 4, 0.5f, 0.5f, 0.0f, 0.0f, {0.1f, 0.8f, 0.1f, 0, 0}, kNaN, 1.0f},
                      TableCase{4, 6, 2, 2, 4, kNaN, 0.5f, 1e30f, -1e30f, {0, 0, 0, 0, 1}, 1.0f, kNaN}));

TEST(ProfileGainTableEdges, TablePositionsOfTheBrightestSample) {
    TableCase k{1, 2, 1, 1, 4, 1.0f, 1.0f, 0.0f, 0.0f, {0, 0, 0, 0, 1}, 1.0f, 1.0f};
    FImage in(1, 2, 3), out(1, 2, 3);
    const float px[6] = {0.6f, 0.1f, 0.2f, 1.5f, 0.1f, 0.2f};
    for (int i = 0; i < 6; ++i) in.row(0)[i] = px[i];
    ASSERT_EQ(call("apply_profile_gain_table_map", in.view(), out.view(), table_attrs(k, {1, 2, 3, 4})), 0);
    EXPECT_NEAR(out.at(0, 0, 1), 0.1f * 3.4f, 1e-6);  // position 2.4: between entries 2 and 3
    EXPECT_NEAR(out.at(0, 0, 2), 0.2f * 3.4f, 1e-6);
    EXPECT_EQ(out.at(0, 0, 0), 1.0f);
    EXPECT_NEAR(out.at(0, 1, 1), 0.4f, 1e-6);  // brightness 1 or more uses the last entry
}

}  // namespace
