// Row rules of the view step: shifted copy requests, and the forward rule that
// clips to the window only when pixels beyond the input are not valid data.
#include <gtest/gtest.h>

#include "test_spatial_support.hpp"

using namespace pyxa;
using namespace pyxa::spatial_test;

namespace {

TEST(ViewRules, RequestsAreShiftedCopiesAndForwardClips) {
    const TensorDesc in = desc(UINT8, 10, 8);
    for (int32_t oob : {1, 0}) {
        Attrs a;
        a.i32("top", 2).i32("left", 3).i32("width", 4).i32("height", 5).i32("oob_valid", oob);
        KernelStep s;
        ASSERT_EQ(resolve("view", a, &in, desc(UINT8, 4, 5), &s), OK);
        RowRequest q;
        ASSERT_EQ(s.request(s.context(), 1, 2, 3, &q), OK);
        EXPECT_EQ(std::make_tuple(q.x, q.y, q.width, q.rows, q.copy),
                  std::make_tuple(int64_t{4}, int64_t{4}, uint64_t{3}, uint64_t{1}, uint8_t{1}));
        EXPECT_EQ(s.request(s.context(), INT64_MAX, 0, 1, &q), INVALID_ARGUMENT);
        const Rect f = s.forward(s.context(), Rect{0, 0, 10, 8}, Rect{});
        const auto want = oob ? std::make_tuple(int64_t{-3}, int64_t{-2}, uint64_t{10}, uint64_t{8})
                              : std::make_tuple(int64_t{0}, int64_t{0}, uint64_t{4}, uint64_t{5});
        EXPECT_EQ(std::make_tuple(f.x, f.y, f.width, f.height), want);
    }
}

TEST(ViewRules, NegativeCornerInsideTheCanvas) {
    TensorDesc in = desc(UINT16, 10, 8, 3);
    Attrs a;
    a.i32("top", -1).i32("left", 0).i32("width", 4).i32("height", 4);
    KernelStep s;
    EXPECT_EQ(resolve("view", a, &in, desc(UINT16, 4, 4, 3), &s), INVALID_ARGUMENT);
    in.canvas_y0 = -2;
    in.canvas_height = 10;
    EXPECT_EQ(resolve("view", a, &in, desc(UINT16, 4, 4, 3), &s), OK);
}

}  // namespace
