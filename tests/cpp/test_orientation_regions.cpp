// Orientation region rules against brute-force pixel maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "test_spatial_support.hpp"

using namespace pyxa;
using namespace pyxa::spatial_test;

namespace {

constexpr int64_t W = 7, H = 4;  // source size

// Source (row, col) of output (r, c), written from the eight flips and turns.
std::pair<int64_t, int64_t> source_of(int o, int64_t r, int64_t c) {
    switch (o) {
        case 1: return {r, c};
        case 2: return {r, W - 1 - c};                // mirror left-right
        case 3: return {H - 1 - r, W - 1 - c};        // rotate 180
        case 4: return {H - 1 - r, c};                // mirror top-bottom
        case 5: return {c, r};                        // transpose
        case 6: return {H - 1 - c, r};                // rotate 90 clockwise
        case 7: return {H - 1 - c, W - 1 - r};        // transverse
        default: return {c, W - 1 - r};               // rotate 90 counter-clockwise
    }
}

KernelStep build(int o) {
    Attrs a;
    a.i32("orientation", o);
    const TensorDesc in = desc(UINT8, W, H, 3);
    const TensorDesc out = o >= 5 ? desc(UINT8, H, W, 3) : desc(UINT8, W, H, 3);
    KernelStep s;
    EXPECT_EQ(resolve("orientation", a, &in, out, &s), OK);
    return s;
}

Rect bounding(const std::function<bool(int64_t, int64_t)>& take, int64_t rows, int64_t cols,
              const std::function<std::pair<int64_t, int64_t>(int64_t, int64_t)>& to) {
    int64_t r0 = INT64_MAX, r1 = INT64_MIN, c0 = INT64_MAX, c1 = INT64_MIN;
    for (int64_t r = 0; r < rows; ++r)
        for (int64_t c = 0; c < cols; ++c)
            if (take(r, c)) {
                auto [rr, cc] = to(r, c);
                r0 = std::min(r0, rr), r1 = std::max(r1, rr), c0 = std::min(c0, cc), c1 = std::max(c1, cc);
            }
    return Rect{c0, r0, static_cast<uint64_t>(c1 - c0 + 1), static_cast<uint64_t>(r1 - r0 + 1)};
}

bool same(const Rect& a, const Rect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

class OrientationRegions : public ::testing::TestWithParam<int> {};

TEST_P(OrientationRegions, SourceRegionIsTheSetOfPixelsRead) {
    const int o = GetParam();
    const KernelStep s = build(o);
    EXPECT_EQ(s.kind, KernelKind::Orientation);
    EXPECT_EQ(s.tile_copy, o == 1);
    const int64_t out_w = o >= 5 ? H : W, out_h = o >= 5 ? W : H;
    for (int64_t y = 0; y < out_h; ++y)
        for (int64_t x = 0; x < out_w; ++x)
            for (int64_t h = 1; y + h <= out_h; h += 2)
                for (int64_t w = 1; x + w <= out_w; w += 2) {
                    const Rect want = bounding(
                        [&](int64_t r, int64_t c) { return r >= y && r < y + h && c >= x && c < x + w; }, out_h,
                        out_w, [&](int64_t r, int64_t c) { return source_of(o, r, c); });
                    Rect got;
                    ASSERT_EQ(s.source_region(s.context(), Rect{x, y, uint64_t(w), uint64_t(h)}, &got), OK);
                    ASSERT_TRUE(same(got, want)) << x << "," << y << " " << w << "x" << h;
                }
}

TEST_P(OrientationRegions, OutputRegionIsWhereTheSourceLands) {
    const int o = GetParam();
    const KernelStep s = build(o);
    const int64_t out_w = o >= 5 ? H : W, out_h = o >= 5 ? W : H;
    for (int64_t y = 0; y < H; ++y)
        for (int64_t x = 0; x < W; ++x)
            for (int64_t h = 1; y + h <= H; ++h)
                for (int64_t w = 1; x + w <= W; w += 3) {
                    const Rect want = bounding(
                        [&](int64_t r, int64_t c) {
                            auto [sr, sc] = source_of(o, r, c);
                            return sr >= y && sr < y + h && sc >= x && sc < x + w;
                        },
                        out_h, out_w, [](int64_t r, int64_t c) { return std::pair{r, c}; });
                    Rect got;
                    ASSERT_EQ(s.output_region(s.context(), Rect{x, y, uint64_t(w), uint64_t(h)}, &got), OK);
                    ASSERT_TRUE(same(got, want)) << x << "," << y << " " << w << "x" << h;
                }
    Rect r;
    EXPECT_EQ(s.source_region(s.context(), Rect{0, 0, 0, 3}, &r), INVALID_ARGUMENT);
    EXPECT_EQ(s.output_region(s.context(), Rect{0, 0, 3, 0}, &r), INVALID_ARGUMENT);
    EXPECT_EQ(s.source_region(s.context(), Rect{INT64_MAX, 0, 2, 1}, &r), INVALID_ARGUMENT);
}

INSTANTIATE_TEST_SUITE_P(AllEight, OrientationRegions, ::testing::Range(1, 9));

}  // namespace
