// normalize_raw where Python cannot reach it: fast and general routines on
// spans at any position, table indices of hostile floats, wrapped products.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "test_spatial_support.hpp"

using namespace pyxa;
using namespace pyxa::spatial_test;

namespace {

constexpr uint64_t kSize = 64;  // tensor width and height of these tests

Attrs levels(int32_t rows, int32_t cols, int32_t spp, std::vector<float> black, std::vector<float> white) {
    Attrs a;
    a.i32("black_repeat_rows", rows).i32("black_repeat_cols", cols).i32("samples_per_pixel", spp);
    a.floats("black_level", std::move(black)).floats("white_level", std::move(white));
    return a;
}

// Normalises `row` (pixels of `spp` samples) placed at (x0, y); a guard float
// after the output must stay untouched.
template <class T>
std::vector<float> run(const Attrs& a, int32_t dtype, const std::vector<T>& row, uint64_t spp, int64_t x0, int64_t y) {
    const TensorDesc in = desc(dtype, kSize, kSize, spp), out = desc(FLOAT32, kSize, kSize, spp);
    KernelStep step;
    EXPECT_EQ(resolve("normalize_raw", a, &in, out, &step), OK);
    if (step.span == nullptr) return {};
    const uint64_t n = row.size() / spp;
    std::vector<float> dst(row.size() + 1, -7.0f);
    SpanView sin{const_cast<T*>(row.data()), x0, y, n, spp, static_cast<uint32_t>(dtype)};
    SpanView sout{dst.data(), x0, y, n, spp, FLOAT32};
    step.span(step.context(), &sin, &sout);
    EXPECT_EQ(dst.back(), -7.0f);
    dst.pop_back();
    return dst;
}

float clamp01(float r) { return std::isnan(r) ? 0.0f : std::min(1.0f, std::max(0.0f, r)); }

TEST(NormalizeRaw, SpanAtOddRowAndColumnStartsAtSiteOneOne) {
    const Attrs a = levels(2, 2, 1, {10, 20, 30, 40}, {1010});
    const auto out = run<uint16_t>(a, UINT16, {540, 520}, 1, 3, 5);
    EXPECT_NEAR(out[0], 500.0f / 970.0f, 1e-6);  // site (1,1): black 40
    EXPECT_NEAR(out[1], 490.0f / 980.0f, 1e-6);  // site (1,0): black 30
}

// Per-pixel reference of the general formula.
float reference(const std::vector<float>& black, int64_t rows, int64_t cols, float white, const std::vector<float>& dh,
                const std::vector<float>& dv, float v, int64_t x, int64_t y) {
    auto md = [](int64_t a, int64_t m) { return ((a % m) + m) % m; };
    float b = black[md(x, cols) + cols * md(y, rows)];
    if (!dh.empty()) b = dh[md(x, dh.size())] + b;
    if (!dv.empty()) b = b + dv[md(y, dv.size())];
    const float range = white - b;
    return range > 0 ? clamp01((v - b) / range) : 0.0f;
}

struct MosaicCase {
    int32_t rows, cols;
    bool general;  // a zero column delta forces the general routine without changing the result
    int32_t dtype;
};

class NormalizeMosaic : public ::testing::TestWithParam<MosaicCase> {};

TEST_P(NormalizeMosaic, FastAndGeneralAgreeWithReference) {
    const MosaicCase c = GetParam();
    const std::vector<float> black = {61, 67, 59, 70};
    Attrs a = levels(c.rows, c.cols, 1, black, {4000});
    std::vector<float> dh;
    if (c.general) a.floats("black_delta_h", dh = {0.0f});
    std::mt19937 rng(7);
    for (int trial = 0; trial < 20; ++trial) {
        const int64_t x0 = rng() % 40, y = rng() % 64;
        const uint64_t n = 1 + rng() % 23;
        std::vector<uint16_t> u(n);
        std::vector<float> f(n);
        for (uint64_t i = 0; i < n; ++i) u[i] = static_cast<uint16_t>(rng() % 4500), f[i] = u[i];
        const auto out = c.dtype == UINT16 ? run(a, UINT16, u, 1, x0, y) : run(a, FLOAT32, f, 1, x0, y);
        ASSERT_EQ(out.size(), n);
        for (uint64_t i = 0; i < n; ++i)
            ASSERT_NEAR(out[i], reference(black, c.rows, c.cols, 4000, dh, {}, f[i], x0 + i, y), 2e-7)
                << "x " << x0 + i << " y " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, NormalizeMosaic,
                         ::testing::Values(MosaicCase{2, 2, false, UINT16}, MosaicCase{2, 2, true, UINT16},
                                           MosaicCase{2, 2, false, FLOAT32}, MosaicCase{2, 2, true, FLOAT32},
                                           MosaicCase{1, 1, false, UINT16}, MosaicCase{1, 1, true, FLOAT32},
                                           MosaicCase{1, 3, false, UINT16}, MosaicCase{2, 1, false, FLOAT32}));

TEST(NormalizeRaw, LinearizationTableIndexIsLimited) {
    Attrs a = levels(1, 1, 1, {0}, {300});
    a.ints("linearization_table", {0, 100, 200, 300 + (7 << 16)});  // only the low 16 bits count
    EXPECT_EQ(run<uint16_t>(a, UINT16, {10, 1, 0, 2}, 1, 0, 0),
              (std::vector<float>{1.0f, 100.0f / 300, 0.0f, 200.0f / 300}));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto f = run<float>(a, FLOAT32, {nan, 1e20f, -1e20f, -5.0f, 2.9f, 3e9f, 1.5f}, 1, 0, 0);
    EXPECT_EQ(f, (std::vector<float>{0.0f, 0.0f, 0.0f, 0.0f, 200.0f / 300, 0.0f, 100.0f / 300}));
}

TEST(NormalizeRaw, OutputSpanShorterThanInputIsNotOverrun) {
    const Attrs a = levels(1, 1, 1, {0}, {10});
    const TensorDesc in = desc(UINT16, kSize, kSize), out = desc(FLOAT32, kSize, kSize);
    KernelStep step;
    ASSERT_EQ(resolve("normalize_raw", a, &in, out, &step), OK);
    std::vector<uint16_t> src(8, 5);
    std::vector<float> dst(4, -1.0f);
    SpanView sin{src.data(), 0, 0, 8, 1, UINT16}, sout{dst.data(), 0, 0, 3, 1, FLOAT32};
    step.span(step.context(), &sin, &sout);
    EXPECT_EQ(dst, (std::vector<float>{0.5f, 0.5f, 0.5f, -1.0f}));
}

TEST(NormalizeRaw, BuilderStatuses) {
    const TensorDesc u16 = desc(UINT16, kSize, kSize), f32 = desc(FLOAT32, kSize, kSize);
    KernelStep s;
    EXPECT_EQ(resolve("normalize_raw", levels(2, 2, 1, {0, 0, 0, 0}, {1}), nullptr, f32, &s), INVALID_ARGUMENT);
    // A pattern product that wraps 64 bits is refused, not compared.
    const int32_t big = std::numeric_limits<int32_t>::max();
    const TensorDesc wide = desc(UINT16, kSize, kSize, static_cast<uint64_t>(big));
    EXPECT_EQ(resolve("normalize_raw", levels(big, big, big, {0}, {1}), &wide,
                      desc(FLOAT32, kSize, kSize, static_cast<uint64_t>(big)), &s),
              INVALID_ARGUMENT);
    Attrs bad_table = levels(1, 1, 1, {0}, {1});
    bad_table.floats("linearization_table", {1, 2});
    EXPECT_EQ(resolve("normalize_raw", bad_table, &u16, f32, &s), INVALID_ARGUMENT);
    Attrs empty_delta = levels(1, 1, 1, {0}, {1});
    empty_delta.floats("black_delta_h", {});
    EXPECT_EQ(resolve("normalize_raw", empty_delta, &u16, f32, &s), OK);
}

}  // namespace
