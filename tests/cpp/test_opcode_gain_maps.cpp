// The gain-map opcodes against a direct bilinear reading of the grid at every
// pixel: the incremental walk of the grid opcodes and the flat map.
#include <array>
#include <cmath>
#include <limits>

#include "test_opcode_support.hpp"

using namespace opcode_test;

namespace {

struct GridCase {
    uint64_t h, w, c;
    int32_t pv, ph, mp, top, left, bottom, right, start, num, rp, cp;
    double sv, sh, ov, oh;
};

void PrintTo(const GridCase& k, std::ostream* os) {
    *os << k.h << "x" << k.w << "x" << k.c << " grid " << k.pv << "x" << k.ph << "x" << k.mp << " pitch " << k.rp
        << "/" << k.cp << " spacing " << k.sv << "/" << k.sh << " origin " << k.ov << "/" << k.oh;
}

std::vector<float> grid_values(size_t n, float lo, float hi) {
    std::vector<float> g(n);
    for (size_t i = 0; i < n; ++i) g[i] = lo + (hi - lo) * float((i * 37 + 11) % 23) / 22.0f;
    return g;
}

// Grid position clamped to [0, n - 1], NaN to 0: the lower line, the upper line, the fraction.
void grid_pos(double t, int64_t n, int64_t* i0, int64_t* i1, double* f) {
    t = std::isnan(t) ? 0.0 : std::min(std::max(t, 0.0), double(n - 1));
    *i0 = int64_t(std::floor(t));
    *i1 = std::min<int64_t>(*i0 + 1, n - 1);
    *f = t - double(*i0);
}

class GainMapWalk : public ::testing::TestWithParam<GridCase> {};

TEST_P(GainMapWalk, EqualsDirectBilinearAtEveryProcessedPixel) {
    const GridCase k = GetParam();
    const std::vector<float> g = grid_values(size_t(k.pv) * k.ph * k.mp, -0.2f, 2.5f);
    Attrs a;
    a.f32s("gain_values", g).i32("points_v", k.pv).i32("points_h", k.ph).i32("map_planes", k.mp);
    a.i32("top", k.top).i32("left", k.left).i32("bottom", k.bottom).i32("right", k.right);
    if (k.c == 3) a.i32("start_plane", k.start).i32("num_planes", k.num);
    a.i32("row_pitch", k.rp).i32("col_pitch", k.cp);
    a.f64("spacing_v", k.sv).f64("spacing_h", k.sh).f64("origin_v", k.ov).f64("origin_h", k.oh);
    FImage in(k.h, k.w, k.c, 1), out(k.h, k.w, k.c, 3);
    fill(in, 0, 1, 17);
    ASSERT_EQ(call(k.c == 3 ? "apply_gain_map" : "apply_gain_map_cfa", in.view(), out.view(), a), 0);

    const int64_t top = std::max(k.top, 0), left = std::max(k.left, 0);
    const int64_t bottom = (k.bottom >= 1 && uint64_t(k.bottom) <= k.h) ? k.bottom : int64_t(k.h);
    const int64_t right = (k.right >= 1 && uint64_t(k.right) <= k.w) ? k.right : int64_t(k.w);
    const int64_t start = k.c == 3 ? k.start : 0, num = k.c == 3 ? k.num : 1;
    for (int64_t y = 0; y < int64_t(k.h); ++y)
        for (int64_t x = 0; x < int64_t(k.w); ++x)
            for (int64_t p = 0; p < int64_t(k.c); ++p) {
                const float v = in.at(y, x, p);
                if (p < start || p >= start + num || y < top || y >= bottom || x < left || x >= right ||
                    (y - top) % k.rp || (x - left) % k.cp) {
                    ASSERT_EQ(out.at(y, x, p), v) << y << "," << x << "," << p;
                    continue;
                }
                int64_t r0, r1, c0, c1;
                double fv, fh;
                grid_pos(((y + 0.5) / double(k.h) - k.ov) / k.sv, k.pv, &r0, &r1, &fv);
                grid_pos(((x + 0.5) / double(k.w) - k.oh) / k.sh, k.ph, &c0, &c1, &fh);
                const int64_t m = std::min<int64_t>(p, k.mp - 1);
                auto G = [&](int64_t r, int64_t c) { return double(g[(r * k.ph + c) * k.mp + m]); };
                const double gain = (G(r0, c0) * (1 - fh) + G(r0, c1) * fh) * (1 - fv) +
                                    (G(r1, c0) * (1 - fh) + G(r1, c1) * fh) * fv;
                ASSERT_NEAR(out.at(y, x, p), std::min(std::max(v * gain, 0.0), 1.0), 3e-5) << y << "," << x;
            }
    EXPECT_TRUE(in.guards_intact() && out.guards_intact());
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Grids, GainMapWalk,
    ::testing::Values(
        GridCase{9, 13, 3, 3, 4, 3, 0, 0, 0, 0, 0, 3, 1, 1, 0.5, 1.0 / 3, 0, 0},
        GridCase{8, 21, 3, 4, 5, 2, 0, 0, 0, 0, 1, 5, 1, 1, 0.3, 0.15, 0.1, 0.2},     // planes 1, 2 read map plane 1
        GridCase{10, 17, 3, 3, 3, 3, -5, 2, 0, 0, 0, 3, 2, 3, 0.4, 0.4, -0.1, -0.2},  // top -5, pitches
        GridCase{6, 7, 3, 1, 1, 1, 1, 1, 5, 6, 0, 3, 1, 1, 1.0, 1.0, 0, 0},           // one gain point
        GridCase{5, 200, 1, 2, 7, 2, 0, 0, 0, 0, 0, 1, 1, 1, 0.9, 0.1, 0.05, 0.25},   // long walks, cfa
        GridCase{4, 150, 1, 3, 40, 1, 1, 3, 4, 149, 0, 1, 1, 5, 0.5, 0.02, 0, 0.1},   // several cells per move
        GridCase{5, 33, 3, 2, 6, 3, 0, 0, 0, 0, 0, 3, 1, 2, 0.5, 0.0, 0.0, 0.5},      // zero spacing
        GridCase{5, 9, 3, 2, 3, 3, 0, 0, 0, 0, 0, 3, 1, 1, 0.5, 0.5, 1e300, -1e300},  // absurd origins
        GridCase{5, 9, 1, 2, 3, 1, 0, 0, 0, 0, 0, 1, 1, 1, kNaN, 0.5, 0.0, kNaN},    // NaN geometry
        GridCase{4, 11, 1, 2, 3, 1, 0, 0, 0, 0, 0, 1, 1, 1, 0.5, 0.5, 0.0, 5e9}));   // next column beyond int32

class FlatGainGrid : public ::testing::TestWithParam<std::array<int32_t, 4>> {};

TEST_P(FlatGainGrid, MatchesBilinearWithExtrapolation) {
    const auto [h, w, gh, gw] = GetParam();
    const std::vector<float> m = grid_values(size_t(gh) * gw, 0.2f, 3.0f);
    FImage in(h, w, 1, 2), out(h, w, 1, 1);
    fill(in, 0, 1, 23);
    Attrs a;
    ASSERT_EQ(call("apply_flat_gain_map", in.view(), out.view(), a.f32s("gain_map", m).i32("gain_h", gh).i32("gain_w", gw)), 0);
    auto axis = [](double g, int32_t n, int64_t* i, double* f) {
        *i = std::min<int64_t>(int64_t(std::floor(g)), n - 2);  // past the last line: the last cell continues
        *f = g - double(*i);
    };
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            int64_t iy, ix;
            double fy, fx;
            axis(double(gh) * y / h, gh, &iy, &fy);
            axis(double(gw) * x / w, gw, &ix, &fx);
            auto M = [&](int64_t r, int64_t c) { return double(m[r * gw + c]); };
            const double want = in.at(y, x) * ((M(iy, ix) * (1 - fx) + M(iy, ix + 1) * fx) * (1 - fy) +
                                               (M(iy + 1, ix) * (1 - fx) + M(iy + 1, ix + 1) * fx) * fy);
            ASSERT_NEAR(out.at(y, x), want, 1e-5 * std::max(1.0, std::fabs(want))) << y << "," << x;
        }
    EXPECT_TRUE(out.guards_intact());
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlatGainGrid,
                         ::testing::Values(std::array<int32_t, 4>{4, 3, 2, 2}, std::array<int32_t, 4>{7, 9, 3, 4},
                                           std::array<int32_t, 4>{3, 20, 2, 9}, std::array<int32_t, 4>{12, 2, 6, 2}));

}  // namespace
