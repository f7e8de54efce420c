// The opcode routines' instruction-set copies (the warp, also in its two
// index widths, the vignette, the gain grid and the gain table): every copy this processor can run gives
// the baseline's bytes, over widths that leave partial chunks and vector
// tails, one and several channels, and each parameter form.
#include <cstring>
#include <limits>
#include <vector>

#include "core/isa.hpp"
#include "opcodes/bicubic_table.hpp"
#include "opcodes/gain_map_grid.hpp"
#include "opcodes/isa_entries.hpp"
#include "opcodes/warp_chunks.hpp"
#include "test_opcode_support.hpp"

using namespace opcode_test;

namespace {

struct WarpCase {
    uint64_t h, w, c;
    int32_t coeffs;
    bool tangential, bicubic;
    double cx, cy;
    bool shared = false;  // one coefficient set for every plane (the planes sampled together)
};

void PrintTo(const WarpCase& k, std::ostream* os) {
    *os << k.h << "x" << k.w << "x" << k.c << ", " << k.coeffs << " coefficients"
        << (k.tangential ? ", tangential" : "") << (k.bicubic ? ", bicubic" : ", bilinear") << ", centre " << k.cx
        << "," << k.cy << (k.shared ? ", one set for all planes" : "");
}

Attrs attrs_for(const WarpCase& k) {
    std::vector<double> radial;
    for (uint64_t p = 0; p < k.c; ++p)
        for (int32_t i = 0; i < k.coeffs; ++i) radial.push_back(k.shared ? (i == 0 ? 1.0 : 0.07 / (i + 1.0))
                                      : (i == 0 ? 1.0 + 0.01 * double(p) : 0.07 / (i + p + 1.0)));
    Attrs a;
    a.f64s("radial_params", radial).i32("num_planes", int32_t(k.c)).i32("num_coeffs", k.coeffs);
    // Plane 0 keeps zero tangential terms (the plain map), the others take them.
    if (k.tangential) {
        std::vector<double> tan(2 * k.c, 0.0);
        for (uint64_t p = k.shared ? 0 : 1; p < k.c; ++p) tan[2 * p] = 0.01, tan[2 * p + 1] = -0.02;
        if (k.c == 1) tan = {0.015, 0.01};
        a.f64s("tangential_params", tan);
    }
    a.f64("center_x", k.cx).f64("center_y", k.cy).i32("use_bicubic", k.bicubic ? 1 : 0);
    return a;
}

class WarpCopies : public ::testing::TestWithParam<WarpCase> {};

TEST_P(WarpCopies, EveryCopyGivesTheBaselineBytes) {
    const WarpCase k = GetParam();
    FImage in(k.h, k.w, k.c, 1);
    fill(in, -0.1, 1.1, 17);
    in.at(k.h / 2, k.w / 3, 0) = std::numeric_limits<float>::quiet_NaN();
    const Attrs a = attrs_for(k);
    ImageView src = in.view();
    FImage base(k.h, k.w, k.c, 2);
    ImageView base_view = base.view();
    ASSERT_EQ(tarnimg::warp_rectilinear_with(pyxa::Isa::Baseline, &src, 1, &base_view, 1, a.data(), a.size()), 0);
    for (pyxa::Isa isa : pyxa::kAllIsas) {
        if (!pyxa::isa_supported(isa)) continue;
        FImage out(k.h, k.w, k.c, 2);
        ImageView view = out.view();
        ASSERT_EQ(tarnimg::warp_rectilinear_with(isa, &src, 1, &view, 1, a.data(), a.size()), 0);
        EXPECT_TRUE(out.same_pixels(base)) << "copy " << int(isa);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, WarpCopies,
    ::testing::Values(WarpCase{4, 4, 1, 1, false, false, 0.5, 0.5}, WarpCase{5, 263, 1, 3, false, false, 0.5, 0.5},
                      WarpCase{5, 263, 1, 3, false, true, 0.5, 0.5}, WarpCase{6, 517, 3, 2, true, false, 0.3, 0.8},
                      WarpCase{6, 517, 3, 4, true, true, 0.3, 0.8}, WarpCase{7, 29, 2, 5, true, true, -0.4, 1.7},
                      WarpCase{7, 29, 2, 1, false, false, 1.2, -0.3}, WarpCase{9, 300, 1, 2, true, true, 0.5, 0.5},
                      WarpCase{4, 4, 3, 3, true, true, 0.0, 1.0},
                      WarpCase{6, 517, 3, 4, false, true, 0.3, 0.8, true},
                      WarpCase{5, 263, 3, 3, true, true, 0.9, 0.2, true},
                      WarpCase{4, 5, 3, 2, false, true, -0.4, 1.7, true}));

// The sampling with 32-bit and with 64-bit indices reads the same samples
// with the same weights (only images of 2^31 floats take the wide form), for
// a packed plane (read in pairs) and a plane among two, with coordinates on
// the last row and column.
class WarpSampling : public ::testing::TestWithParam<uint64_t> {};

TEST_P(WarpSampling, NarrowAndWideIndicesAgree) {
    constexpr int64_t kN = tarnimg::kWarpChunk - 3;  // a partial chunk
    const uint64_t channels = GetParam();
    FImage in(7, 301, channels);
    fill(in, 0.0, 1.0, 5);
    const tarnimg::WarpSource src{&in.at(0, 0, channels - 1), int64_t(in.stride() / 4), int64_t(channels), 301, 7};
    std::vector<double> xs(kN), ys(kN);
    uint32_t seed = 9;
    for (int64_t i = 0; i < kN; ++i) {
        seed = seed * 1664525u + 1013904223u;
        xs[i] = i % 5 == 0 ? double(i % 2 == 0 ? 300 : i % 301) : 300.0 * double(seed >> 8) / double(1u << 24);
        ys[i] = i % 7 == 0 ? 6.0 : 6.0 * double(seed & 0xffff) / 65536.0;
    }
    const float* table = tarnimg::bicubic_table();
    ASSERT_NE(table, nullptr);
    for (pyxa::Isa isa : pyxa::kAllIsas) {
        if (!pyxa::isa_supported(isa)) continue;
        for (bool bicubic : {false, true}) {
            std::vector<float> narrow(kN), wide(kN);
            tarnimg::warp_sample_for(isa, bicubic, true)(src, table, xs.data(), ys.data(), kN, narrow.data());
            tarnimg::warp_sample_for(isa, bicubic, false)(src, table, xs.data(), ys.data(), kN, wide.data());
            EXPECT_EQ(std::memcmp(narrow.data(), wide.data(), kN * sizeof(float)), 0)
                << "copy " << int(isa) << (bicubic ? " bicubic" : " bilinear");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Channels, WarpSampling, ::testing::Values(1, 2));

}  // namespace

namespace {

struct GridCase {
    uint64_t c;
    int32_t start_plane, num_planes, map_planes, col_pitch, row_pitch, left, right;
};

void PrintTo(const GridCase& k, std::ostream* os) {
    *os << k.c << " channels, planes " << k.start_plane << "+" << k.num_planes << " of " << k.map_planes
        << ", pitch " << k.row_pitch << "x" << k.col_pitch << ", columns " << k.left << ".." << k.right;
}

class GainGridCopies : public ::testing::TestWithParam<GridCase> {};

TEST_P(GainGridCopies, EveryCopyGivesTheBaselineBytes) {
    const GridCase k = GetParam();
    std::vector<float> gains(4 * 7 * size_t(k.map_planes));
    for (size_t i = 0; i < gains.size(); ++i) gains[i] = 0.6f + 0.05f * float(i % 17);
    tarnimg::GainGridParams p;
    p.gains = gains.data(), p.gain_count = gains.size();
    p.points_v = 4, p.points_h = 7, p.map_planes = k.map_planes;
    p.top = 1, p.left = k.left, p.bottom = 0, p.right = k.right;
    p.start_plane = k.start_plane, p.num_planes = k.num_planes;
    p.row_pitch = k.row_pitch, p.col_pitch = k.col_pitch;
    // The grid covers part of the image: columns before and after it take
    // the edge gains.
    p.spacing_v = 0.3, p.spacing_h = 0.13, p.origin_v = 0.05, p.origin_h = 0.1;
    FImage base(6, 263, k.c, 1);
    fill(base, -0.1, 1.1, 23);
    FImage source = base;
    ASSERT_EQ(tarnimg::gain_grid_routine(pyxa::Isa::Baseline)(base.view(), p), 0);
    for (pyxa::Isa isa : pyxa::kAllIsas) {
        if (!pyxa::isa_supported(isa)) continue;
        FImage out = source;
        ASSERT_EQ(tarnimg::gain_grid_routine(isa)(out.view(), p), 0);
        EXPECT_TRUE(out.same_pixels(base)) << "copy " << int(isa);
    }
}

INSTANTIATE_TEST_SUITE_P(Selections, GainGridCopies,
                         ::testing::Values(GridCase{3, 0, 3, 3, 1, 1, 0, 0}, GridCase{3, 0, 3, 1, 1, 2, 3, 250},
                                           GridCase{3, 1, 2, 3, 1, 1, 0, 0}, GridCase{3, 0, 3, 3, 3, 1, 2, 0},
                                           GridCase{1, 0, 1, 1, 1, 1, 0, 0}, GridCase{1, 0, 1, 2, 2, 2, 1, 262}));

}  // namespace

namespace {

struct VignetteCase {
    uint64_t w, c;
    std::vector<double> k;
    double cx, cy;
};

void PrintTo(const VignetteCase& v, std::ostream* os) {
    *os << v.w << " wide, " << v.c << " channels, " << v.k.size() << " coefficients, centre " << v.cx << ","
        << v.cy;
}

class VignetteCopies : public ::testing::TestWithParam<VignetteCase> {};

TEST_P(VignetteCopies, EveryCopyGivesTheBaselineBytes) {
    const VignetteCase v = GetParam();
    FImage in(7, v.w, v.c, 1);
    fill(in, -0.2, 1.2, 31);
    Attrs a;
    a.f64s("params", v.k).f64("center_x", v.cx).f64("center_y", v.cy);
    ImageView src = in.view();
    FImage base(7, v.w, v.c, 2);
    ImageView base_view = base.view();
    ASSERT_EQ(tarnimg::fix_vignette_with(pyxa::Isa::Baseline, &src, 1, &base_view, 1, a.data(), a.size()), 0);
    for (pyxa::Isa isa : pyxa::kAllIsas) {
        if (!pyxa::isa_supported(isa)) continue;
        FImage out(7, v.w, v.c, 2);
        ImageView view = out.view();
        ASSERT_EQ(tarnimg::fix_vignette_with(isa, &src, 1, &view, 1, a.data(), a.size()), 0);
        EXPECT_TRUE(out.same_pixels(base)) << "copy " << int(isa);
    }
}

INSTANTIATE_TEST_SUITE_P(Terms, VignetteCopies,
                         ::testing::Values(VignetteCase{263, 1, {0.3}, 0.5, 0.5},
                                           VignetteCase{517, 1, {0.3, -0.1, 0.05}, 0.2, 0.9},
                                           VignetteCase{29, 3, {0.1, 0.2}, 1.4, -0.5},
                                           VignetteCase{300, 2, {0.1, -0.2, 0.3, -0.4}, 0.5, 0.5},
                                           VignetteCase{31, 1, {1, 1, 1, 1, 1, 50.0}, 0.5, 0.5}));

}  // namespace

namespace {

struct TableCase {
    uint64_t w;
    int32_t table_points;
    float gamma;
};

void PrintTo(const TableCase& k, std::ostream* os) {
    *os << k.w << " wide, " << k.table_points << " table points, gamma " << k.gamma;
}

class GainTableCopies : public ::testing::TestWithParam<TableCase> {};

TEST_P(GainTableCopies, EveryCopyGivesTheBaselineBytes) {
    const TableCase k = GetParam();
    FImage in(6, k.w, 3, 1);
    fill(in, -0.1, 1.1, 37);
    in.at(2, k.w / 2, 1) = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> gains(3 * 5 * size_t(k.table_points));
    for (size_t i = 0; i < gains.size(); ++i) gains[i] = 0.5f + 0.07f * float(i % 13);
    Attrs a;
    a.f32s("gains", gains).i32("points_v", 3).i32("points_h", 5).f32("spacing_v", 0.4f).f32("spacing_h", 0.2f);
    a.f32("origin_v", 0.1f).f32("origin_h", -0.05f).i32("num_table_points", k.table_points);
    a.f32s("weights", {0.3f, 0.3f, 0.2f, 0.1f, 0.1f}).f32("gamma", k.gamma).f32("exposure_weight_gain", 1.3f);
    ImageView src = in.view();
    FImage base(6, k.w, 3, 2);
    ImageView base_view = base.view();
    ASSERT_EQ(tarnimg::apply_profile_gain_table_map_with(pyxa::Isa::Baseline, &src, 1, &base_view, 1, a.data(),
                                                          a.size()),
              0);
    for (pyxa::Isa isa : pyxa::kAllIsas) {
        if (!pyxa::isa_supported(isa)) continue;
        FImage out(6, k.w, 3, 2);
        ImageView view = out.view();
        ASSERT_EQ(tarnimg::apply_profile_gain_table_map_with(isa, &src, 1, &view, 1, a.data(), a.size()), 0);
        EXPECT_TRUE(out.same_pixels(base)) << "copy " << int(isa);
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, GainTableCopies,
                         ::testing::Values(TableCase{263, 16, 1.0f}, TableCase{517, 1, 1.0f}, TableCase{29, 7, 2.2f},
                                           TableCase{300, 3, 0.45f}));

}  // namespace
