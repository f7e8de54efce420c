// Demosaic row routines against per-pixel references written from the site
// tables over a reflect-padded mosaic, for all four CFA patterns; the green
// cache against fresh computation; builder statuses and requests.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>
#include <string>

#include "test_spatial_support.hpp"

using namespace pyxa;
using namespace pyxa::spatial_test;

namespace {

constexpr int64_t kPad = 3;

int64_t reflect(int64_t a, int64_t n) {
    if (n == 1) return 0;
    while (a < 0 || a >= n) a = a < 0 ? -a : 2 * (n - 1) - a;
    return a;
}

struct Mosaic {
    int64_t w, h;
    std::vector<float> padded;  // (h + 6) x (w + 6), reflect-padded by 3
    int cfa[4];
    float at(int64_t x, int64_t y) const { return padded[(y + kPad) * (w + 2 * kPad) + x + kPad]; }
    int colour(int64_t x, int64_t y) const { return cfa[(y & 1) * 2 + (x & 1)]; }
    const float* row(int64_t y) const { return &padded[(y + kPad) * (w + 2 * kPad)]; }
};

Mosaic make_mosaic(const std::vector<float>& img, int64_t w, int64_t h, const std::string& pattern) {
    Mosaic m{w, h, std::vector<float>((w + 6) * (h + 6)), {}};
    for (int i = 0; i < 4; ++i) m.cfa[i] = pattern[i] == 'R' ? 0 : (pattern[i] == 'G' ? 1 : 2);
    for (int64_t y = -kPad; y < h + kPad; ++y)
        for (int64_t x = -kPad; x < w + kPad; ++x)
            m.padded[(y + kPad) * (w + 6) + x + kPad] = img[reflect(y, h) * w + reflect(x, w)];
    return m;
}

float clamp01(float v) { return v >= 1.0f ? 1.0f : (v > 0.0f ? v : 0.0f); }

struct Rgb {
    float c[3];
};

// Red and blue of a green pixel: from the horizontal pair when the horizontal
// neighbours carry that colour, else from the vertical pair.
Rgb reference_bilinear(const Mosaic& m, int64_t x, int64_t y, bool edge_aware) {
    auto c = [&](int dx, int dy) { return m.at(x + dx, y + dy); };
    const float hpair = (c(-1, 0) + c(1, 0)) * 0.5f, vpair = (c(0, -1) + c(0, 1)) * 0.5f;
    const float diag = (c(-1, -1) + c(1, -1) + (c(-1, 1) + c(1, 1))) * 0.25f;
    const float cross = (c(-1, 0) + c(1, 0) + (c(0, -1) + c(0, 1))) * 0.25f;
    Rgb o{};
    const int col = m.colour(x, y);
    if (col == 1) {
        const int hcol = m.colour(x + 1, y);
        o.c[1] = c(0, 0);
        o.c[hcol] = hpair;
        o.c[2 - hcol] = vpair;
    } else {
        o.c[col] = c(0, 0);
        o.c[2 - col] = diag;
        o.c[1] = !edge_aware ? cross
                 : std::fabs(c(-1, 0) - c(1, 0)) >= std::fabs(c(0, -1) - c(0, 1)) ? vpair
                                                                               : hpair;
    }
    if (edge_aware)
        for (float& v : o.c) v = clamp01(v);
    return o;
}

float reference_green(const Mosaic& m, int64_t x, int64_t y) {
    auto c = [&](int dx, int dy) { return m.at(x + dx, y + dy); };
    if (m.colour(x, y) == 1) return c(0, 0);
    const float C = c(0, 0);
    const float lh = 2 * C - c(-2, 0) - c(2, 0), lv = 2 * C - c(0, -2) - c(0, 2);
    const float gh = std::clamp((c(-1, 0) + c(1, 0)) * 0.5f + lh * 0.25f, std::min(c(-1, 0), c(1, 0)),
                                std::max(c(-1, 0), c(1, 0)));
    const float gv = std::clamp((c(0, -1) + c(0, 1)) * 0.5f + lv * 0.25f, std::min(c(0, -1), c(0, 1)),
                                std::max(c(0, -1), c(0, 1)));
    const float dh = std::fabs(c(-1, 0) - c(1, 0)) + std::fabs(lh), dv = std::fabs(c(0, -1) - c(0, 1)) + std::fabs(lv);
    return dh < dv ? gh : (dv < dh ? gv : (gv + gh) * 0.5f);
}

Rgb reference_full(const Mosaic& m, int64_t x, int64_t y) {
    auto d = [&](int dx, int dy) { return m.at(x + dx, y + dy) - reference_green(m, x + dx, y + dy); };
    const float g0 = reference_green(m, x, y);
    Rgb o{};
    o.c[1] = g0;
    const int col = m.colour(x, y);
    if (col == 1) {
        const int hcol = m.colour(x + 1, y);
        o.c[hcol] = g0 + (d(-1, 0) + d(1, 0)) * 0.5f;
        o.c[2 - hcol] = g0 + (d(0, 1) + d(0, -1)) * 0.5f;
    } else {
        o.c[col] = m.at(x, y);
        o.c[2 - col] = g0 + (d(-1, 1) + d(1, 1) + d(-1, -1) + d(1, -1)) * 0.25f;
    }
    for (float& v : o.c) v = clamp01(v);
    return o;
}

struct Routine {
    const char* op;
    bool fast;
};

KernelStep build(const Routine& r, const std::string& pattern, uint64_t w, uint64_t h) {
    Attrs a;
    a.str("cfa_pattern", pattern.c_str());
    if (r.fast) a.i32("fast", 1);
    KernelStep step;
    const TensorDesc in = desc(FLOAT32, w, h), out = desc(FLOAT32, w, h, 3);
    EXPECT_EQ(resolve(r.op, a, &in, out, &step), OK);
    return step;
}

// Output pixels [x0, x0 + n) of row y through the routine, with the rows the
// request rule asks for taken from the padded mosaic.
std::vector<float> run_row(const KernelStep& step, const Mosaic& m, int64_t y, int64_t x0, uint64_t n) {
    RowRequest req;
    EXPECT_EQ(step.request(step.context(), x0, y, n, &req), OK);
    std::vector<SpanView> rows;
    for (uint64_t i = 0; i < req.rows; ++i) {
        const int64_t yy = req.y + static_cast<int64_t>(i);
        rows.push_back(SpanView{const_cast<float*>(m.row(yy)) + (req.x + kPad), req.x, yy, req.width, 1, FLOAT32});
    }
    std::vector<float> out(3 * n + 1, -9.0f);
    SpanView sout{out.data(), x0, y, n, 3, FLOAT32};
    step.demosaic(step.context(), rows.data(), rows.size(), &sout);
    EXPECT_EQ(out.back(), -9.0f);
    out.pop_back();
    return out;
}

Rgb reference(const Routine& r, const Mosaic& m, int64_t x, int64_t y) {
    if (std::string(r.op) == "bilinear_demosaic") return reference_bilinear(m, x, y, false);
    return r.fast ? reference_bilinear(m, x, y, true) : reference_full(m, x, y);
}

std::vector<float> random_image(int64_t w, int64_t h, float lo, float hi, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(lo, hi);
    std::vector<float> v(w * h);
    for (float& x : v) x = u(rng);
    return v;
}

using Param = std::tuple<Routine, std::string>;
class DemosaicRows : public ::testing::TestWithParam<Param> {};

TEST_P(DemosaicRows, WholeRowsMatchReference) {
    const auto& [r, pattern] = GetParam();
    for (auto [w, h] : {std::pair<int64_t, int64_t>{11, 9}, {4, 5}, {2, 2}}) {
        const Mosaic m = make_mosaic(random_image(w, h, -0.2f, 1.2f, static_cast<unsigned>(w * h)), w, h, pattern);
        const KernelStep step = build(r, pattern, w, h);
        for (int64_t y = 0; y < h; ++y) {
            const auto out = run_row(step, m, y, 0, w);
            for (int64_t x = 0; x < w; ++x) {
                const Rgb want = reference(r, m, x, y);
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(out[3 * x + c], want.c[c]) << r.op << " x " << x << " y " << y << " c " << c;
            }
        }
    }
}

// Sub-spans at odd and even columns, rows out of order and spans wider than
// the green cache rows: each pixel still equals the fresh reference.
TEST_P(DemosaicRows, SubSpansInAnyOrderMatchReference) {
    const auto& [r, pattern] = GetParam();
    const int64_t w = 13, h = 10;
    const Mosaic m = make_mosaic(random_image(w, h, 0.0f, 1.0f, 99), w, h, pattern);
    const KernelStep step = build(r, pattern, 5, h);  // green cache rows hold 5 + 2 columns
    std::mt19937 rng(5);
    for (int trial = 0; trial < 60; ++trial) {
        const int64_t y = rng() % h, x0 = rng() % w;
        const uint64_t n = 1 + rng() % (w - x0);
        const auto out = run_row(step, m, y, x0, n);
        for (uint64_t i = 0; i < n; ++i) {
            const Rgb want = reference(r, m, x0 + i, y);
            for (int c = 0; c < 3; ++c) ASSERT_EQ(out[3 * i + c], want.c[c]) << "x " << x0 + i << " y " << y;
        }
    }
}

TEST_P(DemosaicRows, FlatMosaicGivesGrey) {
    const auto& [r, pattern] = GetParam();
    for (float v : {0.375f, 1.5f}) {
        const Mosaic m = make_mosaic(std::vector<float>(36, v), 6, 6, pattern);
        const KernelStep step = build(r, pattern, 6, 6);
        const float want = std::string(r.op) == "bilinear_demosaic" ? v : std::min(v, 1.0f);
        for (float got : run_row(step, m, 2, 0, 6)) ASSERT_EQ(got, want);
    }
}

TEST_P(DemosaicRows, MissingRowsGiveZerosNotReads) {
    const auto& [r, pattern] = GetParam();
    const Mosaic m = make_mosaic(std::vector<float>(16, 0.5f), 4, 4, pattern);
    const KernelStep step = build(r, pattern, 4, 4);
    SpanView one{const_cast<float*>(m.row(1)), -3, 1, 10, 1, FLOAT32};
    std::vector<float> out(12, -1.0f);
    SpanView sout{out.data(), 0, 1, 4, 3, FLOAT32};
    step.demosaic(step.context(), &one, 1, &sout);
    for (float v : out) ASSERT_EQ(v, 0.0f);
}

INSTANTIATE_TEST_SUITE_P(AllPatterns, DemosaicRows,
                         ::testing::Combine(::testing::Values(Routine{"bilinear_demosaic", false},
                                                              Routine{"ea_demosaic", true},
                                                              Routine{"ea_demosaic", false}),
                                            ::testing::Values("RGGB", "BGGR", "GRBG", "GBRG")));

TEST(DemosaicRules, FastTieTakesVerticalPair) {
    // RGGB, red at (2, 2): |left - right| == |up - down| == 0.25.
    std::vector<float> img(25, 0.5f);
    img[2 * 5 + 1] = 0.25f, img[2 * 5 + 3] = 0.5f, img[1 * 5 + 2] = 0.5f, img[3 * 5 + 2] = 0.75f;
    const Mosaic m = make_mosaic(img, 5, 5, "RGGB");
    const auto out = run_row(build({"ea_demosaic", true}, "RGGB", 5, 5), m, 2, 2, 1);
    EXPECT_EQ(out[1], 0.625f);
}

TEST(DemosaicRules, FullTieTakesMeanOfBothEstimates) {
    // RGGB: reds 0.5, greens on red rows 0.25, greens on blue rows 0.75, blues 0.1.
    std::vector<float> img(81);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            img[y * 9 + x] = (y % 2 == 0) ? (x % 2 == 0 ? 0.5f : 0.25f) : (x % 2 == 0 ? 0.75f : 0.1f);
    const Mosaic m = make_mosaic(img, 9, 9, "RGGB");
    const auto out = run_row(build({"ea_demosaic", false}, "RGGB", 9, 9), m, 4, 4, 1);
    EXPECT_EQ(out[1], 0.5f);
}

TEST(DemosaicRules, CornerSampleIsRedOrBlue) {
    std::vector<float> img(16, 0.25f);
    img[0] = 0.875f;
    for (const char* p : {"RGGB", "BGGR"}) {
        const auto out = run_row(build({"bilinear_demosaic", false}, p, 4, 4), make_mosaic(img, 4, 4, p), 0, 0, 1);
        EXPECT_EQ(out[p[0] == 'R' ? 0 : 2], 0.875f) << p;
    }
}

TEST(DemosaicBuilder, Statuses) {
    const TensorDesc in = desc(FLOAT32, 8, 6), out = desc(FLOAT32, 8, 6, 3);
    auto status = [](const char* op, const Attrs& a, const TensorDesc* i, const TensorDesc& o) {
        KernelStep s;
        return resolve(op, a, i, o, &s);
    };
    Attrs cfa;
    cfa.str("cfa_pattern", "rggb");
    EXPECT_EQ(status("bilinear_demosaic", cfa, &in, out), OK);
    EXPECT_EQ(status("bilinear_demosaic", cfa, nullptr, out), INVALID_ARGUMENT);
    EXPECT_EQ(status("bilinear_demosaic", cfa, &in, desc(FLOAT32, 8, 6, 1)), INVALID_ARGUMENT);
    EXPECT_EQ(status("bilinear_demosaic", cfa, &in, desc(FLOAT32, 8, 5, 3)), INVALID_ARGUMENT);
    const TensorDesc three = desc(FLOAT32, 8, 6, 3), u16 = desc(UINT16, 8, 6);
    EXPECT_EQ(status("ea_demosaic", cfa, &three, out), INVALID_ARGUMENT);
    EXPECT_EQ(status("ea_demosaic", cfa, &u16, out), UNSUPPORTED_DTYPE);
    Attrs bad_cfa;
    bad_cfa.str("cfa_pattern", "RGGBG");
    EXPECT_EQ(status("ea_demosaic", bad_cfa, &in, out), INVALID_ARGUMENT);
    for (auto [text, want] : {std::pair<const char*, Status>{"{}", OK}, {"{\"neon\": false}", OK},
                              {"{\"neon\": 1}", INVALID_ARGUMENT}, {"{\"fast\": true}", INVALID_ARGUMENT},
                              {"[]", INVALID_ARGUMENT}, {"neon", INVALID_ARGUMENT}}) {
        Attrs a;
        a.str("cfa_pattern", "GBRG").str("engine_opts", text);
        EXPECT_EQ(status("ea_demosaic", a, &in, out), want) << text;
    }
    // The green cache is sized from the width: an impossible size is OUT_OF_MEMORY.
    const uint64_t huge = uint64_t{1} << 61;
    const TensorDesc wide = desc(FLOAT32, huge, 2), wide_out = desc(FLOAT32, huge, 2, 3);
    EXPECT_EQ(status("ea_demosaic", cfa, &wide, wide_out), OUT_OF_MEMORY);
    Attrs fast = cfa;
    fast.i32("fast", 1);
    EXPECT_EQ(status("ea_demosaic", fast, &wide, wide_out), OK);  // no cache needed
}

TEST(DemosaicBuilder, RequestsCoverTheHalo) {
    auto req = [](const Routine& r, int64_t x, int64_t y, uint64_t w, RowRequest* q) {
        const KernelStep s = build(r, "RGGB", 8, 8);
        return s.request(s.context(), x, y, w, q);
    };
    RowRequest q;
    ASSERT_EQ(req({"bilinear_demosaic", false}, 0, 0, 8, &q), OK);
    EXPECT_EQ(std::make_tuple(q.x, q.y, q.width, q.rows, q.copy), std::make_tuple(int64_t{-1}, int64_t{-1}, uint64_t{10}, uint64_t{3}, uint8_t{0}));
    ASSERT_EQ(req({"ea_demosaic", false}, 2, 5, 4, &q), OK);
    EXPECT_EQ(std::make_tuple(q.x, q.y, q.width, q.rows), std::make_tuple(int64_t{-1}, int64_t{2}, uint64_t{10}, uint64_t{7}));
    ASSERT_EQ(req({"ea_demosaic", true}, 2, 5, 4, &q), OK);
    EXPECT_EQ(std::make_tuple(q.x, q.y, q.width, q.rows), std::make_tuple(int64_t{1}, int64_t{4}, uint64_t{6}, uint64_t{3}));
    EXPECT_EQ(req({"ea_demosaic", false}, INT64_MIN, 0, 4, &q), INVALID_ARGUMENT);
}

}  // namespace
