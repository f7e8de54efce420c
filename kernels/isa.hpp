// Hot routines also exist as copies compiled for AVX2; a step takes the copy
// once, at resolution, when the processor offers it. The arithmetic is the same
// (no fused multiply-adds are formed), only the lanes are twice as wide, so both
// copies give identical results.
#pragma once

#include <cstdint>

namespace pyxa {

enum class Isa : uint8_t { Baseline, Avx2 };

template <auto F>
struct Avx2Copy;

#if defined(__x86_64__) && defined(__GNUC__)
inline Isa best_isa() {
    static const Isa isa = __builtin_cpu_supports("avx2") ? Isa::Avx2 : Isa::Baseline;
    return isa;
}

// `flatten` inlines the whole routine here, so its loops are compiled for AVX2.
template <typename R, typename... A, R (*F)(A...)>
struct Avx2Copy<F> {
    __attribute__((target("avx2"), flatten)) static R run(A... args) { return F(args...); }
};

// The copy of routine F for an instruction set.
template <auto F>
decltype(F) routine_for(Isa isa) {
    return isa == Isa::Avx2 ? &Avx2Copy<F>::run : F;
}
#else
inline Isa best_isa() { return Isa::Baseline; }

template <auto F>
decltype(F) routine_for(Isa) {
    return F;
}
#endif

}  // namespace pyxa
