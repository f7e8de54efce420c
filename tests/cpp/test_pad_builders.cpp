// Builders of pad, view and fill: attribute and shape checks, encoded
// constants, and the view's request and forward rules.
#include <gtest/gtest.h>

#include "tarnimg_process.h"
#include "test_spatial_support.hpp"

using namespace pyxa;
using namespace pyxa::spatial_test;

namespace {

Attrs borders(int32_t t, int32_t b, int32_t l, int32_t r) {
    Attrs a;
    a.i32("top", t).i32("bottom", b).i32("left", l).i32("right", r);
    return a;
}

Status build(const char* op, const Attrs& a, const TensorDesc* in, const TensorDesc& out, KernelStep* s = nullptr) {
    KernelStep local;
    return resolve(op, a, in, out, s ? s : &local);
}

TEST(PadBuilder, Statuses) {
    const TensorDesc in = desc(UINT8, 5, 4, 2), out = desc(UINT8, 8, 7, 2);
    EXPECT_EQ(build("pad", borders(1, 2, 1, 2), &in, out), OK);
    EXPECT_EQ(build("pad", borders(1, 2, 1, 2), nullptr, out), INVALID_ARGUMENT);
    EXPECT_EQ(build("pad", borders(-1, 4, 1, 2), &in, out), INVALID_ARGUMENT);
    EXPECT_EQ(build("pad", borders(1, 2, 2, 2), &in, out), INVALID_ARGUMENT);
    EXPECT_EQ(build("pad", borders(1, 2, 1, 2), &in, desc(UINT16, 8, 7, 2)), INVALID_ARGUMENT);
    EXPECT_EQ(build("pad", borders(1, 2, 1, 2), &in, desc(UINT8, 8, 7, 3)), INVALID_ARGUMENT);
    Attrs missing;
    missing.i32("top", 1).i32("bottom", 2).i32("left", 1);
    EXPECT_EQ(build("pad", missing, &in, out), INVALID_ARGUMENT);
    for (auto [mode, want] : {std::pair<const char*, Status>{"reflect", OK}, {"symmetric", OK}, {"edge", OK},
                              {"constant", OK}, {"wrap", INVALID_ARGUMENT}, {"Reflect", INVALID_ARGUMENT}}) {
        Attrs a = borders(1, 2, 1, 2);
        a.str("mode", mode);
        EXPECT_EQ(build("pad", a, &in, out), want) << mode;
    }
    for (size_t n : {3u, 5u}) {
        Attrs a = borders(1, 2, 1, 2);
        a.floats("constant_values", std::vector<float>(n, 1.0f));
        EXPECT_EQ(build("pad", a, &in, out), INVALID_ARGUMENT) << n;
    }
    Attrs half = borders(1, 2, 1, 2);
    half.floats("constant_values", {1, 2, 3, 4});
    const TensorDesc f16 = desc(FLOAT16, 5, 4, 2);
    EXPECT_EQ(build("pad", half, &f16, desc(FLOAT16, 8, 7, 2)), UNSUPPORTED_DTYPE);
}

TEST(PadBuilder, ConstantsAreEncodedInTheTensorType) {
    const TensorDesc in = desc(UINT8, 3, 3), out = desc(UINT8, 5, 5);
    Attrs a = borders(1, 1, 1, 1);
    a.floats("constant_values", {2.5f, 300.0f, -1.0f, 7.0f});
    KernelStep s;
    ASSERT_EQ(build("pad", a, &in, out, &s), OK);
    const PadParams& p = *static_cast<const PadParams*>(s.context());
    EXPECT_EQ(p.mode, 3);
    const ByteVec* v[4] = {&p.top_fill, &p.bottom_fill, &p.left_fill, &p.right_fill};
    const uint8_t want[4] = {3, 255, 0, 7};
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(v[i]->len, 1u);
        EXPECT_EQ(v[i]->ptr[0], want[i]);
    }
}

