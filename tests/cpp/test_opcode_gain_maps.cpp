// The three gain-map opcodes against a direct bilinear reading of the grid at
// every pixel, their edge cases, and the refusal of parameters that would
// reach outside the caller's arrays.
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

Attrs grid_attrs(const GridCase& k, const std::vector<float>& g) {
    Attrs a;
    a.f32s("gain_values", g).i32("points_v", k.pv).i32("points_h", k.ph).i32("map_planes", k.mp);
    a.i32("top", k.top).i32("left", k.left).i32("bottom", k.bottom).i32("right", k.right);
    if (k.c == 3) a.i32("start_plane", k.start).i32("num_planes", k.num);
    a.i32("row_pitch", k.rp).i32("col_pitch", k.cp);
    return a.f64("spacing_v", k.sv).f64("spacing_h", k.sh).f64("origin_v", k.ov).f64("origin_h", k.oh);
}

// Grid position clamped to [0, n - 1], NaN to 0.
void grid_pos(double t, int32_t n, int64_t* i0, int64_t* i1, double* f) {
    t = std::isnan(t) ? 0.0 : std::min(std::max(t, 0.0), double(n - 1));
    *i0 = int64_t(std::floor(t));
    *i1 = std::min<int64_t>(*i0 + 1, n - 1);
    *f = t - double(*i0);
}

double reference_gain(const GridCase& k, const std::vector<float>& g, uint64_t y, uint64_t x, int64_t m) {
    int64_t r0, r1, c0, c1;
    double fv, fh;
    grid_pos(((y + 0.5) / double(k.h) - k.ov) / k.sv, k.pv, &r0, &r1, &fv);
    grid_pos(((x + 0.5) / double(k.w) - k.oh) / k.sh, k.ph, &c0, &c1, &fh);
    auto G = [&](int64_t r, int64_t c) { return double(g[(r * k.ph + c) * k.mp + m]); };
    const double top = G(r0, c0) * (1 - fh) + G(r0, c1) * fh;
    const double bottom = G(r1, c0) * (1 - fh) + G(r1, c1) * fh;
    return top * (1 - fv) + bottom * fv;
}

bool selected(const GridCase& k, uint64_t y, uint64_t x, int64_t p) {
    const int64_t top = std::max(k.top, 0), left = std::max(k.left, 0);
    const int64_t bottom = (k.bottom >= 1 && uint64_t(k.bottom) <= k.h) ? k.bottom : int64_t(k.h);
    const int64_t right = (k.right >= 1 && uint64_t(k.right) <= k.w) ? k.right : int64_t(k.w);
    const int64_t start = k.c == 3 ? k.start : 0, num = k.c == 3 ? k.num : 1;
    const int64_t iy = int64_t(y), ix = int64_t(x);
    return p >= start && p < start + num && iy >= top && iy < bottom && ix >= left && ix < right &&
           (iy - top) % k.rp == 0 && (ix - left) % k.cp == 0;
}

class GainMapWalk : public ::testing::TestWithParam<GridCase> {};

