// Table routines: per pixel, one interpolation of the precomputed colour table
// (bilinear on the face of the largest channel, trilinear with value levels),
// scaled by the pixel's adjusted value.
#include "kernels/hsv/hsv_color.hpp"
#include "kernels/hsv/hsv_fetch.hpp"
#include "kernels/hsv/hsv_routines.hpp"
#include "kernels/hsv/hsv_stages_avx2.hpp"

namespace pyxa {
namespace {

// Pixels go through in blocks, each stage a plain loop: the face, cell and
// fractions of every pixel (selects instead of branches, which random colours
// would mispredict), then the table corners fetched, then the interpolation
// and the store. The arithmetic per pixel is the one of the per-pixel form:
// the same expressions in the same order. Blocks of 32 pixels measured
// fastest with the prefetch below (24 Mpx: the chroma table ~10% faster than
// with 64, 128 and 16 much slower).
inline constexpr uint64_t kHsvBlock = 32;

// The table's corners are random reads that keep the processor's own stream
// prefetch of the pixels from running ahead, so the input and output two
// blocks on are asked for explicitly, one cache line at a time (about 10% off
// the chroma table's time, a few percent off the value table's). The hints
// change no result and stay inside both runs.
inline constexpr uint64_t kPrefetchBlocks = 2;

inline void prefetch_block(const float* src, float* dst) {
    for (uint64_t b = 0; b < 3 * kHsvBlock * sizeof(float); b += 64) {
        __builtin_prefetch(reinterpret_cast<const char*>(src) + b, 0, 3);
        __builtin_prefetch(reinterpret_cast<char*>(dst) + b, 1, 3);
    }
}

template <bool WithValue>
struct Corners {
    static constexpr int kLevels = WithValue ? 2 : 1;
    // [level][corner 00, 01, 10, 11][component] planes of the block.
    alignas(64) float q[kLevels][4][4][kHsvBlock];
};

template <bool WithValue, Isa I>
void hsv_table(void* ctx, const PixelRun* in, const PixelRun* out) {
    const HueSatMapParams& p = *static_cast<const HueSatMapParams*>(ctx);
    const float* __restrict src = static_cast<const float*>(in->data);
    float* __restrict dst = static_cast<float*>(out->data);
    const int32_t n = p.hue_size, vals = WithValue ? p.val_size : 1;
    const float span = static_cast<float>(n - 1);
    const float val_span = static_cast<float>(vals - 1);
    const int64_t row = static_cast<int64_t>(n) * vals * 4;  // one i step
    const int64_t col = static_cast<int64_t>(vals) * 4;      // one j step
    const int16_t* table = p.data.data();
    alignas(64) float mx[kHsvBlock], f1s[kHsvBlock], f2s[kHsvBlock], fvs[kHsvBlock];
    alignas(64) int32_t faces[kHsvBlock], i1s[kHsvBlock], i2s[kHsvBlock], lis[kHsvBlock] = {};
    alignas(64) int64_t offs[kHsvBlock];
    alignas(64) float c[4][kHsvBlock];
    Corners<WithValue> k4;
#ifdef PYXA_RGB_AVX2
    const TableBlock blk{mx, f1s, f2s, fvs, faces, i1s, i2s, lis};
    const TableGrid grid{span, val_span, n - 2, vals - 2};
    const float* const planes[4] = {c[0], c[1], c[2], c[3]};
#endif
    for (uint64_t i0 = 0; i0 < in->len; i0 += kHsvBlock) {
        const uint64_t bn = in->len - i0 < kHsvBlock ? in->len - i0 : kHsvBlock;
        const float* s = src + 3 * i0;
        const uint64_t ahead = i0 + kPrefetchBlocks * kHsvBlock;
        if (in->len - i0 > (kPrefetchBlocks + 1) * kHsvBlock) prefetch_block(src + 3 * ahead, dst + 3 * ahead);
        uint64_t j = 0;
#ifdef PYXA_RGB_AVX2
        if constexpr (I == Isa::Avx2)
            for (; j + 8 <= bn; j += 8) table_front8<WithValue>(s, grid, blk, j);
#endif
        for (; j < bn; ++j) {
            const float r = s[3 * j], g = s[3 * j + 1], b = s[3 * j + 2];
            // Face of the largest channel: red wins ties, then green.
            const bool red_face = r >= g && r >= b, green_face = g >= b;
            faces[j] = red_face ? 0 : (green_face ? 1 : 2);
            const float m = red_face ? r : (green_face ? g : b);
            const float x1 = red_face ? g : r;
            const float x2 = (red_face || green_face) ? b : g;
            const float inv = 1.0f / (m > 1e-20f ? m : 1e-20f);
            const float a1 = x1 * inv * span, a2 = x2 * inv * span;
            i1s[j] = cell_index(a1, n - 2);
            i2s[j] = cell_index(a2, n - 2);
            f1s[j] = a1 - static_cast<float>(i1s[j]);
            f2s[j] = a2 - static_cast<float>(i2s[j]);
            if constexpr (WithValue) {
                const float t = m * val_span;
                lis[j] = cell_index(t, vals - 2);
                fvs[j] = t - static_cast<float>(lis[j]);
            }
            mx[j] = m;
        }
        for (j = 0; j < bn; ++j) {
            const int64_t face = faces[j], i1 = i1s[j], i2 = i2s[j], li = lis[j];
            offs[j] = face * n * row + i1 * row + i2 * col + li * 4;
        }
        // Neighbouring entries come in pairs: the two value levels of a corner,
        // or without levels the two corners along the second axis.
        const int64_t corner[4] = {0, col, row, row + col};
        if constexpr (WithValue) {
            for (int c = 0; c < 4; ++c)
                fetch_pairs<I>(EntryFetch{table, offs, corner[c], 4, &k4.q[0][c][0][0], kHsvBlock},
                               &k4.q[1][c][0][0], bn);
        } else {
            for (int c = 0; c < 4; c += 2)
                fetch_pairs<I>(EntryFetch{table, offs, corner[c], 4, &k4.q[0][c][0][0], kHsvBlock},
                               &k4.q[0][c + 1][0][0], bn);
        }
        for (int k = 0; k < 4; ++k) {
            for (j = 0; j < bn; ++j) {
                const float f1 = f1s[j], f2 = f2s[j];
                float lo = (1.0f - f1) * ((1.0f - f2) * k4.q[0][0][k][j] + f2 * k4.q[0][1][k][j]) +
                           f1 * ((1.0f - f2) * k4.q[0][2][k][j] + f2 * k4.q[0][3][k][j]);
                if constexpr (WithValue) {
                    const int top = Corners<WithValue>::kLevels - 1;
                    const float up = (1.0f - f1) * ((1.0f - f2) * k4.q[top][0][k][j] + f2 * k4.q[top][1][k][j]) +
                                     f1 * ((1.0f - f2) * k4.q[top][2][k][j] + f2 * k4.q[top][3][k][j]);
                    lo = (1.0f - fvs[j]) * lo + fvs[j] * up;
                }
                c[k][j] = lo * kHsvInvUnit;
            }
        }
        float* d = dst + 3 * i0;
        j = 0;
#ifdef PYXA_RGB_AVX2
        if constexpr (I == Isa::Avx2)
            for (; j + 8 <= bn; j += 8) table_back8(mx, planes, d, j);
#endif
        for (; j < bn; ++j) {
            float v = mx[j] * c[3][j];
            v = v < 1.0f ? v : 1.0f;
            v = v > 0.0f ? v : 0.0f;
            d[3 * j] = v * c[0][j];
            d[3 * j + 1] = v * c[1][j];
            d[3 * j + 2] = v * c[2][j];
        }
    }
}

}  // namespace

namespace {

template <bool WithValue>
PointwiseRun table_copy(Isa isa) {
    switch (isa) {
        case Isa::Avx512: return routine_for<hsv_table<WithValue, Isa::Avx512>>(Isa::Avx512);
        case Isa::Avx2: return routine_for<hsv_table<WithValue, Isa::Avx2>>(Isa::Avx2);
        default: return hsv_table<WithValue, Isa::Baseline>;
    }
}

}  // namespace

PointwiseRun hsv_table_routine(bool with_value, Isa isa) {
    return with_value ? table_copy<true>(isa) : table_copy<false>(isa);
}

}  // namespace pyxa