TEST(ViewBuilder, WindowInsideTheCanvas) {
    TensorDesc in = desc(UINT16, 10, 8, 3);
    auto window = [](int32_t top, int32_t left, int32_t w, int32_t h) {
        Attrs a;
        a.i32("top", top).i32("left", left).i32("width", w).i32("height", h);
        return a;
    };
    EXPECT_EQ(build("view", window(1, 2, 8, 7), &in, desc(UINT16, 8, 7, 3)), OK);
    EXPECT_EQ(build("view", window(1, 3, 8, 7), &in, desc(UINT16, 8, 7, 3)), INVALID_ARGUMENT);  // one past
    EXPECT_EQ(build("view", window(-1, 0, 4, 4), &in, desc(UINT16, 4, 4, 3)), INVALID_ARGUMENT);
    in.canvas_y0 = -2;
    in.canvas_height = 10;
    EXPECT_EQ(build("view", window(-1, 0, 4, 4), &in, desc(UINT16, 4, 4, 3)), OK);  // inside the canvas
    EXPECT_EQ(build("view", window(0, 0, 0, 4), &in, desc(UINT16, 4, 4, 3)), INVALID_ARGUMENT);
    // The output is exactly the window, in the input's layout.
    EXPECT_EQ(build("view", window(0, 0, 4, 4), &in, desc(UINT16, 5, 4, 3)), INVALID_ARGUMENT);
    EXPECT_EQ(build("view", window(0, 0, 4, 4), &in, desc(UINT8, 4, 4, 3)), INVALID_ARGUMENT);
    EXPECT_EQ(build("view", window(0, 0, 4, 4), &in, desc(UINT16, 4, 4, 1)), INVALID_ARGUMENT);
    Attrs bad_flag = window(0, 0, 4, 4);
    bad_flag.str("oob_valid", "no");
    EXPECT_EQ(build("view", bad_flag, &in, desc(UINT16, 4, 4, 3)), INVALID_ARGUMENT);
}

TEST(ViewBuilder, RequestsAreShiftedCopiesAndForwardClips) {
    const TensorDesc in = desc(UINT8, 10, 8);
    for (int32_t oob : {1, 0}) {
        Attrs a;
        a.i32("top", 2).i32("left", 3).i32("width", 4).i32("height", 5).i32("oob_valid", oob);
        KernelStep s;
        ASSERT_EQ(build("view", a, &in, desc(UINT8, 4, 5), &s), OK);
        RowRequest q;
        ASSERT_EQ(s.request(s.context(), 1, 2, 3, &q), OK);
        EXPECT_EQ(std::make_tuple(q.x, q.y, q.width, q.rows, q.copy),
                  std::make_tuple(int64_t{4}, int64_t{4}, uint64_t{3}, uint64_t{1}, uint8_t{1}));
        const Rect f = s.forward(s.context(), Rect{0, 0, 10, 8});
        if (oob) EXPECT_EQ(std::make_tuple(f.x, f.y, f.width, f.height), std::make_tuple(int64_t{-3}, int64_t{-2}, uint64_t{10}, uint64_t{8}));
        else EXPECT_EQ(std::make_tuple(f.x, f.y, f.width, f.height), std::make_tuple(int64_t{0}, int64_t{0}, uint64_t{4}, uint64_t{5}));
        EXPECT_EQ(s.request(s.context(), INT64_MAX, 0, 1, &q), INVALID_ARGUMENT);
    }
}

TEST(FillBuilder, PatternAndStatuses) {
    const TensorDesc out = desc(UINT8, 4, 4, 3);
    for (auto [v, want] : {std::pair<float, uint8_t>{300.0f, 255}, {-1.0f, 0}, {2.5f, 3}}) {
        Attrs a;
        a.floats("value", {v});
        KernelStep s;
        ASSERT_EQ(build("fill", a, nullptr, out, &s), OK);
        const FillParams& p = *static_cast<const FillParams*>(s.context());
        ASSERT_EQ(p.pattern.len, 1u);
        EXPECT_EQ(p.pattern.ptr[0], want);
        RowRequest q{1, 1, 1, 1, 1};
        ASSERT_EQ(s.request(s.context(), 0, 0, 4, &q), OK);
        EXPECT_TRUE(q.empty());
    }
    Attrs two;
    two.floats("value", {1.0f, 2.0f});
    KernelStep s;
    ASSERT_EQ(build("fill", two, nullptr, desc(UINT16, 4, 4, 3), &s), OK);
    EXPECT_EQ(static_cast<const FillParams*>(s.context())->pattern.len, 4u);
    Attrs empty;
    empty.floats("value", {});
    EXPECT_EQ(build("fill", empty, nullptr, out), INVALID_ARGUMENT);
    Attrs scalar;
    scalar.f32("value", 1.0f);
    EXPECT_EQ(build("fill", scalar, nullptr, out), INVALID_ARGUMENT);
    Attrs ok;
    ok.floats("value", {1.0f});
    EXPECT_EQ(build("fill", ok, nullptr, desc(FLOAT16, 4, 4)), UNSUPPORTED_DTYPE);
}

}  // namespace
