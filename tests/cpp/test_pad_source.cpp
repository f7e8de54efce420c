// Pad source-span rule together with the pad kernel: every output span, fed
// exactly the source span the rule asks for, equals a naively padded image.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "ops/pad_common.hpp"
#include "kernels/geometry/pad_row.hpp"

using namespace pyxa;

namespace {

// Border rule by repeated folding, independent of the modulo formula.
int64_t fold(PadMode mode, int64_t a, int64_t n) {
    if (mode == PadMode::Edge) return a < 0 ? 0 : (a >= n ? n - 1 : a);
    if (n == 1) return 0;
    while (a < 0 || a >= n) {
        if (mode == PadMode::Reflect) a = a < 0 ? -a : 2 * (n - 1) - a;
        else a = a < 0 ? -a - 1 : 2 * n - 1 - a;
    }
    return a;
}

struct PadCase {
    PadMode mode;
    int64_t w, h, top, bottom, left, right;
};

PadParams params_of(const PadCase& c, uint8_t fills[4]) {
    PadParams p{};
    ByteVec* v[4] = {&p.top_fill, &p.bottom_fill, &p.left_fill, &p.right_fill};
    for (int i = 0; i < 4; ++i) *v[i] = ByteVec{1, &fills[i], 1};
    p.top = c.top, p.bottom = c.bottom, p.left = c.left, p.right = c.right;
    p.src_width = c.w, p.src_height = c.h, p.mode = static_cast<uint8_t>(c.mode);
    return p;
}

uint8_t reference(const PadCase& c, const std::vector<uint8_t>& src, int64_t x, int64_t y) {
    const int64_t sx = x - c.left, sy = y - c.top;
    if (c.mode == PadMode::Constant) {
        if (sx < 0) return 103;
        if (sx >= c.w) return 104;
        if (sy < 0) return 101;
        if (sy >= c.h) return 102;
        return src[sy * c.w + sx];
    }
    return src[fold(c.mode, sy, c.h) * c.w + fold(c.mode, sx, c.w)];
}

class PadSpans : public ::testing::TestWithParam<PadCase> {};

TEST_P(PadSpans, RequestedSourceSpanSuffices) {
    const PadCase c = GetParam();
    uint8_t fills[4] = {101, 102, 103, 104};
    const PadParams p = params_of(c, fills);
    std::vector<uint8_t> src(c.w * c.h);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i % 97);
    const int64_t out_w = c.w + c.left + c.right, out_h = c.h + c.top + c.bottom;
    std::mt19937 rng(42);
    for (int trial = 0; trial < 400; ++trial) {
        const int64_t y = rng() % out_h, x0 = rng() % out_w;
        const uint64_t len = 1 + rng() % (out_w - x0);
        PadSourceSpan s;
        ASSERT_EQ(pad_source_span(p, x0, y, len, &s), OK);
        std::vector<uint8_t> out(len + 1, 0xEE);  // one guard pixel
        if (s.kind == PadSourceSpan::Direct) {
            ASSERT_EQ(s.len, len);
            std::copy_n(&src[s.y * c.w + s.x], len, out.begin());
        } else {
            SpanView in{nullptr, 0, 0, 0, 1, UINT8};
            if (s.kind == PadSourceSpan::Partial) {
                ASSERT_GE(s.x, 0);
                ASSERT_LE(s.x + static_cast<int64_t>(s.len), c.w);
                in = SpanView{&src[s.y * c.w + s.x], s.x, s.y, s.len, 1, UINT8};
            } else {
                ASSERT_EQ(c.mode, PadMode::Constant);
            }
            pad_row(p, in, SpanView{out.data(), x0, y, len, 1, UINT8});
        }
        for (uint64_t i = 0; i < len; ++i)
            ASSERT_EQ(out[i], reference(c, src, x0 + static_cast<int64_t>(i), y))
                << "x " << x0 + static_cast<int64_t>(i) << " y " << y << " x0 " << x0 << " len " << len;
        ASSERT_EQ(out[len], 0xEE);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PadSpans,
    ::testing::Values(PadCase{PadMode::Reflect, 4, 3, 2, 2, 2, 2}, PadCase{PadMode::Reflect, 1, 1, 3, 3, 3, 3},
                      PadCase{PadMode::Reflect, 3, 2, 7, 9, 11, 13}, PadCase{PadMode::Symmetric, 4, 3, 2, 1, 2, 3},
                      PadCase{PadMode::Symmetric, 2, 5, 6, 6, 9, 7}, PadCase{PadMode::Symmetric, 1, 2, 1, 1, 4, 4},
                      PadCase{PadMode::Edge, 5, 4, 3, 3, 3, 3}, PadCase{PadMode::Edge, 2, 2, 8, 8, 20, 20},
                      PadCase{PadMode::Constant, 6, 3, 2, 2, 3, 1}, PadCase{PadMode::Constant, 1, 1, 5, 5, 5, 5}));

TEST(PadSourceSpan, StatusesAndKinds) {
    uint8_t fills[4] = {};
    PadParams p = params_of({PadMode::Constant, 4, 3, 1, 1, 2, 2}, fills);
    PadSourceSpan s;
    EXPECT_EQ(pad_source_span(p, 0, 0, 0, &s), INVALID_ARGUMENT);
    ASSERT_EQ(pad_source_span(p, 0, 0, 8, &s), OK);  // constant row above the image
    EXPECT_EQ(s.kind, PadSourceSpan::None);
    ASSERT_EQ(pad_source_span(p, 3, 2, 2, &s), OK);
    EXPECT_EQ(std::make_tuple(s.kind, s.x, s.y, s.len), std::make_tuple(PadSourceSpan::Direct, int64_t{1}, int64_t{1}, uint64_t{2}));
    ASSERT_EQ(pad_source_span(p, 0, 1, 1, &s), OK);  // left border only
    EXPECT_EQ(s.kind, PadSourceSpan::None);
    EXPECT_EQ(pad_source_span(p, INT64_MIN, 1, 1, &s), INVALID_ARGUMENT);
    // Edge mode: a span wholly right of the image still gets the last column.
    p.mode = static_cast<uint8_t>(PadMode::Edge);
    ASSERT_EQ(pad_source_span(p, 7, 1, 1, &s), OK);
    EXPECT_EQ(std::make_tuple(s.kind, s.x, s.len), std::make_tuple(PadSourceSpan::Partial, int64_t{3}, uint64_t{1}));
}

TEST(PadSourceSpan, RequestRuleMarksDirectSpansAsCopies) {
    uint8_t fills[4] = {};
    const PadParams p = params_of({PadMode::Reflect, 4, 3, 1, 1, 2, 2}, fills);
    RowRequest r;
    ASSERT_EQ(pad_row_request(&p, 2, 1, 4, &r), OK);
    EXPECT_EQ(std::make_tuple(r.x, r.y, r.width, r.rows, r.copy), std::make_tuple(int64_t{0}, int64_t{0}, uint64_t{4}, uint64_t{1}, uint8_t{1}));
    ASSERT_EQ(pad_row_request(&p, 0, 0, 8, &r), OK);  // row -1 mirrors row 1, columns widened to all four
    EXPECT_EQ(std::make_tuple(r.x, r.y, r.width, r.copy), std::make_tuple(int64_t{0}, int64_t{1}, uint64_t{4}, uint8_t{0}));
}

TEST(PadForward, EdgesAddBorders) {
    uint8_t fills[4] = {};
    const PadParams p = params_of({PadMode::Reflect, 10, 8, 1, 2, 3, 4}, fills);
    auto fw = [&](Rect r) {
        const Rect o = pad_forward(&p, r, Rect{});
        return std::make_tuple(o.x, o.y, o.width, o.height);
    };
    EXPECT_EQ(fw({0, 0, 10, 8}), std::make_tuple(int64_t{0}, int64_t{0}, uint64_t{17}, uint64_t{11}));
    EXPECT_EQ(fw({2, 3, 4, 2}), std::make_tuple(int64_t{5}, int64_t{4}, uint64_t{4}, uint64_t{2}));
    EXPECT_EQ(fw({6, 0, 4, 1}), std::make_tuple(int64_t{9}, int64_t{0}, uint64_t{8}, uint64_t{2}));
    EXPECT_TRUE(pad_forward(&p, Rect{INT64_MAX, 0, 1, 1}, Rect{}).empty());
}

}  // namespace
