// Colour transform: optional input table, optional 3x3 matrix and optional
// output table on three-channel pixels. One template, instantiated per type
// pair for each shape that has a routine; pixels go through in blocks so that
// each stage is a plain vectorisable loop.
#include "kernels/pointwise/block_lookup.hpp"
#include "kernels/pointwise/element_io.hpp"
#include "kernels/pointwise/in_table_avx2.hpp"
#include "kernels/pointwise/matrix_avx2.hpp"
#include "kernels/pointwise/out_table_avx2.hpp"
#include "kernels/pointwise/out_table_avx512.hpp"
#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "kernels/pointwise/type_pairs.hpp"

namespace pyxa {
namespace {

enum : int { kIn = 1, kMatrix = 2, kOut = 4, kFast = 8 };

template <int Shape>
struct Transform {
    static constexpr bool in_table = (Shape & kIn) != 0;
    static constexpr bool matrix = (Shape & kMatrix) != 0;
    static constexpr bool out_table = (Shape & kOut) != 0;
    static constexpr bool fast = (Shape & kFast) != 0;
    static constexpr uint64_t B = kLookupBlock;

    // First stage of n values of one channel (stride 3 in the source when
    // pixels are split into planes) into y.
    template <typename In>
    static void first_stage(const TransformColorParams& p, const In* __restrict src, uint64_t stride,
                            float* __restrict y, uint64_t n) {
        const auto put = [y](uint64_t j, float v) { y[j] = v; };
        if constexpr (fast) {
            const float* t = p.in_table.data();
            for (uint64_t j = 0; j < n; ++j) y[j] = t[src[stride * j]];
        } else if constexpr (in_table) {
            const float s = p.in_pos_scale;
            lookup_block(p.in_table.data(), p.in_table.last, n,
                         [=](uint64_t j) { return s * static_cast<float>(src[stride * j]); }, put);
        } else if constexpr (matrix && out_table) {
            // The input scale was folded into the matrix at resolution.
            for (uint64_t j = 0; j < n; ++j) y[j] = static_cast<float>(src[stride * j]);
        } else {
            const float s = p.in_scale;
            for (uint64_t j = 0; j < n; ++j) y[j] = s * static_cast<float>(src[stride * j]);
        }
    }

    // Last stage of n values z (used as scratch), stored at d[j].
    template <typename Out>
    static void last_stage(const TransformColorParams& p, float* __restrict z, uint64_t n, Out* __restrict d) {
        const float os = p.out_scale;
        if constexpr (matrix && out_table) {
            lookup_block(p.out_table.data(), p.out_table.last, n, [z](uint64_t j) { return z[j]; },
                         [=](uint64_t j, float v) { z[j] = os * v; });
            store_block(z, n, d);
        } else if constexpr (in_table && out_table) {
            // Both tables without a matrix: the output table follows the input table.
            const float cs = p.chain_pos_scale;
            lookup_block(p.out_table.data(), p.out_table.last, n, [=](uint64_t j) { return cs * z[j]; },
                         [z](uint64_t j, float v) { z[j] = v; });
            store_unit_block(z, n, os, d);
        } else {
            store_unit_block(z, n, os, d);
        }
    }

    // Without a matrix the channels are independent: the run is one flat
    // sequence of elements.
    template <typename In, typename Out>
    static void run_elements(const TransformColorParams& p, const In* __restrict src, Out* __restrict dst,
                             uint64_t count) {
        alignas(64) float v[B];
        for (uint64_t i0 = 0; i0 < count; i0 += B) {
            const uint64_t n = count - i0 < B ? count - i0 : B;
            const In* s = src + i0;
            Out* d = dst + i0;
            if constexpr (out_table && !in_table) {
                // A lone output table reads input values directly.
                const float ps = p.out_pos_scale;
                lookup_block(p.out_table.data(), p.out_table.last, n,
                             [=](uint64_t j) { return ps * static_cast<float>(s[j]); },
                             [&v](uint64_t j, float x) { v[j] = x; });
                store_unit_block(v, n, p.out_scale, d);
            } else {
                first_stage(p, s, 1, v, n);
                last_stage(p, v, n, d);
            }
        }
    }

