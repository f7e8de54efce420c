// Colour transform that applies its input table to the largest and smallest
// channel and rebuilds the middle one, so the pixel keeps its hue. float32
// input only.
#include "kernels/pointwise/block_lookup.hpp"
#include "kernels/pointwise/element_io.hpp"
#include "kernels/pointwise/hue_preserving_avx2.hpp"
#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "kernels/pointwise/type_pairs.hpp"

namespace pyxa {
namespace {

// Which channel holds the largest, middle and smallest value: the roles follow
// fixed comparisons of (r, g, b) so that ties always resolve the same way
// (with a tie the middle channel is rebuilt, not looked up, so which channel
// takes which role shows in the bytes):
//   r >= g:  g > b -> (r, g, b);  else r < b -> (b, r, g);  else (r, b, g)
//   r <  g:  r >= b -> (g, r, b); else g < b -> (b, g, r);  else (g, b, r)
// The passes below write each role and each channel as a chain of selects,
// each on one comparison of the pixel's channels: that form vectorises, where
// branches on random colours would mispredict one pixel in two.
inline float largest(float r, float g, float b) {
    const float when_rg = g > b ? r : (r < b ? b : r);
    const float when_gr = r >= b ? g : (g < b ? b : g);
    return r >= g ? when_rg : when_gr;
}

inline float middle(float r, float g, float b) {
    const float when_rg = g > b ? g : (r < b ? r : b);
    const float when_gr = r >= b ? r : (g < b ? g : b);
    return r >= g ? when_rg : when_gr;
}

inline float smallest(float r, float g, float b) {
    const float when_rg = g > b ? b : g;
    const float when_gr = r >= b ? b : r;
    return r >= g ? when_rg : when_gr;
}

// What each channel of (r, g, b) becomes, from the new largest, middle and smallest.
inline float new_red(float r, float g, float b, float hi, float mid, float lo) {
    const float when_rg = g > b ? hi : (r < b ? mid : hi);
    const float when_gr = r >= b ? mid : lo;
    return r >= g ? when_rg : when_gr;
}

inline float new_green(float r, float g, float b, float hi, float mid, float lo) {
    const float when_rg = g > b ? mid : lo;
    const float when_gr = r >= b ? hi : (g < b ? mid : hi);
    return r >= g ? when_rg : when_gr;
}

inline float new_blue(float r, float g, float b, float hi, float mid, float lo) {
    const float when_rg = g > b ? lo : (r < b ? hi : mid);
    const float when_gr = r >= b ? lo : (g < b ? hi : mid);
    return r >= g ? when_rg : when_gr;
}

inline constexpr uint64_t B = kLookupBlock;

template <bool Matrix, bool OutTable>
struct HuePreserving {
    // The block's pixels: clamped channel planes, then the input table on the
    // largest and smallest, the middle rebuilt as
    // lo' + (hi' - lo') * (mid - lo) / (hi - lo) (lo' when hi - lo <= 1e-10),
    // each written back to its own channel.
    static void keep_hue(const TransformColorParams& p, const float* __restrict s, float (&y)[3][B], uint64_t n) {
        alignas(64) float hi[B], mid[B], lo[B], hi2[B], lo2[B], mid2[B];
        for (uint64_t j = 0; j < n; ++j) {
            y[0][j] = clamp01(s[3 * j]);
            y[1][j] = clamp01(s[3 * j + 1]);
            y[2][j] = clamp01(s[3 * j + 2]);
        }
        for (uint64_t j = 0; j < n; ++j) {
            const float r = y[0][j], g = y[1][j], b = y[2][j];
            hi[j] = largest(r, g, b);
            mid[j] = middle(r, g, b);
            lo[j] = smallest(r, g, b);
        }
        const float ps = p.in_pos_scale;
        const float* t = p.in_table.data();
        lookup_block(t, p.in_table.last, n, [=](uint64_t j) { return ps * hi[j]; },
                     [&hi2](uint64_t j, float v) { hi2[j] = v; });
        lookup_block(t, p.in_table.last, n, [=](uint64_t j) { return ps * lo[j]; },
                     [&lo2](uint64_t j, float v) { lo2[j] = v; });
        for (uint64_t j = 0; j < n; ++j) {
            const float h = hi[j], m = mid[j], l = lo[j];
            // The quotient only where it is used: elsewhere h - l may be 0.
            const float span = h - l > 1e-10f ? h - l : 1.0f;
            const float rebuilt = lo2[j] + (hi2[j] - lo2[j]) * (m - l) / span;
            mid2[j] = h - l > 1e-10f ? rebuilt : lo2[j];
        }
        for (uint64_t j = 0; j < n; ++j) {
            const float r = y[0][j], g = y[1][j], b = y[2][j];
            y[0][j] = new_red(r, g, b, hi2[j], mid2[j], lo2[j]);
            y[1][j] = new_green(r, g, b, hi2[j], mid2[j], lo2[j]);
            y[2][j] = new_blue(r, g, b, hi2[j], mid2[j], lo2[j]);
        }
    }