TEST_P(GainMapWalk, EqualsDirectBilinearAtEveryProcessedPixel) {
    const GridCase k = GetParam();
    const std::vector<float> g = grid_values(size_t(k.pv) * k.ph * k.mp, -0.2f, 2.5f);
    FImage in(k.h, k.w, k.c, 1), out(k.h, k.w, k.c, 3);
    fill(in, 0.0f, 1.0f, 17);
    const char* op = k.c == 3 ? "apply_gain_map" : "apply_gain_map_cfa";
    ASSERT_EQ(call(op, in.view(), out.view(), grid_attrs(k, g)), 0);
    for (uint64_t y = 0; y < k.h; ++y)
        for (uint64_t x = 0; x < k.w; ++x)
            for (uint64_t p = 0; p < k.c; ++p) {
                const float v = in.at(y, x, p);
                if (!selected(k, y, x, int64_t(p))) {
                    ASSERT_EQ(out.at(y, x, p), v) << y << "," << x << "," << p;
                    continue;
                }
                const int64_t m = k.c == 3 ? std::min<int64_t>(p, k.mp - 1) : 0;
                const double want = std::min(std::max(v * reference_gain(k, g, y, x, m), 0.0), 1.0);
                ASSERT_NEAR(out.at(y, x, p), want, 3e-5) << y << "," << x << "," << p;
            }
    EXPECT_TRUE(in.guards_intact() && out.guards_intact());
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Grids, GainMapWalk,
    ::testing::Values(
        GridCase{9, 13, 3, 3, 4, 3, 0, 0, 0, 0, 0, 3, 1, 1, 0.5, 1.0 / 3, 0, 0},
        GridCase{8, 21, 3, 4, 5, 2, 0, 0, 0, 0, 1, 5, 1, 1, 0.3, 0.15, 0.1, 0.2},       // planes 1, 2 read map plane 1
        GridCase{10, 17, 3, 3, 3, 3, -5, 2, 0, 0, 0, 3, 2, 3, 0.4, 0.4, -0.1, -0.2},    // top -5, pitches
        GridCase{6, 7, 3, 1, 1, 1, 1, 1, 5, 6, 0, 3, 1, 1, 1.0, 1.0, 0, 0},             // one gain point
        GridCase{5, 200, 1, 2, 7, 2, 0, 0, 0, 0, 0, 1, 1, 1, 0.9, 0.1, 0.05, 0.25},     // long walks, cfa
        GridCase{4, 150, 1, 3, 40, 1, 1, 3, 4, 149, 0, 1, 1, 5, 0.5, 0.02, 0, 0.1},     // several cells per move
        GridCase{5, 33, 3, 2, 6, 3, 0, 0, 0, 0, 0, 3, 1, 2, 0.5, 0.0, 0.0, 0.5},        // zero spacing
        GridCase{5, 9, 3, 2, 3, 3, 0, 0, 0, 0, 0, 3, 1, 1, 0.5, 0.5, 1e300, -1e300},    // absurd origins
        GridCase{5, 9, 1, 2, 3, 1, 0, 0, 0, 0, 0, 1, 1, 1, kNaN, 0.5, 0.0, kNaN},      // NaN geometry
        GridCase{4, 11, 1, 2, 3, 1, 0, 0, 0, 0, 0, 1, 1, 1, 0.5, 0.5, 0.0, 5e9}));     // next beyond int32

TEST(GainMapEdges, ClampOfGainsAndSinglePoint) {
    FImage in(3, 4, 3), out(3, 4, 3);
    for (uint64_t y = 0; y < 3; ++y)
        for (uint64_t i = 0; i < 12; ++i) in.row(y)[i] = 0.7f;
    for (float gain : {2.0f, -1.0f}) {
        const GridCase k{3, 4, 3, 1, 1, 1, 0, 0, 0, 0, 0, 3, 1, 1, 1.0, 1.0, 0, 0};
        ASSERT_EQ(call("apply_gain_map", in.view(), out.view(), grid_attrs(k, {gain})), 0);
        EXPECT_EQ(out.at(2, 3, 1), gain > 0 ? 1.0f : 0.0f);
    }
}

// Faults that would read past the grid or never advance: refused after the copy.
TEST(GainMapRefusals, ShortGridPitchesAndPlanes) {
    const GridCase base{4, 5, 3, 2, 3, 2, 0, 0, 0, 0, 0, 3, 1, 1, 0.5, 0.5, 0, 0};
    const std::vector<float> full = grid_values(12, 0.5f, 1.5f);
    struct Fault {
        const char* name;
        int32_t value;
    };
    for (const Fault f : {Fault{"row_pitch", 0}, Fault{"col_pitch", 0}, Fault{"col_pitch", -3},
                          Fault{"start_plane", -1}, Fault{"gain_values", 0}}) {
        for (uint64_t c : {1u, 3u}) {
            if (c == 1 && std::string(f.name) == "start_plane") continue;
            GridCase k = base;
            k.c = c;
            Attrs a = grid_attrs(k, full);
            if (std::string(f.name) == "gain_values") a.item("gain_values").count = 11;
            else a.item(f.name).value.i32 = f.value;
            FImage in(4, 5, c, 2), out(4, 5, c);
            fill(in);
            EXPECT_EQ(call(c == 3 ? "apply_gain_map" : "apply_gain_map_cfa", in.view(), out.view(), a), 1) << f.name;
            EXPECT_TRUE(out.same_pixels(in) && out.guards_intact()) << f.name;
        }
    }
}

