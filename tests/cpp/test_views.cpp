// Border rules, pattern fill, constant encoding, status names and size saturation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/records.hpp"
#include "core/views.hpp"

using namespace pyxa;

namespace {

constexpr int64_t kI64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kI64Min = std::numeric_limits<int64_t>::min();

// Reference border rules written as the mirror a person would fold by hand:
// bounce the coordinate off the extent's ends until it lands inside.
int64_t bounce_reflect(int64_t a, int64_t b, int64_t c) {
    if (c - b <= 1) return b;
    while (a < b || a >= c) {
        if (a < b) a = 2 * b - a;            // mirror about b, edge not repeated
        if (a >= c) a = 2 * (c - 1) - a;     // mirror about c - 1
    }
    return a;
}

int64_t bounce_symmetric(int64_t a, int64_t b, int64_t c) {
    if (c - b < 2) return b;
    while (a < b || a >= c) {
        if (a < b) a = 2 * b - 1 - a;        // mirror about b - 1/2, edge repeated
        if (a >= c) a = 2 * c - 1 - a;       // mirror about c - 1/2
    }
    return a;
}

int64_t clamp_edge(int64_t a, int64_t b, int64_t c) { return a < b ? b : (a > c - 1 ? c - 1 : a); }

}  // namespace

TEST(StatusName, KnownAndUnknownCodes) {
    EXPECT_STREQ(status_name(11), "GRAPH_INVALID");
    EXPECT_STREQ(status_name(1), "INVALID_ARGUMENT");
    EXPECT_STREQ(status_name(13), "INTERNAL");
    EXPECT_STREQ(status_name(7), "UNKNOWN");
    EXPECT_STREQ(status_name(99), "UNKNOWN");
}

TEST(StatusName, EveryCode) {
    const char* names[] = {nullptr, "INVALID_ARGUMENT", "UNSUPPORTED_DTYPE", "DIMENSION_MISMATCH",
                           "OUT_OF_MEMORY", "UNKNOWN", "UNKNOWN", "UNKNOWN", "UNKNOWN", "UNKNOWN",
                           "UNKNOWN_OP", "GRAPH_INVALID", "NOT_IMPLEMENTED", "INTERNAL", "UNKNOWN",
                           "UNKNOWN"};
    for (Status code = 1; code < 16; ++code) EXPECT_STREQ(status_name(code), names[code]) << code;
    EXPECT_STREQ(status_name(std::numeric_limits<Status>::max()), "UNKNOWN");
    EXPECT_STREQ(status_name(0x80000000u), "UNKNOWN");
}

// ---- map_coordinate ----

struct Extent {
    int64_t b, c;
};

class MapCoordinateSweep : public ::testing::TestWithParam<Extent> {};

TEST_P(MapCoordinateSweep, MatchesHandFoldedMirror) {
    const auto [b, c] = GetParam();
    const int64_t n = c - b;
    for (int64_t a = b - 5 * n - 7; a <= c + 5 * n + 7; ++a) {
        EXPECT_EQ(map_coordinate(PadMode::Reflect, a, b, c), bounce_reflect(a, b, c)) << a;
        EXPECT_EQ(map_coordinate(PadMode::Symmetric, a, b, c), bounce_symmetric(a, b, c)) << a;
        EXPECT_EQ(map_coordinate(PadMode::Edge, a, b, c), clamp_edge(a, b, c)) << a;
        EXPECT_FALSE(map_coordinate(PadMode::Constant, a, b, c).has_value()) << a;
    }
}

INSTANTIATE_TEST_SUITE_P(Extents, MapCoordinateSweep,
                         ::testing::Values(Extent{0, 1}, Extent{0, 2}, Extent{0, 3}, Extent{0, 4},
                                           Extent{0, 7}, Extent{-3, 2}, Extent{5, 6}, Extent{10, 12},
                                           Extent{-100, -97}, Extent{1000, 1013}));

