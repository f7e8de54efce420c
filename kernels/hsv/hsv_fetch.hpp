// Fetch stage of the hue/saturation(/value) block routines: the int16
// components of four-int16 map or table entries, spread into float planes.
#pragma once

#include <cstdint>

#include "kernels/isa.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
// The intrinsics start their results from deliberately undefined registers,
// which GCC 12 reports as maybe-uninitialized once they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace pyxa {

// For pixel j of a block, entry `base + offs[j] + shift` (offsets in int16,
// multiples of four). Component k of it goes to out[k * plane + j], for k below
// `comps` (3 or 4). The conversion int16 -> float is exact, so every copy stores
// the same floats; only the way they are fetched differs.
struct EntryFetch {
    const int16_t* base;
    const int64_t* offs;
    int64_t shift;
    int comps;
    float* out;
    uint64_t plane;
};

inline void fetch_entries_scalar(const EntryFetch& f, uint64_t j0, uint64_t bn) {
    for (uint64_t j = j0; j < bn; ++j) {
        const int16_t* e = f.base + f.offs[j] + f.shift;
        for (int k = 0; k < f.comps; ++k) f.out[static_cast<uint64_t>(k) * f.plane + j] = e[k];
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define PYXA_HSV_AVX512 "avx2,avx512f,avx512bw,avx512vl,avx512dq"

// Entry numbers (offset / 4) of 16 pixels as int32 lanes. Callers take this
// path only when every entry number of the map fits an int32.
__attribute__((target(PYXA_HSV_AVX512))) inline __m512i entry_numbers16(const EntryFetch& f,
                                                                                      uint64_t j) {
    const __m512i sh = _mm512_set1_epi64(f.shift);
    const __m512i lo = _mm512_srli_epi64(_mm512_add_epi64(_mm512_loadu_si512(f.offs + j), sh), 2);
    const __m512i hi = _mm512_srli_epi64(_mm512_add_epi64(_mm512_loadu_si512(f.offs + j + 8), sh), 2);
    return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi64_epi32(lo)), _mm512_cvtepi64_epi32(hi), 1);
}

// Low and high int16 halves of int32 lanes, as floats.
__attribute__((target(PYXA_HSV_AVX512))) inline void split16(__m512i x, float* lo, float* hi) {
    _mm512_storeu_ps(lo, _mm512_cvtepi32_ps(_mm512_srai_epi32(_mm512_slli_epi32(x, 16), 16)));
    _mm512_storeu_ps(hi, _mm512_cvtepi32_ps(_mm512_srai_epi32(x, 16)));
}

// Hardware gathers, 16 pixels at a time: components 0-1 of each entry are one
// int32, components 2-3 the next.
__attribute__((target(PYXA_HSV_AVX512))) inline void fetch_entries_avx512(const EntryFetch& f,
                                                                                        uint64_t bn) {
    uint64_t j = 0;
    for (; j + 16 <= bn; j += 16) {
        const __m512i idx = entry_numbers16(f, j);
        const __m512i c01 = _mm512_i32gather_epi32(idx, f.base, 8);
        const __m512i c23 = _mm512_i32gather_epi32(idx, f.base + 2, 8);
        split16(c01, f.out + j, f.out + f.plane + j);
        if (f.comps == 4) {
            split16(c23, f.out + 2 * f.plane + j, f.out + 3 * f.plane + j);
        } else {
            _mm512_storeu_ps(f.out + 2 * f.plane + j,
                             _mm512_cvtepi32_ps(_mm512_srai_epi32(_mm512_slli_epi32(c23, 16), 16)));
        }
    }
    fetch_entries_scalar(f, j, bn);
}

// The same with AVX2 gathers, 8 pixels at a time.
__attribute__((target("avx2"))) inline void split16_avx2(__m256i x, float* lo, float* hi) {
    _mm256_storeu_ps(lo, _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_slli_epi32(x, 16), 16)));
    if (hi) _mm256_storeu_ps(hi, _mm256_cvtepi32_ps(_mm256_srai_epi32(x, 16)));
}

__attribute__((target("avx2"))) inline void fetch_entries_avx2(const EntryFetch& f, uint64_t bn) {
    uint64_t j = 0;
    const __m256i sh = _mm256_set1_epi64x(f.shift);
    // Picks the low int32 of each int64 lane: lanes 0, 2, 4, 6.
    const __m256i pick = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    for (; j + 8 <= bn; j += 8) {
        const __m256i lo = _mm256_srli_epi64(
            _mm256_add_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(f.offs + j)), sh), 2);
        const __m256i hi = _mm256_srli_epi64(
            _mm256_add_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(f.offs + j + 4)), sh), 2);
        const __m256i idx = _mm256_permute2x128_si256(_mm256_permutevar8x32_epi32(lo, pick),
                                                      _mm256_permutevar8x32_epi32(hi, pick), 0x20);
        const __m256i c01 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(f.base), idx, 8);
        const __m256i c23 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(f.base + 2), idx, 8);
        split16_avx2(c01, f.out + j, f.out + f.plane + j);
        split16_avx2(c23, f.out + 2 * f.plane + j, f.comps == 4 ? f.out + 3 * f.plane + j : nullptr);
    }
    fetch_entries_scalar(f, j, bn);
}

