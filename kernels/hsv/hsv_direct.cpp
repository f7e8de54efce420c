// Direct routines: per pixel, hue/saturation/value, interpolation of the
// prepared fixed-point map (bilinear, or trilinear with value divisions) and
// the conversion back to RGB.
#include "kernels/hsv/hsv_color.hpp"
#include "kernels/hsv/hsv_fetch.hpp"
#include "kernels/hsv/hsv_stages_avx2.hpp"
#include "kernels/hsv/hsv_routines.hpp"

namespace pyxa {
namespace {

// Pixels go through in blocks, each stage a plain loop: hue/saturation/value
// and the map cell of every pixel (selects instead of branches, which random
// colours would mispredict), then the map corners fetched, then the
// interpolation and the way back to RGB. Per pixel, the expressions and their
// order are those of rgb_to_hsv, map_bilinear and adjust_to_rgb. Blocks of
// 128 pixels measured a few percent faster than 64 (fewer loop set-ups).
inline constexpr uint64_t kDirectBlock = 128;

template <bool WithValue, Isa I>
void hsv_direct(void* ctx, const PixelRun* in, const PixelRun* out) {
    constexpr int kLevels = WithValue ? 2 : 1;
    // The AVX-512 copy with value levels reads the per-cell records instead.
    constexpr bool kCells = WithValue && I == Isa::Avx512;
    const HueSatMapParams& p = *static_cast<const HueSatMapParams*>(ctx);
    const float* __restrict src = static_cast<const float*>(in->data);
    float* __restrict dst = static_cast<float*>(out->data);
    const int32_t hues = p.hue_size, sats = p.sat_size, vals = p.val_size;
    const int64_t slab = (static_cast<int64_t>(hues) + 1) * sats * 4;
    const float hf = hue_factor(hues);
    const float sat_span = static_cast<float>(sats - 1);
    const float val_span = static_cast<float>(vals - 1);
    const int16_t* map = p.data.data();
    alignas(64) float hue[kDirectBlock], sat[kDirectBlock], val[kDirectBlock];
    alignas(64) float fhs[kDirectBlock], fss[kDirectBlock], fvs[kDirectBlock];
    alignas(64) int32_t his[kDirectBlock], sis[kDirectBlock], vis[kDirectBlock] = {};
    alignas(64) int64_t offs[kDirectBlock];
    // [level][a lo, a hi, b lo, b hi][component] corner planes of the block.
    alignas(64) float q[kLevels][4][3][kDirectBlock];
    alignas(64) float mp[3][kDirectBlock];
#ifdef PYXA_RGB_AVX2
    const HsvBlock blk{hue, sat, val, fhs, fss, fvs, his, sis, vis};
    const HsvGrid grid{hf, sat_span, val_span, hues - 1, sats - 2, vals - 2};
#endif
    for (uint64_t i0 = 0; i0 < in->len; i0 += kDirectBlock) {
        const uint64_t bn = in->len - i0 < kDirectBlock ? in->len - i0 : kDirectBlock;
        const float* s = src + 3 * i0;
        uint64_t j = 0;
#ifdef PYXA_RGB_AVX2
        if constexpr (I == Isa::Avx2)
            for (; j + 8 <= bn; j += 8) hsv_front8<WithValue>(s, grid, blk, j);
#endif
        for (; j < bn; ++j) {
            const Hsv c = rgb_to_hsv_selects(s[3 * j], s[3 * j + 1], s[3 * j + 2]);
            hue[j] = c.hue;
            sat[j] = c.sat;
            val[j] = c.val;
            const HueSatCell cell = hue_sat_cell(c, hf, sat_span, hues, sats);
            his[j] = cell.hue_row;
            sis[j] = cell.sat_col;
            fhs[j] = cell.hue_frac;
            fss[j] = cell.sat_frac;
            if constexpr (WithValue) {
                const float t = c.val * val_span;
                vis[j] = cell_index(t, vals - 2);
                fvs[j] = t - static_cast<float>(vis[j]);
            }
        }
        for (j = 0; j < bn; ++j) {
            const int64_t hi = his[j], si = sis[j], vi = vis[j];
            if constexpr (kCells) offs[j] = ((hi * (sats - 1) + si) * vals + vi) * kHsvCellWords;
            else offs[j] = vi * slab + (hi * sats + si) * 4;
        }
        if constexpr (kCells) {
            fetch_cells<I>(p.cells.data(), offs, &q[0][0][0][0], kDirectBlock, bn);
        } else {
            for (int lv = 0; lv < kLevels; ++lv) {
                const int64_t a = lv * slab, b = a + static_cast<int64_t>(sats) * 4;
                const int64_t corner[4] = {a, a + 4, b, b + 4};
                for (int c = 0; c < 4; c += 2)
                    fetch_pairs<I>(EntryFetch{map, offs, corner[c], 3, &q[lv][c][0][0], kDirectBlock},
                                   &q[lv][c + 1][0][0], bn);
            }
        }
        // The AVX2 copy interpolates and converts back eight pixels at a time,
        // in registers; the rest go through the planes.
        float* d = dst + 3 * i0;
        j = 0;
#ifdef PYXA_RGB_AVX2
        if constexpr (I == Isa::Avx2)
            for (; j + 8 <= bn; j += 8) hsv_mix_back8<kLevels>(blk, &q[0][0][0][0], kDirectBlock, d, j);
#endif
        const uint64_t rest = j;
        for (int k = 0; k < 3; ++k) {
            for (j = rest; j < bn; ++j) {
                const float fh = fhs[j], fs = fss[j];
                float at[kLevels];
                for (int lv = 0; lv < kLevels; ++lv) {
                    const float lo = (1.0f - fs) * q[lv][0][k][j] + fs * q[lv][1][k][j];
                    const float up = (1.0f - fs) * q[lv][2][k][j] + fs * q[lv][3][k][j];
                    at[lv] = ((1.0f - fh) * lo + fh * up) * kHsvInvUnit;
                }
                if constexpr (WithValue) mp[k][j] = (1.0f - fvs[j]) * at[0] + fvs[j] * at[kLevels - 1];
                else mp[k][j] = at[0];
            }
        }
        for (j = rest; j < bn; ++j) {
            Hsv c;
            c.hue = hue[j];
            c.sat = sat[j];
            c.val = val[j];
            adjust_to_rgb(c, MapPoint{mp[0][j], mp[1][j], mp[2][j]}, d + 3 * j);
        }
    }
}

}  // namespace

namespace {

template <bool WithValue>
PointwiseRun direct_copy(Isa isa) {
    switch (isa) {
        case Isa::Avx512: return routine_for<hsv_direct<WithValue, Isa::Avx512>>(Isa::Avx512);
        case Isa::Avx2: return routine_for<hsv_direct<WithValue, Isa::Avx2>>(Isa::Avx2);
        default: return hsv_direct<WithValue, Isa::Baseline>;
    }
}

}  // namespace

PointwiseRun hsv_direct_routine(bool with_value, Isa isa) {
    return with_value ? direct_copy<true>(isa) : direct_copy<false>(isa);
}

}  // namespace pyxa
