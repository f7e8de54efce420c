// Demosaic row routines where Python cannot reach them: the green cache against
// fresh computation in any call order and span width, the tie rules, windows
// that lack rows, the halo requests and the cache allocation status.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "kernels/demosaic/demosaic_params.hpp"
#include "test_spatial_support.hpp"

using namespace pyxa;
using namespace pyxa::spatial_test;

namespace {

constexpr int64_t kPad = 3;

// A mosaic with a 3-sample frame around it (any values: routines never test bounds).
struct Mosaic {
    int64_t w, h;
    std::vector<float> data;
    const float* row(int64_t y) const { return &data[(y + kPad) * (w + 2 * kPad)]; }
};

Mosaic make_mosaic(std::vector<float> framed_or_img, int64_t w, int64_t h) {
    Mosaic m{w, h, std::vector<float>((w + 6) * (h + 6), 0.0f)};
    if (framed_or_img.size() == m.data.size()) m.data = std::move(framed_or_img);
    else
        for (int64_t y = 0; y < h; ++y)
            for (int64_t x = 0; x < w; ++x) m.data[(y + kPad) * (w + 6) + x + kPad] = framed_or_img[y * w + x];
    return m;
}

KernelStep build(const char* op, bool fast, const char* pattern, uint64_t w, uint64_t h) {
    Attrs a;
    a.str("cfa_pattern", pattern);
    if (fast) a.i32("fast", 1);
    KernelStep step;
    const TensorDesc in = desc(FLOAT32, w, h), out = desc(FLOAT32, w, h, 3);
    EXPECT_EQ(resolve(op, a, &in, out, &step), OK);
    return step;
}

// Pixels [x0, x0 + n) of row y, fed the rows and columns the request rule names.
std::vector<float> run_row(const KernelStep& step, const Mosaic& m, int64_t y, int64_t x0, uint64_t n) {
    return demosaic_span(step, [&m](int64_t x, int64_t yy) { return m.row(yy) + (x + kPad); }, y, x0, n);
}

class GreenCache : public ::testing::TestWithParam<const char*> {};

// Rows in sequence, out of order and in sub-spans wider than the cache rows
// (built for width 5) equal a fresh step, whose cache starts empty, per call.
TEST_P(GreenCache, EqualsRecomputingEveryRow) {
    const int64_t w = 13, h = 10;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<float> framed((w + 6) * (h + 6));
    for (float& v : framed) v = u(rng);
    const Mosaic m = make_mosaic(framed, w, h);
    const KernelStep kept = build("ea_demosaic", false, GetParam(), 5, h);
    for (int trial = 0; trial < 80; ++trial) {
        const bool sequential = trial < h;
        const int64_t y = sequential ? trial : rng() % h;
        const int64_t x0 = sequential ? 0 : rng() % w;
        const uint64_t n = sequential ? w : 1 + rng() % (w - x0);
        const auto got = run_row(kept, m, y, x0, n);
        const auto want = run_row(build("ea_demosaic", false, GetParam(), w, h), m, y, x0, n);
        ASSERT_EQ(got, want) << "y " << y << " x0 " << x0 << " n " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(AllPatterns, GreenCache, ::testing::Values("RGGB", "BGGR", "GRBG", "GBRG"));

TEST(DemosaicRules, FastTieTakesVerticalPair) {
    // RGGB, red at (2, 2): |left - right| == |up - down| == 0.25.
    std::vector<float> img(25, 0.5f);
    img[2 * 5 + 1] = 0.25f, img[2 * 5 + 3] = 0.5f, img[1 * 5 + 2] = 0.5f, img[3 * 5 + 2] = 0.75f;
    const auto out = run_row(build("ea_demosaic", true, "RGGB", 5, 5), make_mosaic(img, 5, 5), 2, 2, 1);
    EXPECT_EQ(out[1], 0.625f);
}

TEST(DemosaicRules, FullTieTakesMeanOfBothEstimates) {
    // RGGB: reds 0.5, greens on red rows 0.25, greens on blue rows 0.75, blues 0.1.
    std::vector<float> img(81);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) img[y * 9 + x] = (y % 2 == 0) ? (x % 2 == 0 ? 0.5f : 0.25f) : (x % 2 == 0 ? 0.75f : 0.1f);
    const auto out = run_row(build("ea_demosaic", false, "RGGB", 9, 9), make_mosaic(img, 9, 9), 4, 4, 1);
    EXPECT_EQ(out[1], 0.5f);
}

TEST(DemosaicRules, MissingRowsGiveZerosNotReads) {
    const Mosaic m = make_mosaic(std::vector<float>(16, 0.5f), 4, 4);
    for (auto [op, fast] : {std::pair{"bilinear_demosaic", false}, {"ea_demosaic", true}, {"ea_demosaic", false}}) {
        const KernelStep step = build(op, fast, "RGGB", 4, 4);
        SpanView one{const_cast<float*>(m.row(1)), -3, 1, 10, 1, FLOAT32};
        std::vector<float> out(12, -1.0f);
        SpanView sout{out.data(), 0, 1, 4, 3, FLOAT32};
        step.demosaic(step.context(), &one, 1, &sout);
        EXPECT_EQ(out, std::vector<float>(12, 0.0f)) << op << fast;
    }
}

// Every instruction-set copy of each routine that this processor can run gives
// the baseline copy's bytes, on rows wider than a block, with NaN, infinities
// and -0 beside +0 (the green estimate's min and max must keep their operand),
// for every pattern and for spans of odd and even width starting on either
// site of a pair (each pairing of sites is a loop of its own).
TEST(DemosaicRows, InstructionSetCopiesAgree) {
    const uint64_t w = 613, h = 7;
    std::mt19937 gen(5);
    std::uniform_real_distribution<float> u(-0.2f, 1.2f);
    std::vector<float> img(w * h);
    for (float& v : img) v = u(gen);
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), -0.0f, 0.0f, -0.0f,
                              std::numeric_limits<float>::infinity(), 0.0f, -std::numeric_limits<float>::infinity()};
    for (uint64_t y = 1; y < h; y += 2)
        for (uint64_t i = 0; i < 7; ++i) img[y * w + 252 + i + y] = specials[i];
    const Mosaic m = make_mosaic(img, int64_t(w), int64_t(h));
    struct Routine {
        const char* op;
        bool fast;
        DemosaicRowRoutine (*pick)(Isa);
    };
    const Routine routines[] = {{"bilinear_demosaic", false, bilinear_demosaic_routine},
                                {"ea_demosaic", true, ea_fast_demosaic_routine},
                                {"ea_demosaic", false, ea_full_demosaic_routine}};
    for (const Routine& r : routines) {
        for (const char* pattern : {"RGGB", "GRBG", "GBRG", "BGGR"}) {
            for (Isa isa : kAllIsas) {
                if (isa == Isa::Baseline || !isa_supported(isa)) continue;
                KernelStep base = build(r.op, r.fast, pattern, w, h), copy = build(r.op, r.fast, pattern, w, h);
                base.demosaic = r.pick(Isa::Baseline);
                copy.demosaic = r.pick(isa);
                for (const int64_t x0 : {0, 1}) {
                    for (int64_t y = 0; y < int64_t(h); ++y) {
                        const std::vector<float> a = run_row(base, m, y, x0, w - x0),
                                                 b = run_row(copy, m, y, x0, w - x0);
                        EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0)
                            << r.op << " fast=" << r.fast << " " << pattern << " isa=" << int(isa) << " x0 "
                            << x0 << " row " << y;
                    }
                }
            }
        }
    }
}

