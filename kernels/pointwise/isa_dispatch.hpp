// Each pointwise routine also exists as a copy compiled for AVX2; the step
// takes that copy once, at resolution, when the processor offers it. The
// arithmetic is the same (no fused multiply-adds are formed), only the lanes
// are twice as wide, so both copies give identical results.
#pragma once

#include "kernels/prepare/kernel_step.hpp"

namespace pyxa {

enum class Isa : uint8_t { Baseline, Avx2 };

#if defined(__x86_64__) && defined(__GNUC__)
inline Isa best_isa() {
    static const Isa isa = __builtin_cpu_supports("avx2") ? Isa::Avx2 : Isa::Baseline;
    return isa;
}

// `flatten` inlines the whole routine here, so its loops are compiled for AVX2.
template <PointwiseRun F>
__attribute__((target("avx2"), flatten)) void avx2_copy(void* ctx, const PixelRun* in, const PixelRun* out) {
    F(ctx, in, out);
}

template <PointwiseRun F>
PointwiseRun routine_for(Isa isa) {
    return isa == Isa::Avx2 ? avx2_copy<F> : F;
}
#else
inline Isa best_isa() { return Isa::Baseline; }

template <PointwiseRun F>
PointwiseRun routine_for(Isa) {
    return F;
}
#endif

// Picks the copy of one routine for an instruction set; tables of these stand
// for routines.
using RoutinePick = PointwiseRun (*)(Isa);

}  // namespace pyxa