TEST(MapCoordinate, DocumentedExamples) {
    // [a b c d] at 0..3: reflect does not repeat the edge, symmetric does.
    EXPECT_EQ(map_coordinate(PadMode::Reflect, -1, 0, 4), 1);
    EXPECT_EQ(map_coordinate(PadMode::Reflect, -2, 0, 4), 2);
    EXPECT_EQ(map_coordinate(PadMode::Symmetric, -1, 0, 4), 0);
    EXPECT_EQ(map_coordinate(PadMode::Symmetric, -2, 0, 4), 1);
    EXPECT_EQ(map_coordinate(PadMode::Edge, -2, 0, 4), 0);
    EXPECT_EQ(map_coordinate(PadMode::Reflect, 6, 0, 4), 0);
    EXPECT_EQ(map_coordinate(PadMode::Symmetric, 8, 0, 4), 0);
    EXPECT_EQ(map_coordinate(PadMode::Reflect, -1, 0, 1), 0);
}

struct FarCase {
    PadMode mode;
    int64_t a, b, c, expected;
};

class MapCoordinateFar : public ::testing::TestWithParam<FarCase> {};

TEST_P(MapCoordinateFar, ManyPeriodsAway) {
    const FarCase& t = GetParam();
    EXPECT_EQ(map_coordinate(t.mode, t.a, t.b, t.c), t.expected);
}

// Expected values worked out by hand from the periods: reflect on [0,4) has
// period 6 (0 1 2 3 2 1), symmetric period 8 (0 1 2 3 3 2 1 0).
INSTANTIATE_TEST_SUITE_P(
    Periods, MapCoordinateFar,
    ::testing::Values(
        FarCase{PadMode::Reflect, 6000000000000000001, 0, 4, 1},   // 6e18 is a whole number of periods
        FarCase{PadMode::Reflect, -6000000000000000002, 0, 4, 2},  // -2 -> 2
        FarCase{PadMode::Reflect, 6000000000000000004, 0, 4, 2},   // 4 -> 2
        FarCase{PadMode::Symmetric, 8000000000000000005, 0, 4, 2},
        FarCase{PadMode::Symmetric, -8000000000000000001, 0, 4, 0},
        FarCase{PadMode::Symmetric, 8000000000000000004, 0, 4, 3},
        FarCase{PadMode::Edge, kI64Max, 0, 4, 3}, FarCase{PadMode::Edge, kI64Min, 0, 4, 0},
        FarCase{PadMode::Reflect, kI64Max, 0, 1, 0}, FarCase{PadMode::Reflect, kI64Min, 7, 8, 7},
        FarCase{PadMode::Symmetric, kI64Max, 3, 4, 3}, FarCase{PadMode::Symmetric, kI64Min, -9, -8, -9},
        FarCase{PadMode::Edge, kI64Min, 5, 6, 5}, FarCase{PadMode::Edge, kI64Max, 5, 6, 5},
        // INT64_MAX = 2^63 - 1; on [0, 2) both rules alternate 0 1 (reflect: period 2,
        // symmetric: period 4 as 0 1 1 0).
        FarCase{PadMode::Reflect, kI64Max, 0, 2, 1}, FarCase{PadMode::Reflect, kI64Min, 0, 2, 0},
        FarCase{PadMode::Symmetric, kI64Max, 0, 2, 0}, FarCase{PadMode::Symmetric, kI64Min, 0, 2, 0},
        // the extent itself far from zero
        FarCase{PadMode::Reflect, kI64Min, kI64Max - 4, kI64Max, kI64Max - 4 + 1},  // a - b = 5 - 2^64 = 1 mod 6
        FarCase{PadMode::Symmetric, kI64Max, kI64Min, kI64Min + 3, kI64Min + 2}));  // a - b = 3 mod 6

// ---- fill_with_pattern ----

struct FillCase {
    std::vector<uint8_t> pattern;
    uint64_t region_len, pixel_size, element_size;
    std::vector<uint8_t> expected;
};