TEST(DemosaicBuilder, RequestsCoverTheHalo) {
    RowRequest q;
    const KernelStep bilinear = build("bilinear_demosaic", false, "RGGB", 8, 8);
    ASSERT_EQ(bilinear.request(bilinear.context(), 0, 0, 8, &q), OK);
    EXPECT_EQ(std::make_tuple(q.x, q.y, q.width, q.rows, q.copy),
              std::make_tuple(int64_t{-1}, int64_t{-1}, uint64_t{10}, uint64_t{3}, uint8_t{0}));
    const KernelStep full = build("ea_demosaic", false, "RGGB", 8, 8);
    ASSERT_EQ(full.request(full.context(), 2, 5, 4, &q), OK);
    EXPECT_EQ(std::make_tuple(q.x, q.y, q.width, q.rows), std::make_tuple(int64_t{-1}, int64_t{2}, uint64_t{10}, uint64_t{7}));
    EXPECT_EQ(full.request(full.context(), INT64_MIN, 0, 4, &q), INVALID_ARGUMENT);
}

TEST(DemosaicBuilder, UnallocatableGreenCacheIsOutOfMemory) {
    const uint64_t huge = uint64_t{1} << 61;
    const TensorDesc in = desc(FLOAT32, huge, 2), out = desc(FLOAT32, huge, 2, 3);
    Attrs a;
    a.str("cfa_pattern", "RGGB");
    KernelStep s;
    EXPECT_EQ(resolve("ea_demosaic", a, &in, out, &s), OUT_OF_MEMORY);
    a.i32("fast", 1);
    EXPECT_EQ(resolve("ea_demosaic", a, &in, out, &s), OK);  // the fast routine keeps no cache
}

}  // namespace