// Sixteen-byte loads, one per pixel, of two neighbouring entries, transposed
// into component planes with word permutes: cheaper than gathers, which cost a
// load per lane. Word c of pixel p's load sits at p * 8 + c of a pair of
// registers holding 8 pixels.
struct PairPermutes {
    alignas(64) int16_t split_lo[32], split_hi[32], join01[32], join23[32];
    constexpr PairPermutes() : split_lo(), split_hi(), join01(), join23() {
        for (int c = 0; c < 4; ++c) {
            for (int p = 0; p < 8; ++p) {
                split_lo[c * 8 + p] = static_cast<int16_t>(p * 8 + c);      // words 0-3 of 8 pixels
                split_hi[c * 8 + p] = static_cast<int16_t>(p * 8 + c + 4);  // words 4-7
            }
        }
        for (int c = 0; c < 2; ++c) {
            for (int p = 0; p < 16; ++p) {  // pixels 0-7 from the first register, 8-15 from the second
                join01[c * 16 + p] = static_cast<int16_t>(p < 8 ? c * 8 + p : 32 + c * 8 + p - 8);
                join23[c * 16 + p] = static_cast<int16_t>(p < 8 ? (c + 2) * 8 + p : 32 + (c + 2) * 8 + p - 8);
            }
        }
    }
};
inline constexpr PairPermutes kPairPermutes{};

__attribute__((target(PYXA_HSV_AVX512))) inline __m512i four_loads(const EntryFetch& f, uint64_t j) {
    const auto at = [&](uint64_t k) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(f.base + f.offs[j + k] + f.shift));
    };
    __m512i z = _mm512_castsi128_si512(at(0));
    z = _mm512_inserti32x4(z, at(1), 1);
    z = _mm512_inserti32x4(z, at(2), 2);
    return _mm512_inserti32x4(z, at(3), 3);
}

// Two planes of 16 words (one register) as floats.
__attribute__((target(PYXA_HSV_AVX512))) inline void word_planes(__m512i w, float* a, float* b) {
    _mm512_storeu_ps(a, _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm512_castsi512_si256(w))));
    if (b) _mm512_storeu_ps(b, _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(w, 1))));
}

// Entry at shift to f.out's planes, the entry after it (four int16 on) to
// `second`'s planes (same plane stride and component count).
__attribute__((target(PYXA_HSV_AVX512))) inline void fetch_pairs_avx512(const EntryFetch& f, float* second,
                                                                       uint64_t bn) {
    const PairPermutes& k = kPairPermutes;
    const __m512i split_lo = _mm512_load_si512(k.split_lo), split_hi = _mm512_load_si512(k.split_hi);
    const __m512i join01 = _mm512_load_si512(k.join01), join23 = _mm512_load_si512(k.join23);
    const uint64_t pl = f.plane;
    uint64_t j = 0;
    for (; j + 16 <= bn; j += 16) {
        const __m512i z0 = four_loads(f, j), z1 = four_loads(f, j + 4);
        const __m512i z2 = four_loads(f, j + 8), z3 = four_loads(f, j + 12);
        const __m512i a_lo = _mm512_permutex2var_epi16(z0, split_lo, z1);
        const __m512i a_hi = _mm512_permutex2var_epi16(z0, split_hi, z1);
        const __m512i b_lo = _mm512_permutex2var_epi16(z2, split_lo, z3);
        const __m512i b_hi = _mm512_permutex2var_epi16(z2, split_hi, z3);
        float* o = f.out + j;
        float* s = second + j;
        word_planes(_mm512_permutex2var_epi16(a_lo, join01, b_lo), o, o + pl);
        word_planes(_mm512_permutex2var_epi16(a_lo, join23, b_lo), o + 2 * pl, f.comps == 4 ? o + 3 * pl : nullptr);
        word_planes(_mm512_permutex2var_epi16(a_hi, join01, b_hi), s, s + pl);
        word_planes(_mm512_permutex2var_epi16(a_hi, join23, b_hi), s + 2 * pl, f.comps == 4 ? s + 3 * pl : nullptr);
    }
    fetch_entries_scalar(f, j, bn);
    EntryFetch next = f;
    next.shift += 4;
    next.out = second;
    fetch_entries_scalar(next, j, bn);
}
#undef PYXA_HSV_AVX512
#endif

// The fetch of the copy for instruction set I; `wide` says every entry number
// of the map fits an int32 (otherwise the scalar fetch serves every copy).
template <Isa I>
inline void fetch_entries(const EntryFetch& f, uint64_t bn, bool wide) {
#if defined(__x86_64__) && defined(__GNUC__)
    if constexpr (I == Isa::Avx512) {
        if (wide) return fetch_entries_avx512(f, bn);
    } else if constexpr (I == Isa::Avx2) {
        if (wide) return fetch_entries_avx2(f, bn);
    }
#endif
    (void)wide;
    fetch_entries_scalar(f, 0, bn);
}


// Two neighbouring entries (at f.shift and four int16 on) into f.out's and
// `second`'s planes.
template <Isa I>
inline void fetch_pairs(const EntryFetch& f, float* second, uint64_t bn, bool wide) {
#if defined(__x86_64__) && defined(__GNUC__)
    if constexpr (I == Isa::Avx512) return fetch_pairs_avx512(f, second, bn);
#endif
    EntryFetch next = f;
    next.shift += 4;
    next.out = second;
    fetch_entries<I>(f, bn, wide);
    fetch_entries<I>(next, bn, wide);
}

}  // namespace pyxa
