// float32 arithmetic kernels: subtract or multiply by a scalar, and the two
// 3x3 colour matrices (plain and with a per-channel clip in front).
#include <cstdint>

#include "kernels/pointwise/element_io.hpp"
#include "kernels/pointwise/isa_dispatch.hpp"
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

bool runs_overlap(const float* a, const float* b, uint64_t n) {
    const uintptr_t pa = reinterpret_cast<uintptr_t>(a);
    const uintptr_t pb = reinterpret_cast<uintptr_t>(b);
    const uintptr_t bytes = n * sizeof(float);
    return pa < pb + bytes && pb < pa + bytes;
}

// Blocks of 16 (4 x 4 lanes), then of 4, then single elements. Disjoint runs
// only: an overlapping run goes element by element in order, so every result
// equals that of the plain loop.
template <typename Op>
void scalar_run(void* ctx, const PixelRun* in, const PixelRun* out) {
    const float v = static_cast<const ScalarParams*>(ctx)->value;
    const uint64_t n = in->len * in->channels;
    const float* src = static_cast<const float*>(in->data);
    float* dst = static_cast<float*>(out->data);
    uint64_t i = 0;
    if (n >= 16 && !runs_overlap(src, dst, n)) {
        const float* __restrict s = src;
        float* __restrict d = dst;
        for (; i + 16 <= n; i += 16)
            for (int j = 0; j < 16; ++j) d[i + j] = Op::apply(s[i + j], v);
        for (; i + 4 <= n; i += 4)
            for (int j = 0; j < 4; ++j) d[i + j] = Op::apply(s[i + j], v);
    }
    for (; i < n; ++i) dst[i] = Op::apply(src[i], v);
}

inline float mix_row(const float* m, int k, float a, float b, float c) {
    return m[3 * k] * a + m[3 * k + 1] * b + m[3 * k + 2] * c;
}

// The matrix is copied into locals and the rows are disjoint, so the loop
// vectorises instead of reloading coefficients after every store.
void matrix_run(void* ctx, const PixelRun* in, const PixelRun* out) {
    float m[9];
    for (int k = 0; k < 9; ++k) m[k] = static_cast<const MatrixParams*>(ctx)->m[k];
    const float* __restrict src = static_cast<const float*>(in->data);
    float* __restrict dst = static_cast<float*>(out->data);
    for (uint64_t i = 0; i < in->len; ++i) {
        const float r = src[3 * i], g = src[3 * i + 1], b = src[3 * i + 2];
        for (int k = 0; k < 3; ++k) dst[3 * i + k] = clamp01(mix_row(m, k, r, g, b));
    }
}

// A NaN input takes the bound: the comparison fails.
inline float clip_to(float x, float bound) { return bound >= x ? x : bound; }

void clip_matrix_run(void* ctx, const PixelRun* in, const PixelRun* out) {
    const ClipMatrixParams& p = *static_cast<const ClipMatrixParams*>(ctx);
    float m[9];
    for (int k = 0; k < 9; ++k) m[k] = p.m[k];
    const float c0 = p.clip_max[0], c1 = p.clip_max[1], c2 = p.clip_max[2];
    const float* __restrict src = static_cast<const float*>(in->data);
    float* __restrict dst = static_cast<float*>(out->data);
    for (uint64_t i = 0; i < in->len; ++i) {
        const float r = clip_to(src[3 * i], c0);
        const float g = clip_to(src[3 * i + 1], c1);
        const float b = clip_to(src[3 * i + 2], c2);
        for (int k = 0; k < 3; ++k) dst[3 * i + k] = clamp01(mix_row(m, k, r, g, b));
    }
}

}  // namespace

PointwiseRun sub_scalar_routine(Isa isa) { return routine_for<scalar_run<Sub>>(isa); }
PointwiseRun mul_scalar_routine(Isa isa) { return routine_for<scalar_run<Mul>>(isa); }
PointwiseRun matrix_3x3_routine(Isa isa) { return routine_for<matrix_run>(isa); }
PointwiseRun clip_and_transform_routine(Isa isa) { return routine_for<clip_matrix_run>(isa); }

}  // namespace pyxa
