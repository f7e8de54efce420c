// "map_polynomial" and "fix_bad_pixels_constant" against references written
// from the formulas, and their listed cases (thin images included).
#include <cmath>

#include "test_opcode_support.hpp"

using namespace opcode_test;

namespace {

struct PolyCase {
    uint64_t h, w, c;
    int32_t top, left, bottom, right, start, num, rp, cp;
    std::vector<float> coeffs;
};

void PrintTo(const PolyCase& k, std::ostream* os) {
    *os << k.h << "x" << k.w << "x" << k.c << " rows " << k.top << ".." << k.bottom << " cols " << k.left << ".."
        << k.right << " degree " << k.coeffs.size() - 1;
}

Attrs poly_attrs(const PolyCase& k) {
    Attrs a;
    a.i32("top", k.top).i32("left", k.left).i32("bottom", k.bottom).i32("right", k.right);
    a.i32("start_plane", k.start).i32("num_planes", k.num).i32("row_pitch", k.rp).i32("col_pitch", k.cp);
    return a.f32s("coefficients", k.coeffs).i32("degree", int32_t(k.coeffs.size()) - 1);
}

double reference_poly(const std::vector<float>& c, double v) {
    if (c.size() == 1) return std::min(std::max(double(c[0]), -1.0), 1.0);
    double s = 0;
    for (size_t i = 1; i < c.size(); ++i) s += c[i] * std::pow(std::fabs(v), double(i));
    return std::min(std::max(v < 0 ? c[0] - s : c[0] + s, -1.0), 1.0);
}

class Polynomial : public ::testing::TestWithParam<PolyCase> {};

TEST_P(Polynomial, MapsExactlyTheSelectedSamples) {
    const PolyCase k = GetParam();
    FImage in(k.h, k.w, k.c, 1), out(k.h, k.w, k.c, 2);
    fill(in, -1.5f, 1.5f, 8);
    ASSERT_EQ(call("map_polynomial", in.view(), out.view(), poly_attrs(k)), 0);
    const bool all_rows = k.top == 0 && k.bottom == 0, all_cols = k.left == 0 && k.right == 0;
    const int64_t y0 = all_rows ? 0 : k.top, y1 = all_rows ? int64_t(k.h) : k.bottom;
    const int64_t x0 = all_cols ? 0 : k.left, x1 = all_cols ? int64_t(k.w) : k.right;
    for (int64_t y = 0; y < int64_t(k.h); ++y)
        for (int64_t x = 0; x < int64_t(k.w); ++x)
            for (int64_t p = 0; p < int64_t(k.c); ++p) {
                const bool sel = y >= y0 && y < y1 && x >= x0 && x < x1 && (y - y0) % k.rp == 0 &&
                                 (x - x0) % k.cp == 0 && p >= k.start && p < k.start + k.num;
                const float v = in.at(y, x, p);
                if (!sel) ASSERT_EQ(out.at(y, x, p), v);
                else ASSERT_NEAR(out.at(y, x, p), reference_poly(k.coeffs, v), 2e-6) << y << "," << x << "," << p;
            }
    EXPECT_TRUE(out.guards_intact());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Polynomial,
    ::testing::Values(PolyCase{5, 6, 3, 0, 0, 0, 0, 0, 3, 1, 1, {0.0f, 1.0f}},      // identity inside [-1, 1]
                      PolyCase{4, 5, 1, 0, 0, 0, 0, 0, 1, 1, 1, {0.25f}},           // value not used
                      PolyCase{4, 5, 1, 0, 0, 0, 0, 0, 1, 1, 1, {2.0f}},            // clamped to 1
                      PolyCase{6, 9, 1, 0, 2, 0, 6, 0, 1, 1, 1, {0.0f, 0.0f, 1.0f}},  // columns 2 to 5
                      PolyCase{9, 8, 3, 1, 2, 8, 7, 1, 5, 2, 3, {0.1f, 0.5f, -0.3f, 0.2f}},
                      PolyCase{4, 4, 3, 4, 0, 4, 0, 0, 3, 1, 1, {0.5f}},            // an empty row range
                      PolyCase{5, 5, 3, 0, 0, 5, 5, 2, 9, 1, 1, {-0.2f, 0.7f, 0.0f, 0.1f}}));

TEST(PolynomialSymmetry, NegativeSamplesMirrorThroughC0) {
    FImage in(1, 4, 1), out(1, 4, 1);
    const float v[4] = {0.5f, -0.5f, 0.8f, -0.8f};
    for (int i = 0; i < 4; ++i) in.at(0, i) = v[i];
    PolyCase sq{1, 4, 1, 0, 0, 0, 0, 0, 1, 1, 1, {0.0f, 0.0f, 1.0f}};
    ASSERT_EQ(call("map_polynomial", in.view(), out.view(), poly_attrs(sq)), 0);
    EXPECT_EQ(out.at(0, 0), 0.25f);
    EXPECT_EQ(out.at(0, 1), -0.25f);
    PolyCase odd{1, 4, 1, 0, 0, 0, 0, 0, 1, 1, 1, {0.0f, 0.3f, -0.6f, 0.4f}};
    ASSERT_EQ(call("map_polynomial", in.view(), out.view(), poly_attrs(odd)), 0);
    EXPECT_EQ(out.at(0, 1), -out.at(0, 0));
    EXPECT_EQ(out.at(0, 3), -out.at(0, 2));
    EXPECT_NE(out.at(0, 0), 0.0f);
}

// Repair by the formulas, with signed neighbour positions and plain bounds.
void reference_fix(U16Image& in, U16Image& out, uint16_t bad, int q) {
    const int64_t H = int64_t(in.h), W = int64_t(in.w);
    for (int64_t y = 0; y < H; ++y)
        for (int64_t x = 0; x < W; ++x) {
            if (in.at(y, x) != bad) {
                out.at(y, x) = in.at(y, x);
                continue;
            }
            const bool straight = ((q + y + x) & 1) != 0;
            const int64_t dy[4] = {straight ? -2 : -1, straight ? 2 : -1, straight ? 0 : 1, straight ? 0 : 1};
            const int64_t dx[4] = {straight ? 0 : -1, straight ? 0 : 1, straight ? -2 : -1, straight ? 2 : 1};
            uint32_t n = 0, s = 0;
            for (int i = 0; i < 4; ++i) {
                const int64_t ny = y + dy[i], nx = x + dx[i];
                if (ny < 0 || ny >= H || nx < 0 || nx >= W || in.at(ny, nx) == bad) continue;
                s += in.at(ny, nx);
                ++n;
            }
            if (n == 4) out.at(y, x) = uint16_t((s + 2) >> 2);
            else if (n > 0) out.at(y, x) = uint16_t((s + n / 2) / n);
        }
}

class BadPixels : public ::testing::TestWithParam<std::tuple<std::pair<int, int>, int32_t>> {};

TEST_P(BadPixels, MatchReferenceRepairIncludingThinImages) {
    const auto [size, phase] = GetParam();
    const auto [h, w] = size;
    U16Image in(h, w, 1, 1), out(h, w, 1, 2), want(h, w, 1, 2);
    uint32_t seed = uint32_t(h * 31 + w);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            in.at(y, x) = uint16_t(1000 + (seed >> 24) % 3 * 2000);  // 5000 marks a defect
            out.at(y, x) = want.at(y, x) = 7;
        }
    Attrs a;
    a.i32("constant", 5000).i32("bayer_phase", phase);
    ASSERT_EQ(call("fix_bad_pixels_constant", in.view(), out.view(), a), 0);
    const uint32_t bits = uint32_t(phase);
    reference_fix(in, want, 5000, int((bits ^ (bits >> 1)) & 1));
    EXPECT_TRUE(out.same_pixels(want));
    EXPECT_TRUE(in.guards_intact() && out.guards_intact());
}

