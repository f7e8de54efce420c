// The half-size routine and its step where Python cannot reach them: every
// instruction-set copy against the baseline, rows that are not the cell's,
// requests at the ends of the coordinate range, and the forward rule.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "kernels/demosaic/demosaic_params.hpp"
#include "test_spatial_support.hpp"

using namespace pyxa;
using namespace pyxa::spatial_test;

namespace {

KernelStep build_half(const char* pattern, uint64_t w, uint64_t h) {
    Attrs a;
    a.str("cfa_pattern", pattern);
    KernelStep step;
    const TensorDesc in = desc(FLOAT32, w, h), out = desc(FLOAT32, w / 2, h / 2, 3);
    EXPECT_EQ(resolve("half_demosaic", a, &in, out, &step), OK);
    return step;
}

// Output pixels [x0, x0 + n) of row y, fed exactly the rows the request names.
std::vector<float> run_row(const KernelStep& step, const std::vector<float>& img, uint64_t w, int64_t y, int64_t x0,
                           uint64_t n) {
    return demosaic_span(step, [&](int64_t x, int64_t yy) { return &img[yy * w + x]; }, y, x0, n);
}

// Spans of odd and even length from an even and an odd output column, rows
// wider than a vector block, NaN, infinities and -0 among the samples.
TEST(HalfDemosaicRows, InstructionSetCopiesAgree) {
    const uint64_t w = 1227, h = 6;
    std::mt19937 gen(9);
    std::uniform_real_distribution<float> u(-0.2f, 1.2f);
    std::vector<float> img(w * h);
    for (float& v : img) v = u(gen);
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), -0.0f, 0.0f, -0.0f,
                              std::numeric_limits<float>::infinity(), 0.0f, -std::numeric_limits<float>::infinity()};
    for (uint64_t y = 0; y < h; ++y)
        for (uint64_t i = 0; i < 7; ++i) img[y * w + 500 + 3 * i + y] = specials[i];
    for (const char* pattern : {"RGGB", "GRBG", "GBRG", "BGGR"}) {
        for (Isa isa : kAllIsas) {
            if (isa == Isa::Baseline || !isa_supported(isa)) continue;
            KernelStep base = build_half(pattern, w, h), copy = build_half(pattern, w, h);
            base.demosaic = half_demosaic_routine(Isa::Baseline);
            copy.demosaic = half_demosaic_routine(isa);
            for (const int64_t x0 : {0, 1}) {
                for (const uint64_t n : {w / 2 - x0, w / 2 - x0 - 1}) {
                    for (int64_t y = 0; y < int64_t(h / 2); ++y) {
                        const std::vector<float> a = run_row(base, img, w, y, x0, n);
                        const std::vector<float> b = run_row(copy, img, w, y, x0, n);
                        EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0)
                            << pattern << " isa=" << int(isa) << " x0 " << x0 << " n " << n << " row " << y;
                    }
                }
            }
        }
    }
}

// Rows that are not the output row's cell (one row, the wrong rows, too few
// columns) give a row of zeros, never reads beyond what was handed in.
TEST(HalfDemosaicRows, RowsOfAnotherCellGiveZeros) {
    std::vector<float> img(4 * 8, 0.5f);
    const KernelStep step = build_half("RGGB", 8, 4);
    const auto span = [&](int64_t y, int64_t x0, uint64_t len) {
        return SpanView{&img[y * 8 + x0], x0, y, len, 1, FLOAT32};
    };
    const std::vector<std::vector<SpanView>> wrong = {
        {span(2, 0, 8)},                 // one row
        {span(1, 0, 8), span(2, 0, 8)},  // rows 1 and 2: not a cell
        {span(2, 0, 8), span(3, 0, 7)},  // the second row one column short
        {span(2, 1, 7), span(3, 1, 7)},  // both rows start a column late
    };
    for (size_t i = 0; i < wrong.size(); ++i) {
        std::vector<float> out(12, -1.0f);
        SpanView sout{out.data(), 0, 1, 4, 3, FLOAT32};
        step.demosaic(step.context(), wrong[i].data(), wrong[i].size(), &sout);
        EXPECT_EQ(out, std::vector<float>(12, 0.0f)) << "case " << i;
    }
}

TEST(HalfDemosaicBuilder, RequestsTheCellRows) {
    const KernelStep step = build_half("GBRG", 9, 7);
    RowRequest q;
    ASSERT_EQ(step.request(step.context(), 1, 2, 3, &q), OK);
    EXPECT_EQ(std::make_tuple(q.x, q.y, q.width, q.rows, q.copy),
              std::make_tuple(int64_t{2}, int64_t{4}, uint64_t{6}, uint64_t{2}, uint8_t{0}));
    // Coordinates whose doubles leave 64 bits are refused, not wrapped.
    const int64_t big = std::numeric_limits<int64_t>::max() / 2 + 1;
    EXPECT_EQ(step.request(step.context(), big, 0, 1, &q), INVALID_ARGUMENT);
    EXPECT_EQ(step.request(step.context(), 0, -big - 1, 1, &q), INVALID_ARGUMENT);
    EXPECT_EQ(step.request(step.context(), 0, 0, std::numeric_limits<uint64_t>::max() / 2 + 1, &q), INVALID_ARGUMENT);
}

// The output pixels whose whole cell lies inside an input rect, on both sides of 0.
TEST(HalfDemosaicBuilder, ForwardKeepsWholeCells) {
    const KernelStep step = build_half("RGGB", 8, 8);
    const auto fwd = [&](int64_t x, int64_t y, uint64_t w, uint64_t h) {
        const Rect r = step.forward(step.context(), Rect{x, y, w, h}, Rect{});
        return std::make_tuple(r.x, r.y, r.width, r.height);
    };
    EXPECT_EQ(fwd(0, 0, 8, 6), std::make_tuple(int64_t{0}, int64_t{0}, uint64_t{4}, uint64_t{3}));
    EXPECT_EQ(fwd(1, 2, 6, 5), std::make_tuple(int64_t{1}, int64_t{1}, uint64_t{2}, uint64_t{2}));
    EXPECT_EQ(fwd(-3, -4, 7, 4), std::make_tuple(int64_t{-1}, int64_t{-2}, uint64_t{3}, uint64_t{2}));
    EXPECT_EQ(fwd(1, 0, 2, 8), std::make_tuple(int64_t{0}, int64_t{0}, uint64_t{0}, uint64_t{0}));  // no whole cell
}

}  // namespace
