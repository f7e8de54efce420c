// The lens opcodes: vignette gain and the rectilinear warp (bilinear and
// bicubic) against references written from the formulas, and the identity cases.
#include <cmath>
#include <limits>
#include <thread>

#include "test_opcode_support.hpp"

using namespace opcode_test;

namespace {

struct Geometry {
    double cx, cy, r;
};

Geometry geometry(uint64_t h, uint64_t w, double fx, double fy) {
    const double cx = w * fx, cy = h * fy;
    double r = 1.0;
    for (double px : {0.0, double(w)})
        for (double py : {0.0, double(h)}) r = std::max(r, std::hypot(px - cx, py - cy));
    return {cx, cy, r};
}

struct VignetteCase {
    uint64_t c;
    std::vector<double> k;
    double cx, cy;
};

void PrintTo(const VignetteCase& v, std::ostream* os) {
    *os << v.c << " channels, " << v.k.size() << " coefficients, centre " << v.cx << "," << v.cy;
}

class Vignette : public ::testing::TestWithParam<VignetteCase> {};

TEST_P(Vignette, MatchesRadialPolynomial) {
    const VignetteCase v = GetParam();
    FImage in(9, 11, v.c, 1), out(9, 11, v.c, 2);
    fill(in, -0.2f, 1.2f, 41);
    Attrs a;
    a.f64s("params", v.k).f64("center_x", v.cx).f64("center_y", v.cy);
    ASSERT_EQ(call("fix_vignette", in.view(), out.view(), a), 0);
    const Geometry g = geometry(9, 11, v.cx, v.cy);
    for (uint64_t y = 0; y < 9; ++y)
        for (uint64_t x = 0; x < 11; ++x) {
            const double s = (std::pow(x - g.cx, 2) + std::pow(y - g.cy, 2)) / (g.r * g.r);
            double gain = 1.0;
            for (size_t i = 0; i < std::min<size_t>(v.k.size(), 5); ++i) gain += v.k[i] * std::pow(s, double(i + 1));
            for (uint64_t c = 0; c < v.c; ++c) {
                const double want = std::min(std::max(double(in.at(y, x, c)) * float(gain), 0.0), 1.0);
                ASSERT_NEAR(out.at(y, x, c), want, 1e-6) << y << "," << x;
            }
        }
    EXPECT_TRUE(out.guards_intact());
}

INSTANTIATE_TEST_SUITE_P(Params, Vignette,
                         ::testing::Values(VignetteCase{3, {0.0}, 0.5, 0.5}, VignetteCase{1, {0.3}, 0.5, 0.5},
                                           VignetteCase{2, {0.1, -0.2, 0.05}, 0.3, 0.7},
                                           VignetteCase{3, {0.2, 0.1, 0.1, 0.1, 0.1, 1e6}, 0.5, 0.5},
                                           VignetteCase{4, {0.5, 0.5}, 2.0, -0.5}));

Attrs warp_attrs(std::vector<double> radial, int32_t planes, int32_t coeffs, double cx, double cy, int32_t bicubic) {
    Attrs a;
    a.f64s("radial_params", std::move(radial)).i32("num_planes", planes).i32("num_coeffs", coeffs);
    return a.f64("center_x", cx).f64("center_y", cy).i32("use_bicubic", bicubic);
}

TEST(Warp, IdentityBilinearIsExactAndBicubicShiftsOnlyEdges) {
    FImage in(8, 10, 2, 1), lin(8, 10, 2, 3), cub(8, 10, 2);
    fill(in, 0.0f, 1.0f, 5);
    ASSERT_EQ(call("warp_rectilinear", in.view(), lin.view(), warp_attrs({1, 1}, 2, 1, 0.5, 0.5, 0)), 0);
    ASSERT_EQ(call("warp_rectilinear", in.view(), cub.view(), warp_attrs({1, 1}, 2, 1, 0.5, 0.5, 1)), 0);
    EXPECT_TRUE(lin.same_pixels(in));
    auto src = [](uint64_t i, uint64_t n) { return i == 0 ? 1 : i + 2 >= n ? n - 3 : i; };
    for (uint64_t y = 0; y < 8; ++y)
        for (uint64_t x = 0; x < 10; ++x)
            for (uint64_t c = 0; c < 2; ++c) ASSERT_EQ(cub.at(y, x, c), in.at(src(y, 8), src(x, 10), c));
    EXPECT_TRUE(lin.guards_intact() && cub.guards_intact());
}

TEST(Warp, PlaneCountAndCoefficientStride) {
    FImage in(6, 7, 3), out(6, 7, 3), sent(6, 7, 3);
    fill(in, 0.0f, 1.0f, 2);
    fill(out, 5.0f, 6.0f, 3);
    fill(sent, 5.0f, 6.0f, 3);
    // Six coefficients per plane: the fifth and sixth are never used, and plane
    // 1 starts at index 6 (identity there, a strong warp if read at index 4).
    ASSERT_EQ(call("warp_rectilinear", in.view(), out.view(),
                   warp_attrs({1, 0, 0, 0, 7, 7, 1, 0, 0, 0, 7, 7}, 2, 6, 0.5, 0.5, 0)), 0);
    for (uint64_t y = 0; y < 6; ++y)
        for (uint64_t x = 0; x < 7; ++x) {
            EXPECT_EQ(out.at(y, x, 0), in.at(y, x, 0));
            EXPECT_EQ(out.at(y, x, 1), in.at(y, x, 1));
            EXPECT_EQ(out.at(y, x, 2), sent.at(y, x, 2));  // planes past num_planes are not written
        }
}

struct WarpCase {
    std::vector<double> radial, tangential;
    int32_t coeffs;
    double cx, cy;
    int32_t bicubic;
};

void PrintTo(const WarpCase& k, std::ostream* os) {
    *os << (k.bicubic ? "bicubic" : "bilinear") << ", " << k.coeffs << " coefficients, tangential "
        << !k.tangential.empty() << ", centre " << k.cx << "," << k.cy;
}

double cubic(double t) {
    t = std::fabs(t);
    return t < 1 ? 1.25 * t * t * t - 2.25 * t * t + 1 : t < 2 ? -0.75 * t * t * t + 3.75 * t * t - 6 * t + 3 : 0;
}

class WarpReference : public ::testing::TestWithParam<WarpCase> {};

TEST_P(WarpReference, MatchesDirectResampling) {
    const WarpCase k = GetParam();
    const uint64_t H = 11, W = 13, C = 2;
    FImage in(H, W, C, 2), out(H, W, C, 1);
    fill(in, 0.0f, 1.0f, 12);
    Attrs a = warp_attrs(k.radial, 2, k.coeffs, k.cx, k.cy, k.bicubic);
    if (!k.tangential.empty()) a.f64s("tangential_params", k.tangential);
    ASSERT_EQ(call("warp_rectilinear", in.view(), out.view(), a), 0);
    const Geometry g = geometry(H, W, k.cx, k.cy);
    for (uint64_t y = 0; y < H; ++y)
        for (uint64_t x = 0; x < W; ++x)
            for (uint64_t p = 0; p < C; ++p) {
                const double dx = (x - g.cx) / g.r, dy = (y - g.cy) / g.r;
                const double s = std::min(dx * dx + dy * dy, 1.0);
                double ratio = 0;
                for (int i = 0; i < std::min(k.coeffs, 4); ++i) ratio += k.radial[p * k.coeffs + i] * std::pow(s, i);
                double sx = g.cx + ratio * (x - g.cx), sy = g.cy + ratio * (y - g.cy);
                if (!k.tangential.empty()) {
                    const double p0 = k.tangential[2 * p], p1 = k.tangential[2 * p + 1];
                    sx += g.r * (2 * p0 * dx * dy + p1 * (s + 2 * dx * dx));
                    sy += g.r * (p0 * (s + 2 * dy * dy) + 2 * p1 * dx * dy);
                }
                sx = std::min(std::max(sx, 0.0), W - 1.0);
                sy = std::min(std::max(sy, 0.0), H - 1.0);
                double want = 0;
                if (!k.bicubic) {
                    const int64_t x0 = int64_t(sx), y0 = int64_t(sy);
                    const int64_t x1 = std::min<int64_t>(x0 + 1, W - 1), y1 = std::min<int64_t>(y0 + 1, H - 1);
                    const double fx = sx - x0, fy = sy - y0;
                    want = (in.at(y0, x0, p) * (1 - fx) + in.at(y0, x1, p) * fx) * (1 - fy) +
                           (in.at(y1, x0, p) * (1 - fx) + in.at(y1, x1, p) * fx) * fy;
                } else {
                    // Window of 4 x 4 starting one before the sample, pushed inside
                    // the image (then at fraction 0); fractions in 1/32 steps.
                    auto axis = [](double s, int64_t n, int64_t* b, double* f) {
                        const int64_t i = int64_t(s);
                        *b = i - 1 < 0 ? 0 : i - 1 > n - 4 ? n - 4 : i - 1;
                        *f = (*b == i - 1) ? std::floor((s - i) * 32) / 32 : 0.0;
                    };
                    int64_t bx, by;
                    double fx, fy, sum = 0, acc = 0;
                    axis(sx, W, &bx, &fx);
                    axis(sy, H, &by, &fy);
                    for (int r = 0; r < 4; ++r)
                        for (int c = 0; c < 4; ++c) {
                            const double w = cubic(r - 1 - fy) * cubic(c - 1 - fx);
                            sum += w;
                            acc += w * in.at(by + r, bx + c, p);
                        }
                    want = std::min(std::max(acc / sum, 0.0), 1.0);
                }
                ASSERT_NEAR(out.at(y, x, p), want, k.bicubic ? 2e-6 : 1e-6) << y << "," << x << "," << p;
            }
    EXPECT_TRUE(out.guards_intact());
}

INSTANTIATE_TEST_SUITE_P(
    Distortions, WarpReference,
    ::testing::Values(WarpCase{{1.02, -0.05, 0.01, 0.002, 0.98, 0.04, -0.02, 0.001}, {}, 4, 0.4, 0.6, 0},
                      WarpCase{{0.97, 0.05, 1.01, -0.03}, {0.01, -0.02, 0.0, 0.0}, 2, 0.5, 0.5, 0},
                      WarpCase{{3.0, 0.5}, {0.3, 0.2, -0.1, 0.4}, 1, 0.5, 0.5, 0},   // samples clamped to edges
                      WarpCase{{1.03, -0.04, 0.02, 0.99, 0.03, 0.0}, {}, 3, 0.45, 0.55, 1},
                      WarpCase{{0.95, 0.1, 1.0, 0.0}, {0.005, 0.003, -0.004, 0.002}, 2, 0.3, 0.6, 1},
                      WarpCase{{1.0, 1.0}, {}, 1, 2.0, -1.0, 1}));

TEST(WarpBicubic, ConcurrentCallsAgree) {
    FImage in(12, 12, 1);
    fill(in, 0.0f, 1.0f, 99);
    std::vector<FImage> outs(4, FImage(12, 12, 1));
    std::vector<int32_t> status(4, -1);
    std::vector<std::thread> threads;
    const Attrs a = warp_attrs({1.05, -0.1}, 1, 2, 0.5, 0.5, 1);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] { status[t] = call("warp_rectilinear", in.view(), outs[t].view(), a); });
    for (std::thread& th : threads) th.join();
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(status[t], 0);
        EXPECT_TRUE(outs[t].same_pixels(outs[0]));
    }
}

}  // namespace
