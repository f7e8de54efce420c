// The fisheye warp's internals: its arctangent against the C library's over
// every branch of its range reduction, and its instruction-set copies (map and
// sampling) against the baseline's bytes.
#include <cmath>
#include <limits>
#include <vector>

#include "core/isa.hpp"
#include "opcodes/fisheye_atan.hpp"
#include "opcodes/isa_entries.hpp"
#include "test_opcode_support.hpp"

using namespace opcode_test;

namespace {

// Within one unit in the last place of the library's value.
bool within_one_ulp(double got, double want) {
    const double inf = std::numeric_limits<double>::infinity();
    return got >= std::nextafter(want, -inf) && got <= std::nextafter(want, inf);
}

TEST(FisheyeAtan, WithinOneUlpOfTheLibraryOnEveryBranch) {
    // Dense steps through the direct range (up to 0.66), the middle one and
    // beyond tan(3 pi / 8), then the edges of each and the extremes.
    std::vector<double> xs;
    for (int i = 0; i <= 200000; ++i) xs.push_back(double(i) * 2e-5);
    for (int i = 0; i <= 20000; ++i) xs.push_back(4.0 + double(i) * 0.01);
    for (double edge : {0.66, 2.41421356237309504880}) {
        for (double x = edge, y = edge; x > edge - 1e-12; x = std::nextafter(x, 0.0), y = std::nextafter(y, 10.0)) {
            xs.push_back(x);
            xs.push_back(y);
        }
    }
    for (double x : {0.0, 5e-324, 1e-300, 1e-8, 1e8, 1e300, std::numeric_limits<double>::max()}) xs.push_back(x);
    for (double x : xs) EXPECT_TRUE(within_one_ulp(tarnimg::atan_nonnegative(x), std::atan(x))) << x;
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(tarnimg::atan_nonnegative(inf), std::atan(inf));
    EXPECT_TRUE(std::isnan(tarnimg::atan_nonnegative(std::numeric_limits<double>::quiet_NaN())));
}

struct FisheyeCase {
    uint64_t h, w, c;
    int32_t coeffs;
    bool bicubic;
    double cx, cy;
};

void PrintTo(const FisheyeCase& k, std::ostream* os) {
    *os << k.h << "x" << k.w << "x" << k.c << ", " << k.coeffs << " coefficients"
        << (k.bicubic ? ", bicubic" : ", bilinear") << ", centre " << k.cx << "," << k.cy;
}

Attrs attrs_for(const FisheyeCase& k) {
    std::vector<double> radial;
    for (uint64_t p = 0; p < k.c; ++p)
        for (int32_t i = 0; i < k.coeffs; ++i) radial.push_back(i == 0 ? 1.2 - 0.05 * double(p) : 0.3 / (i + p + 1.0));
    Attrs a;
    a.f64s("radial_params", radial).i32("num_planes", int32_t(k.c)).i32("num_coeffs", k.coeffs);
    a.f64("center_x", k.cx).f64("center_y", k.cy).i32("use_bicubic", k.bicubic ? 1 : 0);
    return a;
}

class FisheyeCopies : public ::testing::TestWithParam<FisheyeCase> {};

TEST_P(FisheyeCopies, EveryCopyGivesTheBaselineBytes) {
    const FisheyeCase k = GetParam();
    FImage in(k.h, k.w, k.c, 1);
    fill(in, -0.1, 1.1, 23);
    const Attrs a = attrs_for(k);
    ImageView src = in.view();
    FImage base(k.h, k.w, k.c, 2);
    ImageView base_view = base.view();
    ASSERT_EQ(tarnimg::warp_fisheye_with(pyxa::Isa::Baseline, &src, 1, &base_view, 1, a.data(), a.size()), 0);
    for (pyxa::Isa isa : pyxa::kAllIsas) {
        if (!pyxa::isa_supported(isa)) continue;
        FImage out(k.h, k.w, k.c, 2);
        ImageView view = out.view();
        ASSERT_EQ(tarnimg::warp_fisheye_with(isa, &src, 1, &view, 1, a.data(), a.size()), 0);
        EXPECT_TRUE(out.same_pixels(base)) << "copy " << int(isa);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FisheyeCopies,
    ::testing::Values(FisheyeCase{4, 4, 1, 1, false, 0.5, 0.5}, FisheyeCase{5, 263, 1, 4, false, 0.5, 0.5},
                      FisheyeCase{5, 263, 1, 2, true, 0.4, 0.6}, FisheyeCase{6, 517, 3, 3, false, 0.3, 0.8},
                      FisheyeCase{7, 29, 2, 5, true, -0.4, 1.7}, FisheyeCase{9, 300, 1, 4, true, 0.5, 0.5}));

}  // namespace
