// Pointwise colour kernels run directly on pixel runs: integer stores,
// conversion scales and clips, table lookups, scalar blocks and the
// hue-preserving roles, against values worked out from the formulas.
#include <cmath>
#include <limits>

#include "test_pointwise_support.hpp"

using namespace pyxa;
using namespace pyxa::test;

namespace {
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

Attrs convert_attrs(const char* dest, int src_bits, int dst_bits, float clip) {
    Attrs a;
    a.str("dest_dtype", dest).i32("src_bits", src_bits).i32("dst_bits", dst_bits).f32("clip_max", clip);
    return a;
}
}  // namespace

// Out-of-range and NaN results saturate instead of wrapping; in range they truncate.
struct StoreCase {
    float in;
    uint8_t u8;
    uint16_t u16;
};
class SaturatingStore : public ::testing::TestWithParam<StoreCase> {};

TEST_P(SaturatingStore, Uint8AndUint16) {
    const StoreCase c = GetParam();
    // clip 300 is at or above both maxima, so it is dropped and never binds.
    const auto u8 = run_step<uint8_t>("convert_dtype", convert_attrs("uint8", 0, 8, 300.0f), FLOAT32, UINT8,
                                      std::vector<float>{c.in}, 1, 1);
    const auto u16 = run_step<uint16_t>("convert_dtype", convert_attrs("uint16", 0, 0, 1e6f), FLOAT32, UINT16,
                                        std::vector<float>{c.in}, 1, 1);
    ASSERT_EQ(u8.size(), 1u);
    ASSERT_EQ(u16.size(), 1u);
    EXPECT_EQ(u8[0], c.u8);
    EXPECT_EQ(u16[0], c.u16);
}

INSTANTIATE_TEST_SUITE_P(Values, SaturatingStore,
                         ::testing::Values(StoreCase{1.2f, 255, 65535}, StoreCase{0.5f, 127, 32767},
                                           StoreCase{0.999f, 254, 65469}, StoreCase{-0.1f, 0, 0},
                                           StoreCase{kNaN, 0, 0}, StoreCase{1e30f, 255, 65535},
                                           StoreCase{kInf, 255, 65535}, StoreCase{-kInf, 0, 0}));

TEST(ConvertDtype, TwelveBitSourceToFloatWithClip) {
    const std::vector<uint16_t> src = {4095, 4096, 2048, 0};
    const auto out = run_step<float>("convert_dtype", convert_attrs("float32", 12, 0, 1.0f), UINT16, FLOAT32, src, 1, 1);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 1.0f);
    const float scale = 1.0f / 4095.0f;  // (1 / input max) * 1
    EXPECT_EQ(out[2], 2048.0f * scale);
    EXPECT_EQ(out[3], 0.0f);
}

TEST(ConvertDtype, ClipBindsBelowMaximumAndNegativeNeverClips) {
    const std::vector<float> src = {0.7f, 2.5f, kNaN, 0.2f};
    const auto clipped = run_step<float>("convert_dtype", convert_attrs("float32", 0, 0, 0.5f), FLOAT32, FLOAT32, src, 1, 1);
    ASSERT_EQ(clipped.size(), 4u);
    EXPECT_EQ(clipped[0], 0.5f);
    EXPECT_EQ(clipped[1], 0.5f);
    EXPECT_EQ(clipped[2], 0.5f);  // NaN takes the clip
    EXPECT_EQ(clipped[3], 0.2f);
    const auto free = run_step<float>("convert_dtype", convert_attrs("float32", 0, 0, -1.0f), FLOAT32, FLOAT32, src, 1, 1);
    ASSERT_EQ(free.size(), 4u);
    EXPECT_EQ(free[1], 2.5f);
    // uint16 -> uint8 with a 200 clip below the 255 maximum: 65535 * (255/65535) = 255 -> 200.
    const auto u8 = run_step<uint8_t>("convert_dtype", convert_attrs("uint8", 0, 0, 200.0f), UINT16, UINT8,
                                      std::vector<uint16_t>{65535, 257}, 1, 1);
    ASSERT_EQ(u8.size(), 2u);
    EXPECT_EQ(u8[0], 200);
    EXPECT_EQ(u8[1], static_cast<uint8_t>(257.0f * ((1.0f / 65535.0f) * 255.0f)));
}