class FillWithPattern : public ::testing::TestWithParam<FillCase> {};

TEST_P(FillWithPattern, WritesExactlyTheRegion) {
    const FillCase& t = GetParam();
    std::vector<uint8_t> buf(t.region_len + 8, 0xAB);
    fill_with_pattern(buf.data() + 4, t.region_len, t.pattern.empty() ? nullptr : t.pattern.data(),
                      t.pattern.size(), t.pixel_size, t.element_size);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(buf[i], 0xAB);
        EXPECT_EQ(buf[4 + t.region_len + i], 0xAB);
    }
    EXPECT_EQ(std::vector<uint8_t>(buf.begin() + 4, buf.begin() + 4 + t.region_len), t.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, FillWithPattern,
    ::testing::Values(
        FillCase{{1, 2, 3}, 6, 3, 1, {1, 2, 3, 1, 2, 3}},            // pixel pattern
        FillCase{{7}, 6, 3, 1, {7, 7, 7, 7, 7, 7}},                  // element pattern
        FillCase{{1, 2}, 6, 3, 1, {0, 0, 0, 0, 0, 0}},               // neither size: zeros
        FillCase{{0, 0, 0}, 6, 3, 1, {0, 0, 0, 0, 0, 0}},            // all-zero pattern
        FillCase{{}, 3, 3, 1, {0, 0, 0}},                            // empty pattern
        FillCase{{1, 2, 3, 4}, 6, 3, 1, {0, 0, 0, 0, 0, 0}},         // longer than a pixel
        FillCase{{0x34, 0x12}, 12, 6, 2, {0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12}},
        FillCase{{1, 0, 2, 0}, 8, 4, 2, {1, 0, 2, 0, 1, 0, 2, 0}},   // uint16 two-channel pixel
        FillCase{{0, 0, 0x80, 0x3f}, 8, 4, 4, {0, 0, 0x80, 0x3f, 0, 0, 0x80, 0x3f}},  // float32 1.0
        FillCase{{9}, 1, 1, 1, {9}},
        FillCase{{9}, 0, 1, 1, {}}));

// ---- encode_value ----

struct EncodeCase {
    int64_t dtype;
    float v;
    uint32_t expected;  // the element read back as an unsigned integer
};

class EncodeValue : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeValue, RoundsHalvesAwayAndClamps) {
    const EncodeCase& t = GetParam();
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    uint64_t len = 0;
    ASSERT_EQ(encode_value(t.dtype, t.v, out, &len), OK);
    if (t.dtype == UINT8) {
        ASSERT_EQ(len, 1u);
        EXPECT_EQ(out[0], t.expected);
        EXPECT_EQ(out[1], 0xEE);
    } else {
        ASSERT_EQ(len, 2u);
        uint16_t e;
        std::memcpy(&e, out, 2);
        EXPECT_EQ(e, t.expected);
        EXPECT_EQ(out[2], 0xEE);
    }
}

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Integers, EncodeValue,
    ::testing::Values(EncodeCase{UINT8, 2.5f, 3}, EncodeCase{UINT8, -0.4f, 0}, EncodeCase{UINT8, 0.5f, 1},
                      EncodeCase{UINT8, 0.49f, 0}, EncodeCase{UINT8, 1.5f, 2}, EncodeCase{UINT8, 254.5f, 255},
                      EncodeCase{UINT8, 255.4f, 255}, EncodeCase{UINT8, 300.0f, 255},
                      EncodeCase{UINT8, -0.5f, 0}, EncodeCase{UINT8, -1.0f, 0}, EncodeCase{UINT8, 1e30f, 255},
                      EncodeCase{UINT8, kInf, 255}, EncodeCase{UINT8, -kInf, 0}, EncodeCase{UINT8, kNaN, 0},
                      EncodeCase{UINT16, 70000.0f, 65535}, EncodeCase{UINT16, 65534.5f, 65535},
                      EncodeCase{UINT16, 1234.5f, 1235}, EncodeCase{UINT16, 1.49f, 1},
                      EncodeCase{UINT16, -3.0f, 0}, EncodeCase{UINT16, kNaN, 0},
                      EncodeCase{UINT16, 4e9f, 65535}, EncodeCase{UINT16, -kInf, 0}));

