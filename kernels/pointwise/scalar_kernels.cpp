// float32 arithmetic kernels: subtract or multiply by a scalar, and the two
// 3x3 colour matrices (plain and with a per-channel clip in front).
#include <cstdint>

#include "kernels/pointwise/element_io.hpp"
#include "kernels/pointwise/isa_dispatch.hpp"
#include "kernels/pointwise/matrix_avx2.hpp"
#include "kernels/pointwise/matrix_avx512.hpp"
#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"

namespace pyxa {
namespace {

struct Sub {
    static float apply(float x, float v) { return x - v; }
};
struct Mul {
    static float apply(float x, float v) { return x * v; }
};

// Blocks of 16 (4 x 4 lanes), then of 4, then single elements; every result
// equals that of the plain loop. Input and output never overlap: the chain
// runner copies the input rows of a call that writes over its own input
// before any kernel sees them.
template <typename Op>
void scalar_run(void* ctx, const PixelRun* in, const PixelRun* out) {
    const float v = static_cast<const ScalarParams*>(ctx)->value;
    const uint64_t n = in->len * in->channels;
    const float* __restrict s = static_cast<const float*>(in->data);
    float* __restrict d = static_cast<float*>(out->data);
    uint64_t i = 0;
    for (; i + 16 <= n; i += 16)
        for (int j = 0; j < 16; ++j) d[i + j] = Op::apply(s[i + j], v);
    for (; i + 4 <= n; i += 4)
        for (int j = 0; j < 4; ++j) d[i + j] = Op::apply(s[i + j], v);
    for (; i < n; ++i) d[i] = Op::apply(s[i], v);
}

inline float mix_row(const float* m, int k, float a, float b, float c) {
    return m[3 * k] * a + m[3 * k + 1] * b + m[3 * k + 2] * c;
}

// The matrix is copied into locals and the rows are disjoint, so the loops
// vectorise instead of reloading coefficients after every store. Pixels go in
// blocks: the products first, then the clamp over the block while it is still
// in the first-level cache.
template <typename Input>
void matrix_blocks(const float (&m)[9], const float* __restrict src, float* __restrict dst, uint64_t len,
                   Input input) {
    for (uint64_t i0 = 0; i0 < len; i0 += kStoreBlock) {
        const uint64_t n = len - i0 < kStoreBlock ? len - i0 : kStoreBlock;
        const float* s = src + 3 * i0;
        float* d = dst + 3 * i0;
        for (uint64_t i = 0; i < n; ++i) {
            const float r = input(0, s[3 * i]), g = input(1, s[3 * i + 1]), b = input(2, s[3 * i + 2]);
            for (int k = 0; k < 3; ++k) d[3 * i + k] = mix_row(m, k, r, g, b);
        }
        clamp01_block(d, 3 * n);
    }
}

void matrix_run(void* ctx, const PixelRun* in, const PixelRun* out) {
    float m[9];
    for (int k = 0; k < 9; ++k) m[k] = static_cast<const MatrixParams*>(ctx)->m[k];
    matrix_blocks(m, static_cast<const float*>(in->data), static_cast<float*>(out->data), in->len,
                  [](int, float x) { return x; });
}

// A NaN input takes the bound: the comparison fails.
inline float clip_to(float x, float bound) { return bound >= x ? x : bound; }

void clip_matrix_run(void* ctx, const PixelRun* in, const PixelRun* out) {
    const ClipMatrixParams& p = *static_cast<const ClipMatrixParams*>(ctx);
    float m[9];
    for (int k = 0; k < 9; ++k) m[k] = p.m[k];
    const float clip[3] = {p.clip_max[0], p.clip_max[1], p.clip_max[2]};
    matrix_blocks(m, static_cast<const float*>(in->data), static_cast<float*>(out->data), in->len,
                  [&clip](int c, float x) { return clip_to(x, clip[c]); });
}

}  // namespace

PointwiseRun sub_scalar_routine(Isa isa) { return routine_for<scalar_run<Sub>>(isa); }
PointwiseRun mul_scalar_routine(Isa isa) { return routine_for<scalar_run<Mul>>(isa); }
PointwiseRun matrix_3x3_routine(Isa isa) {
    // The AVX2 and AVX-512 routines keep the products and the clamp of each
    // pixel in registers, where the compiled copy makes separate passes for
    // the clamp and shuffles the channels far more.
    const PointwiseRun fused = isa == Isa::Avx512 ? matrix_3x3_avx512_routine()
                               : isa == Isa::Avx2 ? matrix_3x3_avx2_routine()
                                                  : nullptr;
    return fused != nullptr ? fused : routine_for<matrix_run>(isa);
}
PointwiseRun clip_and_transform_routine(Isa isa) {
    const PointwiseRun fused = runs_avx2(isa) ? clip_and_transform_avx2_routine() : nullptr;
    return fused != nullptr ? fused : routine_for<clip_matrix_run>(isa);
}

}  // namespace pyxa