// A 256-entry table on uint8 input is indexed by the byte; 257 entries interpolate.
TEST(Lut, DirectAndInterpolatedOnUint8) {
    std::vector<float> t256(256), t257(257);
    for (int i = 0; i < 256; ++i) t256[i] = std::sqrt(i / 255.0f);
    for (int i = 0; i < 257; ++i) t257[i] = (i % 7) / 6.0f;
    const std::vector<uint8_t> src = {0, 1, 17, 128, 254, 255};
    Attrs a256, a257;
    a256.floats("lut", t256);
    a257.floats("lut", t257);
    const auto direct = run_step<float>("lut", a256, UINT8, FLOAT32, src, 1, 1);
    const auto interp = run_step<float>("lut", a257, UINT8, FLOAT32, src, 1, 1);
    ASSERT_EQ(direct.size(), src.size());
    ASSERT_EQ(interp.size(), src.size());
    const float pos_scale = 256.0f * (1.0f / 255.0f);
    for (size_t k = 0; k < src.size(); ++k) {
        EXPECT_EQ(direct[k], t256[src[k]]);
        float p = pos_scale * static_cast<float>(src[k]);
        p = p > 256.0f ? 256.0f : p;
        const int i = static_cast<int>(p);
        const float f = p - static_cast<float>(i);
        const float next = i + 1 < 257 ? t257[i + 1] : t257[256];
        EXPECT_EQ(interp[k], (1.0f - f) * t257[i] + f * next) << int(src[k]);
    }
}

TEST(Lut, NanUsesLastEntryNegativeUsesFirstAbovePeaksAtLast) {
    Attrs a;
    a.floats("lut", {0.25f, 0.5f, 0.75f});
    const auto out = run_step<float>("lut", a, FLOAT32, FLOAT32, std::vector<float>{kNaN, -3.0f, 7.0f, 0.25f}, 1, 1);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], 0.75f);
    EXPECT_EQ(out[1], 0.25f);
    EXPECT_EQ(out[2], 0.75f);
    EXPECT_EQ(out[3], 0.5f * 0.25f + 0.5f * 0.5f);  // position 0.5
}

// Blocks of 16, then 4, then single elements give the plain loop's results,
// both for disjoint runs and in place.
class ScalarBlocks : public ::testing::TestWithParam<int> {};

TEST_P(ScalarBlocks, SameAsPlainLoop) {
    const int n = GetParam();
    std::vector<float> src(n);
    for (int i = 0; i < n; ++i) src[i] = 0.37f * i - 3.1f;
    for (const char* op : {"sub_scalar", "mul_scalar"}) {
        Attrs a;
        a.f32("value", 1.7f);
        const auto out = run_step<float>(op, a, FLOAT32, FLOAT32, src, 1, 1);
        ASSERT_EQ(out.size(), src.size());
        const bool sub = op[0] == 's';
        for (int i = 0; i < n; ++i) EXPECT_EQ(out[i], sub ? src[i] - 1.7f : src[i] * 1.7f) << op << " " << i;

        // In place: input and output are the same run.
        const TensorDesc d = desc(FLOAT32, 1, n, 1);
        KernelStep step;
        ASSERT_EQ(resolve(op, a, &d, d, &step), OK);
        std::vector<float> buf = src;
        PixelRun r{buf.data(), static_cast<uint64_t>(n), 1, FLOAT32};
        step.pointwise(step.context(), &r, &r);
        for (int i = 0; i < n; ++i) EXPECT_EQ(buf[i], sub ? src[i] - 1.7f : src[i] * 1.7f);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ScalarBlocks, ::testing::Values(1, 3, 4, 5, 15, 16, 17, 20, 33, 64, 67));

TEST(ClipAndTransformColor, IdentityClipsToUnitRange) {
    Attrs a;
    a.floats("clip_max", {1, 1, 1}).floats("matrix", {1, 0, 0, 0, 1, 0, 0, 0, 1});
    const std::vector<float> src = {0.25f, 1.5f, -0.2f, kNaN, 0.0f, 1.0f};
    const auto out = run_step<float>("clip_and_transform_color", a, FLOAT32, FLOAT32, src, 3, 3);
    const std::vector<float> want = {0.25f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f};  // NaN takes its bound
    EXPECT_EQ(out, want);
}

TEST(Matrix3x3, MixesRowsAndClamps) {
    Attrs a;
    a.floats("matrix", {0.5f, 0.25f, 0.25f, 2, 0, 0, -1, 0, 0});
    const auto out = run_step<float>("matrix_3x3", a, FLOAT32, FLOAT32, std::vector<float>{0.8f, 0.4f, 0.2f}, 3, 3);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], 0.5f * 0.8f + 0.25f * 0.4f + 0.25f * 0.2f);
    EXPECT_EQ(out[1], 1.0f);
    EXPECT_EQ(out[2], 0.0f);
}