TEST(EncodeValue, Float32KeepsTheBits) {
    for (float v : {0.0f, -0.0f, 0.25f, -7.5f, 1e-40f, kInf, kNaN}) {
        uint8_t out[4] = {};
        uint64_t len = 0;
        ASSERT_EQ(encode_value(FLOAT32, v, out, &len), OK);
        EXPECT_EQ(len, 4u);
        EXPECT_EQ(std::memcmp(out, &v, 4), 0);
    }
}

TEST(EncodeValue, UnsupportedTypes) {
    for (int64_t d : {int64_t{FLOAT16}, int64_t{4}, int64_t{-1}, int64_t{1} << 40}) {
        uint8_t out[4] = {};
        uint64_t len = 99;
        EXPECT_EQ(encode_value(d, 1.0f, out, &len), UNSUPPORTED_DTYPE) << d;
    }
}

// ---- derived sizes ----

TEST(DerivedSizes, DocumentedExample) {
    TensorDesc t;
    t.dtype = UINT16;
    t.width = 10;
    t.channels = 3;
    EXPECT_EQ(t.pixel_size(), 6u);
    EXPECT_EQ(t.packed_row_size(), 60u);
}

struct SizeCase {
    int64_t dtype;
    uint64_t width, channels, pixel, row;
};

class DerivedSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(DerivedSizes, SaturateInsteadOfWrapping) {
    const SizeCase& t = GetParam();
    EXPECT_EQ(pixel_size(t.dtype, t.channels), t.pixel);
    EXPECT_EQ(packed_row_size(t.dtype, t.width, t.channels), t.row);
}

constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Sizes, DerivedSizes,
    ::testing::Values(SizeCase{UINT8, 5, 3, 3, 15}, SizeCase{FLOAT32, 7, 1, 4, 28},
                      SizeCase{FLOAT16, 4, 2, 4, 16},
                      SizeCase{FLOAT32, uint64_t{1} << 61, 1, 4, uint64_t{1} << 63},
                      SizeCase{FLOAT32, uint64_t{1} << 62, 1, 4, kMax},               // 2^64 saturates
                      SizeCase{UINT16, uint64_t{1} << 32, uint64_t{1} << 31, uint64_t{1} << 32, kMax},
                      SizeCase{FLOAT32, 1, uint64_t{1} << 62, kMax, kMax},            // pixel itself saturates
                      SizeCase{UINT8, kMax, 1, 1, kMax}, SizeCase{UINT8, 2, kMax, kMax, kMax},
                      SizeCase{UINT16, 3, kMax / 2 + 1, kMax, kMax},
                      SizeCase{UINT8, 0, 3, 3, 0}, SizeCase{UINT8, kMax, 0, 0, 0},
                      SizeCase{7, 100, 3, 0, 0}, SizeCase{-1, 100, 3, 0, 0}));

// Extents as wide as the 64-bit range must neither overflow nor leave the extent.
TEST(MapCoordinate, WidestExtentsStayInside) {
    constexpr int64_t lo = INT64_MIN, hi = INT64_MAX;
    for (PadMode m : {PadMode::Reflect, PadMode::Symmetric, PadMode::Edge}) {
        for (int64_t a : {lo, lo + 1, int64_t{-1}, int64_t{0}, hi - 1, hi}) {
            const auto r = map_coordinate(m, a, lo, hi);
            ASSERT_TRUE(r.has_value());
            EXPECT_GE(*r, lo);
            EXPECT_LT(*r, hi);
        }
        // An empty extent (c <= b) maps to its start instead of computing c - 1.
        EXPECT_EQ(map_coordinate(m, 5, lo, lo), lo);
    }
}
