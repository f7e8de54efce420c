// Colour transform: optional input table, optional 3x3 matrix and optional
// output table on three-channel pixels. One template, instantiated per type
// pair for each shape that has a routine.
#include "kernels/pointwise/element_io.hpp"
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

    template <typename In>
    static float first_stage(const TransformColorParams& p, In x) {
        if constexpr (fast) return p.in_table.entries[x];
        else if constexpr (in_table)
            return table_lookup(p.in_table.data(), p.in_table.last, p.in_pos_scale * static_cast<float>(x));
        // The input scale was folded into the matrix at resolution.
        else if constexpr (matrix && out_table) return static_cast<float>(x);
        // A lone output table reads input values directly.
        else if constexpr (out_table)
            return table_lookup(p.out_table.data(), p.out_table.last, p.out_pos_scale * static_cast<float>(x));
        else return p.in_scale * static_cast<float>(x);
    }

    static float last_stage(const TransformColorParams& p, float z) {
        if constexpr (matrix && out_table) return p.out_scale * table_lookup(p.out_table.data(), p.out_table.last, z);
        // Both tables without a matrix: the output table follows the input table.
        else if constexpr (in_table && out_table)
            return p.out_scale * clamp01(table_lookup(p.out_table.data(), p.out_table.last, p.chain_pos_scale * z));
        else return p.out_scale * clamp01(z);
    }

    template <typename In, typename Out>
    struct K {
        static void run(void* ctx, const PixelRun* in, const PixelRun* out) {
            const TransformColorParams& p = *static_cast<const TransformColorParams*>(ctx);
            const In* __restrict src = static_cast<const In*>(in->data);
            Out* __restrict dst = static_cast<Out*>(out->data);
            const float* m = p.m;
            for (uint64_t i = 0; i < in->len; ++i) {
                float y[3];
                for (int c = 0; c < 3; ++c) y[c] = first_stage(p, src[3 * i + c]);
                for (int k = 0; k < 3; ++k) {
                    float z = y[k];
                    if constexpr (matrix) z = m[3 * k] * y[0] + m[3 * k + 1] * y[1] + m[3 * k + 2] * y[2];
                    dst[3 * i + k] = store_element<Out>(last_stage(p, z));
                }
            }
        }
    };
};

template <int Shape>
PointwiseRun pick(int32_t in, int32_t out) {
    using T = Transform<Shape>;
    if constexpr (T::fast) {
        // The byte-indexed path exists for uint8 input only.
        constexpr PointwiseRun row[3] = {T::template K<uint8_t, uint8_t>::run,
                                         T::template K<uint8_t, uint16_t>::run,
                                         T::template K<uint8_t, float>::run};
        const int o = pointwise_type_index(out);
        return (in != UINT8 || o < 0) ? nullptr : row[o];
    } else {
        return pick_type_pair(kTypePairs<T::template K>, in, out);
    }
}

}  // namespace

// Shapes with a routine; every other one (and fast without uint8 input) has none.
PointwiseRun transform_color_routine(int32_t in, int32_t out, TransformShape s) {
    const int shape =
        (s.in_table ? kIn : 0) | (s.matrix ? kMatrix : 0) | (s.out_table ? kOut : 0) | (s.fast ? kFast : 0);
    switch (shape) {
        case kMatrix: return pick<kMatrix>(in, out);
        case kMatrix | kOut: return pick<kMatrix | kOut>(in, out);
        case kIn | kMatrix: return pick<kIn | kMatrix>(in, out);
        case kIn | kMatrix | kFast: return pick<kIn | kMatrix | kFast>(in, out);
        case kIn | kMatrix | kOut: return pick<kIn | kMatrix | kOut>(in, out);
        case kIn | kMatrix | kOut | kFast: return pick<kIn | kMatrix | kOut | kFast>(in, out);
        case kIn: return pick<kIn>(in, out);
        case kIn | kFast: return pick<kIn | kFast>(in, out);
        case kOut: return pick<kOut>(in, out);
        case kIn | kOut: return pick<kIn | kOut>(in, out);
        case kIn | kOut | kFast: return pick<kIn | kOut | kFast>(in, out);
        default: return nullptr;
    }
}

}  // namespace pyxa