// Hue-preserving transform: each role assignment keeps the middle channel at
// its relative place between the mapped extremes.
struct RoleCase {
    float r, g, b;
};
class HuePreservingRoles : public ::testing::TestWithParam<RoleCase> {};

TEST_P(HuePreservingRoles, MiddleChannelFollowsExtremes) {
    const RoleCase c = GetParam();
    Attrs a;
    // Table t(x) = x^2 sampled on 5 points; positions 4x.
    a.str("dest_dtype", "float32").i32("src_bits", 0).i32("dst_bits", 0).i32("hue_preserving", 1);
    a.floats("input_lut", {0.0f, 0.0625f, 0.25f, 0.5625f, 1.0f});
    const auto out = run_step<float>("transform_color", a, FLOAT32, FLOAT32, std::vector<float>{c.r, c.g, c.b}, 3, 3);
    ASSERT_EQ(out.size(), 3u);
    auto t = [](float x) {
        const float tab[6] = {0.0f, 0.0625f, 0.25f, 0.5625f, 1.0f, 1.0f};
        const float p = 4.0f * x;
        const int i = static_cast<int>(p);
        const float f = p - static_cast<float>(i);
        return (1.0f - f) * tab[i] + f * tab[i + 1];
    };
    const float in[3] = {c.r, c.g, c.b};
    float hi = std::max({c.r, c.g, c.b}), lo = std::min({c.r, c.g, c.b});
    for (int k = 0; k < 3; ++k) {
        float want;
        if (in[k] == hi && (k == 0 || in[0] != hi) && !(k == 2 && in[1] == hi)) want = t(hi);
        else if (in[k] == lo) want = t(lo);
        else want = t(lo) + (t(hi) - t(lo)) * (in[k] - lo) / (hi - lo);
        EXPECT_NEAR(out[k], want, 1e-6f) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(EachOrder, HuePreservingRoles,
                         ::testing::Values(RoleCase{0.9f, 0.5f, 0.1f}, RoleCase{0.5f, 0.1f, 0.9f},
                                           RoleCase{0.9f, 0.1f, 0.5f}, RoleCase{0.5f, 0.9f, 0.1f},
                                           RoleCase{0.1f, 0.5f, 0.9f}, RoleCase{0.1f, 0.9f, 0.5f}));

TEST(HuePreserving, GreyTakesTableValue) {
    Attrs a;
    a.str("dest_dtype", "float32").i32("src_bits", 0).i32("dst_bits", 0).i32("hue_preserving", 1);
    a.floats("input_lut", {0.0f, 0.8f});
    const auto out = run_step<float>("transform_color", a, FLOAT32, FLOAT32, std::vector<float>{0.5f, 0.5f, 0.5f}, 3, 3);
    EXPECT_EQ(out, (std::vector<float>{0.4f, 0.4f, 0.4f}));
}