INSTANTIATE_TEST_SUITE_P(Sizes, BadPixels,
                         ::testing::Combine(::testing::Values(std::make_pair(1, 40), std::make_pair(40, 1),
                                                              std::make_pair(1, 1), std::make_pair(2, 3),
                                                              std::make_pair(7, 8), std::make_pair(16, 13)),
                                            ::testing::Values(0, 1, 2, 3, 6, -1)));

TEST(BadPixelCases, MeansNeighbourSetsAndConstants) {
    U16Image in(5, 5, 1), out(5, 5, 1);
    const uint16_t diag[4] = {10, 11, 12, 13};
    in.at(1, 1) = diag[0], in.at(1, 3) = diag[1], in.at(3, 1) = diag[2], in.at(3, 3) = diag[3];
    for (uint64_t y = 0; y < 5; ++y)
        for (uint64_t x = 0; x < 5; ++x)
            if (in.at(y, x) == 0) in.at(y, x) = 700;
    in.at(2, 2) = 65535;  // class 0 at phase 0: (0 + 2 + 2) & 1
    Attrs a;
    a.i32("constant", -1).i32("bayer_phase", 0);
    ASSERT_EQ(call("fix_bad_pixels_constant", in.view(), out.view(), a), 0);
    EXPECT_EQ(out.at(2, 2), 12);  // (46 + 2) >> 2
    in.at(3, 1) = 65535;
    a.item("constant").value.i32 = 65535;
    ASSERT_EQ(call("fix_bad_pixels_constant", in.view(), out.view(), a), 0);
    EXPECT_EQ(out.at(2, 2), 11);  // (34 + 1) / 3

    U16Image corner(3, 3, 1), fixed(3, 3, 1);
    for (uint64_t y = 0; y < 3; ++y)
        for (uint64_t x = 0; x < 3; ++x) corner.at(y, x) = uint16_t(100 * (y + 1) + x);
    corner.at(0, 0) = 9;
    a.item("constant").value.i32 = 9;
    a.item("bayer_phase").value.i32 = 1;  // class 1 at (0, 0): only (2, 0) and (0, 2)
    ASSERT_EQ(call("fix_bad_pixels_constant", corner.view(), fixed.view(), a), 0);
    EXPECT_EQ(fixed.at(0, 0), (300 + 102 + 1) / 2);

    U16Image all(3, 3, 1);
    for (uint64_t y = 0; y < 3; ++y)
        for (uint64_t x = 0; x < 3; ++x) all.at(y, x) = 9;
    ASSERT_EQ(call("fix_bad_pixels_constant", all.view(), all.view(), a), 0);
    EXPECT_EQ(all.at(1, 1), 9);  // no usable neighbour: left as it was
}

}  // namespace