    template <typename Out>
    static void run(void* ctx, const PixelRun* in, const PixelRun* out) {
        const TransformColorParams& p = *static_cast<const TransformColorParams*>(ctx);
        const float* __restrict src = static_cast<const float*>(in->data);
        Out* __restrict dst = static_cast<Out*>(out->data);
        float m[9];
        for (int k = 0; k < 9; ++k) m[k] = p.m[k];
        const float os = p.out_scale;
        alignas(64) float y[3][B];
        alignas(64) float z[B];
        alignas(64) Out planes[3][B];
        for (uint64_t i0 = 0; i0 < in->len; i0 += B) {
            const uint64_t n = in->len - i0 < B ? in->len - i0 : B;
            keep_hue(p, src + 3 * i0, y, n);
            for (int k = 0; k < 3; ++k) {
                if constexpr (Matrix) {
                    const float a = m[3 * k], b = m[3 * k + 1], c = m[3 * k + 2];
                    for (uint64_t j = 0; j < n; ++j) z[j] = a * y[0][j] + b * y[1][j] + c * y[2][j];
                } else {
                    for (uint64_t j = 0; j < n; ++j) z[j] = y[k][j];
                }
                // The output table reads the matrix result as its position
                // (the table size was folded into the matrix); without one
                // the value is clamped to [0, 1]. Then the scale and the store.
                if constexpr (OutTable) {
                    lookup_block(p.out_table.data(), p.out_table.last, n, [&z](uint64_t j) { return z[j]; },
                                 [&z, os](uint64_t j, float v) { z[j] = os * v; });
                } else {
                    for (uint64_t j = 0; j < n; ++j) z[j] = os * clamp01(z[j]);
                }
                store_block(z, n, planes[k]);
            }
            Out* __restrict d = dst + 3 * i0;
            for (uint64_t j = 0; j < n; ++j) {
                d[3 * j] = planes[0][j];
                d[3 * j + 1] = planes[1][j];
                d[3 * j + 2] = planes[2][j];
            }
        }
    }
};

template <bool Matrix, bool OutTable>
constexpr RoutinePick kByOutput[3] = {routine_for<HuePreserving<Matrix, OutTable>::template run<uint8_t>>,
                                      routine_for<HuePreserving<Matrix, OutTable>::template run<uint16_t>>,
                                      routine_for<HuePreserving<Matrix, OutTable>::template run<float>>};

}  // namespace

// With a matrix: any output type, with or without an output table. Without a
// matrix: float32 output and no output table only.
PointwiseRun hue_preserving_routine(int32_t out, TransformShape s, Isa isa) {
    const int o = pointwise_type_index(out);
    if (!s.in_table || o < 0) return nullptr;
    if (s.matrix && s.out_table && runs_avx2(isa)) {
        if (const PointwiseRun lanes = hue_preserving_avx2_routine(out)) return lanes;
    }
    if (s.matrix) return s.out_table ? kByOutput<true, true>[o](isa) : kByOutput<true, false>[o](isa);
    return (!s.out_table && out == FLOAT32) ? kByOutput<false, false>[o](isa) : nullptr;
}

}  // namespace pyxa