TEST(GainMapRefusals, HugePitchesDoNotWrap) {
    const GridCase k{6, 7, 3, 1, 1, 1, 0, 0, 0, 0, 0, 3, 2147483647, 2147483647, 1, 1, 0, 0};
    FImage in(6, 7, 3), out(6, 7, 3);
    fill(in, 0.0f, 0.4f);
    ASSERT_EQ(call("apply_gain_map", in.view(), out.view(), grid_attrs(k, {2.0f})), 0);
    for (uint64_t y = 0; y < 6; ++y)
        for (uint64_t x = 0; x < 7; ++x)
            EXPECT_EQ(out.at(y, x, 1), (x == 0 && y == 0 ? 2.0f : 1.0f) * in.at(y, x, 1));
    EXPECT_TRUE(out.guards_intact());
}

TEST(FlatGainMap, RowsExtrapolatePastTheLastGridRow) {
    FImage in(4, 3, 1), out(4, 3, 1);
    fill(in, 0.5f, 0.5f);
    Attrs a;
    a.f32s("gain_map", {1, 1, 3, 3}).i32("gain_h", 2).i32("gain_w", 2);
    ASSERT_EQ(call("apply_flat_gain_map", in.view(), out.view(), a), 0);
    for (uint64_t y = 0; y < 4; ++y) EXPECT_FLOAT_EQ(out.at(y, 2), 0.5f * float(y + 1));
}

class FlatGainGrid : public ::testing::TestWithParam<std::array<int32_t, 4>> {};

TEST_P(FlatGainGrid, MatchesBilinearWithExtrapolation) {
    const auto [h, w, gh, gw] = GetParam();
    const std::vector<float> m = grid_values(size_t(gh) * gw, 0.2f, 3.0f);
    FImage in(h, w, 1, 2), out(h, w, 1, 1);
    fill(in, 0.0f, 1.0f, 23);
    Attrs a;
    a.f32s("gain_map", m).i32("gain_h", gh).i32("gain_w", gw);
    ASSERT_EQ(call("apply_flat_gain_map", in.view(), out.view(), a), 0);
    auto axis = [](double g, int32_t n, int64_t* i, double* f) {
        *i = std::min<int64_t>(int64_t(std::floor(g)), n - 2);
        *f = g - double(*i);
    };
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            int64_t iy, ix;
            double fy, fx;
            axis(double(gh) * y / h, gh, &iy, &fy);
            axis(double(gw) * x / w, gw, &ix, &fx);
            auto M = [&](int64_t r, int64_t c) { return double(m[r * gw + c]); };
            const double top = M(iy, ix) * (1 - fx) + M(iy, ix + 1) * fx;
            const double bottom = M(iy + 1, ix) * (1 - fx) + M(iy + 1, ix + 1) * fx;
            const double want = in.at(y, x) * (top * (1 - fy) + bottom * fy);
            ASSERT_NEAR(out.at(y, x), want, 1e-5 * std::max(1.0, std::fabs(want))) << y << "," << x;
        }
    EXPECT_TRUE(out.guards_intact());
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlatGainGrid,
                         ::testing::Values(std::array<int32_t, 4>{7, 9, 3, 4}, std::array<int32_t, 4>{5, 5, 5, 5},
                                           std::array<int32_t, 4>{3, 20, 2, 9}, std::array<int32_t, 4>{12, 2, 6, 2}));

TEST(FlatGainMap, RefusesSmallAndShortGridsAfterTheCopy) {
    for (int fault = 0; fault < 3; ++fault) {
        FImage in(4, 4, 1, 1), out(4, 4, 1);
        fill(in);
        Attrs a;
        a.f32s("gain_map", {1, 1, 1, 1, 1, 1}).i32("gain_h", fault == 0 ? 1 : 2).i32("gain_w", 3);
        if (fault == 1) a.item("gain_map").count = 5;  // one entry short of 2 x 3
        if (fault == 2) a.item("gain_w").value.i32 = 1 << 30;
        EXPECT_EQ(call("apply_flat_gain_map", in.view(), out.view(), a), 1) << fault;
        EXPECT_TRUE(out.same_pixels(in) && out.guards_intact());
    }
}

}  // namespace
