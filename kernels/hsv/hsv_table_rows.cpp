// Builds one row of a colour table as a block: the hue/saturation of every
// entry's colour and its map cell, the map corners fetched, the interpolation,
// the colour at value 1 and the fixed-point store, each stage a plain loop.
// Per entry, the expressions and their order are those of rgb_to_hsv,
// map_bilinear, adjust_to_rgb and to_fixed, so every copy builds the same table.
#include "kernels/hsv/hsv_color.hpp"
#include "kernels/hsv/hsv_fetch.hpp"
#include "kernels/hsv/hsv_table_rows.hpp"
#include "core/isa.hpp"

namespace pyxa {
namespace {

constexpr uint64_t kRow = kMaxTableRow;

// dst[j] = fixed_point(src[j] * kHsvUnit) for j < n. The wider copies use
// the same steps in vector registers: max/min compute `a > b ? a : b` and
// `a < b ? a : b` exactly, NaN included, and the truncating conversion is exact
// on the clamped range. (Left to the compiler, this loop turns into branches.)
inline void fixed_plane_scalar(const float* src, int32_t* dst, uint64_t j0, uint64_t n) {
    for (uint64_t j = j0; j < n; ++j) dst[j] = fixed_point(src[j] * kHsvUnit);
}

#if defined(__x86_64__) && defined(__GNUC__)
PYXA_TARGET_AVX512 inline void fixed_plane_avx512(const float* src,
                                                                                                 int32_t* dst,
                                                                                                 uint64_t n) {
    const __m512 unit = _mm512_set1_ps(kHsvUnit), lo = _mm512_set1_ps(-32768.0f), hi = _mm512_set1_ps(32767.0f);
    const __m512 half = _mm512_set1_ps(0.5f), minus_half = _mm512_set1_ps(-0.5f);
    const __m512i one = _mm512_set1_epi32(1);
    uint64_t j = 0;
    for (; j + 16 <= n; j += 16) {
        __m512 x = _mm512_mul_ps(_mm512_loadu_ps(src + j), unit);
        const __mmask16 nan = _mm512_cmp_ps_mask(x, x, _CMP_UNORD_Q);
        x = _mm512_min_ps(_mm512_max_ps(x, lo), hi);
        __m512i t = _mm512_cvttps_epi32(x);
        const __m512 rest = _mm512_sub_ps(x, _mm512_cvtepi32_ps(t));
        t = _mm512_mask_add_epi32(t, _mm512_cmp_ps_mask(rest, half, _CMP_GE_OQ), t, one);
        t = _mm512_mask_sub_epi32(t, _mm512_cmp_ps_mask(rest, minus_half, _CMP_LE_OQ), t, one);
        _mm512_storeu_si512(dst + j, _mm512_maskz_mov_epi32(static_cast<__mmask16>(~nan), t));
    }
    fixed_plane_scalar(src, dst, j, n);
}

PYXA_TARGET_AVX2 inline void fixed_plane_avx2(const float* src, int32_t* dst, uint64_t n) {
    const __m256 unit = _mm256_set1_ps(kHsvUnit), lo = _mm256_set1_ps(-32768.0f), hi = _mm256_set1_ps(32767.0f);
    const __m256 half = _mm256_set1_ps(0.5f), minus_half = _mm256_set1_ps(-0.5f);
    uint64_t j = 0;
    for (; j + 8 <= n; j += 8) {
        __m256 x = _mm256_mul_ps(_mm256_loadu_ps(src + j), unit);
        const __m256i nan = _mm256_castps_si256(_mm256_cmp_ps(x, x, _CMP_UNORD_Q));
        x = _mm256_min_ps(_mm256_max_ps(x, lo), hi);
        __m256i t = _mm256_cvttps_epi32(x);
        const __m256 rest = _mm256_sub_ps(x, _mm256_cvtepi32_ps(t));
        // Compare masks are -1 where true: subtracting one adds 1, adding one subtracts 1.
        t = _mm256_sub_epi32(t, _mm256_castps_si256(_mm256_cmp_ps(rest, half, _CMP_GE_OQ)));
        t = _mm256_add_epi32(t, _mm256_castps_si256(_mm256_cmp_ps(rest, minus_half, _CMP_LE_OQ)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + j), _mm256_andnot_si256(nan, t));
    }
    fixed_plane_scalar(src, dst, j, n);
}
#endif

template <Isa I>
inline void fixed_plane(const float* src, int32_t* dst, uint64_t n) {
#if defined(__x86_64__) && defined(__GNUC__)
    if constexpr (I == Isa::Avx512) return fixed_plane_avx512(src, dst, n);
    if constexpr (I == Isa::Avx2) return fixed_plane_avx2(src, dst, n);
#endif
    fixed_plane_scalar(src, dst, 0, n);
}

template <Isa I>
void table_row(const TableRowJob& job) {
    const int32_t n = job.n, hues = job.hues, sats = job.sats;
    const uint64_t count = static_cast<uint64_t>(n);
    const int64_t slab = (static_cast<int64_t>(hues) + 1) * sats * 4;
    const float hf = hue_factor(hues);
    const float step = 1.0f / static_cast<float>(n - 1);
    const float sat_span = static_cast<float>(sats - 1);
    const float a = static_cast<float>(job.i) * step;
    const bool red = job.face == 0, green = job.face == 1, blue = job.face == 2;
    alignas(64) float rgb[3][kRow], hue[kRow], sat[kRow], fhs[kRow], fss[kRow];
    alignas(64) int64_t offs[kRow];
    alignas(64) float q[4][3][kRow];
    alignas(64) float ch[3][kRow], vs[kRow];
    alignas(64) int32_t fixed[4][kRow];
    // The face's channel is 1, the other two follow the axes in channel order.
    for (uint64_t j = 0; j < count; ++j) {
        const float bj = static_cast<float>(static_cast<int32_t>(j)) * step;
        rgb[0][j] = red ? 1.0f : a;
        rgb[1][j] = red ? a : (green ? 1.0f : bj);
        rgb[2][j] = blue ? 1.0f : bj;
    }
    for (uint64_t j = 0; j < count; ++j) {
        const Hsv c = rgb_to_hsv_selects(rgb[0][j], rgb[1][j], rgb[2][j]);
        hue[j] = c.hue;
        sat[j] = c.sat;
        const HueSatCell cell = hue_sat_cell(c, hf, sat_span, hues, sats);
        fhs[j] = cell.hue_frac;
        fss[j] = cell.sat_frac;
        offs[j] = (static_cast<int64_t>(cell.hue_row) * sats + cell.sat_col) * 4;
    }
    for (int32_t l = 0; l < job.vals; ++l) {
        const int16_t* map = job.map + l * slab;
        const int64_t corner[4] = {0, 4, static_cast<int64_t>(sats) * 4, static_cast<int64_t>(sats) * 4 + 4};
        for (int c = 0; c < 4; c += 2)
            fetch_pairs<I>(EntryFetch{map, offs, corner[c], 3, &q[c][0][0], kRow}, &q[c + 1][0][0], count);
        for (uint64_t j = 0; j < count; ++j) {
            const float fh = fhs[j], fs = fss[j];
            float v[3];
            for (int k = 0; k < 3; ++k) {
                const float lo = (1.0f - fs) * q[0][k][j] + fs * q[1][k][j];
                const float up = (1.0f - fs) * q[2][k][j] + fs * q[3][k][j];
                v[k] = ((1.0f - fh) * lo + fh * up) * kHsvInvUnit;
            }
            float at_one[3];
            adjust_to_rgb(Hsv{hue[j], sat[j], 1.0f}, MapPoint{v[0], v[1], 1.0f}, at_one);  // chroma at value 1
            ch[0][j] = at_one[0];
            ch[1][j] = at_one[1];
            ch[2][j] = at_one[2];
            vs[j] = v[2];
        }
        for (int k = 0; k < 3; ++k) fixed_plane<I>(ch[k], fixed[k], count);
        fixed_plane<I>(vs, fixed[3], count);
        int16_t* out = job.out + 4 * l;
        const int64_t stride = static_cast<int64_t>(job.vals) * 4;
        for (uint64_t j = 0; j < count; ++j) {
            int16_t* e = out + static_cast<int64_t>(j) * stride;
            for (int k = 0; k < 4; ++k) e[k] = static_cast<int16_t>(fixed[k][j]);
        }
    }
}

}  // namespace

TableRowRun table_row_routine(Isa isa) {
    switch (isa) {
        case Isa::Avx512: return routine_for<table_row<Isa::Avx512>>(Isa::Avx512);
        case Isa::Avx2: return routine_for<table_row<Isa::Avx2>>(Isa::Avx2);
        default: return table_row<Isa::Baseline>;
    }
}

}  // namespace pyxa