    // With a matrix, blocks of pixels are split into channel planes so every
    // stage is a plain loop over one plane, then interleaved again on the store.
    template <typename In, typename Out>
    static void run_pixels(const TransformColorParams& p, const In* __restrict src, Out* __restrict dst,
                           uint64_t len) {
        float m[9];
        for (int i = 0; i < 9; ++i) m[i] = p.m[i];
        alignas(64) float y[3][B];
        alignas(64) float z[B];
        alignas(64) Out planes[3][B];
        for (uint64_t i0 = 0; i0 < len; i0 += B) {
            const uint64_t n = len - i0 < B ? len - i0 : B;
            for (int c = 0; c < 3; ++c) first_stage(p, src + 3 * i0 + c, 3, y[c], n);
            for (int k = 0; k < 3; ++k) {
                const float a = m[3 * k], b = m[3 * k + 1], c = m[3 * k + 2];
                for (uint64_t j = 0; j < n; ++j) z[j] = a * y[0][j] + b * y[1][j] + c * y[2][j];
                last_stage(p, z, n, planes[k]);
            }
            Out* __restrict d = dst + 3 * i0;
            for (uint64_t j = 0; j < n; ++j) {
                d[3 * j] = planes[0][j];
                d[3 * j + 1] = planes[1][j];
                d[3 * j + 2] = planes[2][j];
            }
        }
    }

    template <typename In, typename Out>
    struct K {
        static void run(void* ctx, const PixelRun* in, const PixelRun* out) {
            const TransformColorParams& p = *static_cast<const TransformColorParams*>(ctx);
            const In* src = static_cast<const In*>(in->data);
            Out* dst = static_cast<Out*>(out->data);
            if constexpr (matrix) run_pixels<In, Out>(p, src, dst, in->len);
            else run_elements<In, Out>(p, src, dst, 3 * in->len);
        }
    };
};

template <int Shape>
PointwiseRun pick(int32_t in, int32_t out, Isa isa) {
    using T = Transform<Shape>;
    if constexpr (T::fast) {
        // The byte-indexed path exists for uint8 input only.
        constexpr RoutinePick row[3] = {routine_for<T::template K<uint8_t, uint8_t>::run>,
                                        routine_for<T::template K<uint8_t, uint16_t>::run>,
                                        routine_for<T::template K<uint8_t, float>::run>};
        const int o = pointwise_type_index(out);
        return (in != UINT8 || o < 0) ? nullptr : row[o](isa);
    } else {
        return pick_type_pair(kTypePairs<T::template K>, in, out, isa);
    }
}

}  // namespace

// Shapes with a routine; every other one (and fast without uint8 input) has none.
PointwiseRun transform_color_routine(int32_t in, int32_t out, TransformShape s, Isa isa) {
    const int shape =
        (s.in_table ? kIn : 0) | (s.matrix ? kMatrix : 0) | (s.out_table ? kOut : 0) | (s.fast ? kFast : 0);
    switch (shape) {
        case kMatrix: {
            // A lone matrix from float32 to integers has an AVX2 routine with
            // the clamps and the integer stores in registers.
            const PointwiseRun fused = runs_avx2(isa) ? matrix_store_avx2_routine(in, out) : nullptr;
            return fused != nullptr ? fused : pick<kMatrix>(in, out, isa);
        }
        case kMatrix | kOut: return pick<kMatrix | kOut>(in, out, isa);
        case kIn | kMatrix: return pick<kIn | kMatrix>(in, out, isa);
        case kIn | kMatrix | kFast: return pick<kIn | kMatrix | kFast>(in, out, isa);
        case kIn | kMatrix | kOut: return pick<kIn | kMatrix | kOut>(in, out, isa);
        case kIn | kMatrix | kOut | kFast: return pick<kIn | kMatrix | kOut | kFast>(in, out, isa);
        case kIn: {
            // The profile look's exposure ramp (float32 to float32) has an
            // AVX2 routine with the lookup in registers.
            const PointwiseRun fused = runs_avx2(isa) ? in_table_avx2_routine(in, out) : nullptr;
            return fused != nullptr ? fused : pick<kIn>(in, out, isa);
        }
        case kIn | kFast: return pick<kIn | kFast>(in, out, isa);
        case kOut: {
            // The lone output table of the development graph has hand-fused
            // AVX2 and AVX-512 routines: the interpolation and the stores run
            // in registers. Outputs the AVX-512 one lacks take the AVX2 one.
            PointwiseRun fused = isa == Isa::Avx512 ? out_table_avx512_routine(in, out) : nullptr;
            if (fused == nullptr && runs_avx2(isa)) fused = out_table_avx2_routine(in, out);
            return fused != nullptr ? fused : pick<kOut>(in, out, isa);
        }
        case kIn | kOut: return pick<kIn | kOut>(in, out, isa);
        case kIn | kOut | kFast: return pick<kIn | kOut | kFast>(in, out, isa);
        default: return nullptr;
    }
}

}  // namespace pyxa
