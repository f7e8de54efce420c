// Hot routines also exist as copies compiled for AVX2 and for AVX-512; a step
// takes the widest copy the processor offers, once, at resolution, except
// where a routine written with AVX2 intrinsics beats the compiled AVX-512
// copy (runs_avx2 below). The
// arithmetic is the same in every copy (no fused multiply-adds are formed:
// the build keeps -ffp-contract=off, and no copy reassociates), only the lanes
// are wider, so all copies give identical results.
//
// The target attributes below are the only place an instruction set's
// features are written; routines written with intrinsics take them too.
//
// A copy is made by `routine_for<F>`, and it must be taken in the file that
// defines F: `flatten` can only inline a body the compiler sees, so a copy
// taken elsewhere would silently run F's baseline code.
// The CTest isa_copies_compiled_for_their_target reads the built module's
// code and fails on a copy without the vector registers of its instruction set.
#pragma once

#include <cstdint>

namespace pyxa {

enum class Isa : uint8_t { Baseline, Avx2, Avx512 };

// Every copy a processor may be handed, narrowest first (tests compare them all).
inline constexpr Isa kAllIsas[] = {Isa::Baseline, Isa::Avx2, Isa::Avx512};

template <auto F>
struct Avx2Copy;
template <auto F>
struct Avx512Copy;

#if defined(__x86_64__) && defined(__GNUC__)
#define PYXA_TARGET_AVX2 __attribute__((target("avx2")))
#define PYXA_TARGET_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512dq")))
// For compiled copies: the loops the compiler vectorises itself use 512-bit
// vectors rather than its default 256-bit ones.
#define PYXA_TARGET_AVX512_WIDE \
    __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512dq,prefer-vector-width=512")))

inline bool isa_supported(Isa isa) {
    switch (isa) {
        case Isa::Avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                   __builtin_cpu_supports("avx2");
        case Isa::Avx2: return __builtin_cpu_supports("avx2");
        default: return true;
    }
}

inline Isa best_isa() {
    static const Isa isa = isa_supported(Isa::Avx512) ? Isa::Avx512
                           : isa_supported(Isa::Avx2) ? Isa::Avx2
                                                      : Isa::Baseline;
    return isa;
}

// `flatten` inlines the whole routine here, so its loops are compiled for AVX2.
template <typename R, typename... A, R (*F)(A...)>
struct Avx2Copy<F> {
    PYXA_TARGET_AVX2 __attribute__((flatten)) static R run(A... args) { return F(args...); }
};

// The same with 512-bit vectors (and AVX-512's masks for loop tails).
template <typename R, typename... A, R (*F)(A...)>
struct Avx512Copy<F> {
    PYXA_TARGET_AVX512_WIDE __attribute__((flatten)) static R run(A... args) { return F(args...); }
};

// Whether a routine written with AVX2 intrinsics may run: on AVX2 processors
// and on AVX-512 ones, which take it in place of the compiled AVX-512 copy
// where no AVX-512 routine is written by hand. The compiled copies shuffle
// through memory where the written ones work in registers, and on Zen 4,
// which runs a 512-bit operation as two 256-bit halves, the AVX2 routines
// measured 0.65-0.86x the compiled AVX-512 copies' time.
inline bool runs_avx2(Isa isa) { return isa == Isa::Avx2 || isa == Isa::Avx512; }

// The copy of routine F for an instruction set.
template <auto F>
decltype(F) routine_for(Isa isa) {
    switch (isa) {
        case Isa::Avx512: return &Avx512Copy<F>::run;
        case Isa::Avx2: return &Avx2Copy<F>::run;
        default: return F;
    }
}
#else
inline bool isa_supported(Isa isa) { return isa == Isa::Baseline; }

inline Isa best_isa() { return Isa::Baseline; }

inline bool runs_avx2(Isa) { return false; }

template <auto F>
decltype(F) routine_for(Isa) {
    return F;
}
#endif

}  // namespace pyxa
