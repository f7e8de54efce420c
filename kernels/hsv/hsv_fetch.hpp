// Fetch stage of the hue/saturation(/value) block routines: the int16
// components of four-int16 map or table entries, spread into float planes.
#pragma once

#include <cstdint>

#include "core/isa.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
// The intrinsics start their results from deliberately undefined registers,
// which GCC 12 reports as maybe-uninitialized once they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace pyxa {

// For pixel j of a block, entry `base + offs[j] + shift` (offsets in int16).
// Component k of it goes to out[k * plane + j], for k below `comps` (3 or 4).
// The conversion int16 -> float is exact, so every copy stores the same
// floats; only the way they are fetched differs.
struct EntryFetch {
    const int16_t* base;
    const int64_t* offs;
    int64_t shift;
    int comps;
    float* out;
    uint64_t plane;
};

// Numbers of one cell record the direct routine reads (two levels x four
// corners x three components).
inline constexpr int kCellPlanes = 24;

inline void fetch_entries_scalar(const EntryFetch& f, uint64_t j0, uint64_t bn) {
    for (uint64_t j = j0; j < bn; ++j) {
        const int16_t* e = f.base + f.offs[j] + f.shift;
        for (int k = 0; k < f.comps; ++k) f.out[static_cast<uint64_t>(k) * f.plane + j] = e[k];
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// Sixteen-byte loads, one per pixel, of two neighbouring entries, transposed
// into component planes with word permutes: faster than hardware gathers, which
// cost a load per lane (measured up to twice as fast, and more with AVX2).
// Word c of pixel p's load sits at p * 8 + c of a pair of registers holding 8
// pixels.
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

PYXA_TARGET_AVX512 inline __m512i four_loads(const EntryFetch& f, uint64_t j) {
    const auto at = [&](uint64_t k) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(f.base + f.offs[j + k] + f.shift));
    };
    __m512i z = _mm512_castsi128_si512(at(0));
    z = _mm512_inserti32x4(z, at(1), 1);
    z = _mm512_inserti32x4(z, at(2), 2);
    return _mm512_inserti32x4(z, at(3), 3);
}

// Two planes of 16 words (one register) as floats.
PYXA_TARGET_AVX512 inline void word_planes(__m512i w, float* a, float* b) {
    _mm512_storeu_ps(a, _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm512_castsi512_si256(w))));
    if (b) _mm512_storeu_ps(b, _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(w, 1))));
}

// Entry at shift to f.out's planes, the entry after it (four int16 on) to
// `second`'s planes (same plane stride and component count).
PYXA_TARGET_AVX512 inline void fetch_pairs_avx512(const EntryFetch& f, float* second,
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

// The cell records of the direct routine with value divisions (see
// HueSatMapParams::cells): one 64-byte load per pixel brings its 24 corner
// numbers (2 levels x 4 corners x 3 components, word w = level * 12 + corner *
// 3 + component), and 16 pixels are transposed into 24 planes in four rounds
// of two-register word permutes; round r leaves 2^r pixels x 32 / 2^r words a
// register. Word 2t + u of pixel p ends at u * 16 + p of register t.
struct CellPermutes {
    alignas(64) int16_t r1[2][32], r2[3][32], r3[6][32], r4[12][32];
    constexpr CellPermutes() : r1(), r2(), r3(), r4() {
        for (int i = 0; i < 32; ++i) {
            for (int t = 0; t < 2; ++t) {  // words 16t.. of pixels 0-1: position 2 * word + pixel
                r1[t][i] = static_cast<int16_t>((i & 1) * 32 + 16 * t + (i >> 1));
            }
            for (int t = 0; t < 3; ++t) {  // words 8t.. of pixels 0-3 from two round-1 registers
                const int p = i & 3, w = 8 * t + (i >> 2);
                r2[t][i] = static_cast<int16_t>((p >> 1) * 32 + (w - 16 * (t >> 1)) * 2 + (p & 1));
            }
            for (int t = 0; t < 6; ++t) {  // words 4t.. of pixels 0-7
                const int p = i & 7, w = 4 * t + (i >> 3);
                r3[t][i] = static_cast<int16_t>((p >> 2) * 32 + (w - 8 * (t >> 1)) * 4 + (p & 3));
            }
            for (int t = 0; t < 12; ++t) {  // words 2t, 2t + 1 of pixels 0-15
                const int p = i & 15, w = 2 * t + (i >> 4);
                r4[t][i] = static_cast<int16_t>((p >> 3) * 32 + (w - 4 * (t >> 1)) * 8 + (p & 7));
            }
        }
    }
};
inline constexpr CellPermutes kCellPermutes{};

PYXA_TARGET_AVX512 inline __m512i pair_permute(__m512i a, const int16_t* idx, __m512i b) {
    return _mm512_permutex2var_epi16(a, _mm512_load_si512(idx), b);
}

// Cell record at cells + offs[j] (in int16) to planes out[w * plane + j].
PYXA_TARGET_AVX512 inline void fetch_cells_avx512(const int16_t* cells, const int64_t* offs,
                                                                       float* out, uint64_t plane, uint64_t bn) {
    const CellPermutes& k = kCellPermutes;
    uint64_t j = 0;
    for (; j + 16 <= bn; j += 16) {
        __m512i z[16], a1[8][2], a2[4][3], a3[2][6];
        for (int p = 0; p < 16; ++p) z[p] = _mm512_loadu_si512(cells + offs[j + p]);
        for (int g = 0; g < 8; ++g)
            for (int t = 0; t < 2; ++t) a1[g][t] = pair_permute(z[2 * g], k.r1[t], z[2 * g + 1]);
        for (int g = 0; g < 4; ++g)
            for (int t = 0; t < 3; ++t) a2[g][t] = pair_permute(a1[2 * g][t >> 1], k.r2[t], a1[2 * g + 1][t >> 1]);
        for (int g = 0; g < 2; ++g)
            for (int t = 0; t < 6; ++t) a3[g][t] = pair_permute(a2[2 * g][t >> 1], k.r3[t], a2[2 * g + 1][t >> 1]);
        for (int t = 0; t < 12; ++t) {
            float* o = out + static_cast<uint64_t>(2 * t) * plane + j;
            word_planes(pair_permute(a3[0][t >> 1], k.r4[t], a3[1][t >> 1]), o, o + plane);
        }
    }
    for (; j < bn; ++j) {
        const int16_t* e = cells + offs[j];
        for (int w = 0; w < kCellPlanes; ++w) out[static_cast<uint64_t>(w) * plane + j] = e[w];
    }
}

// The same with AVX2: two pixels a register (one a lane), transposed with the
// in-lane word and dword unpacks; each result holds two words of 4 + 4 pixels.
PYXA_TARGET_AVX2 inline void word_planes_avx2(__m256i u, float* a, float* b) {
    const __m256i v = _mm256_permute4x64_epi64(u, 0xD8);  // pixels 0-7 of the first word, then of the second
    _mm256_storeu_ps(a, _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm256_castsi256_si128(v))));
    if (b) _mm256_storeu_ps(b, _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm256_extracti128_si256(v, 1))));
}

// Pixel j in the low lane, pixel j + 4 in the high lane.
PYXA_TARGET_AVX2 inline __m256i two_loads(const EntryFetch& f, uint64_t j) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f.base + f.offs[j] + f.shift));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f.base + f.offs[j + 4] + f.shift));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

PYXA_TARGET_AVX2 inline void fetch_pairs_avx2(const EntryFetch& f, float* second, uint64_t bn) {
    const uint64_t pl = f.plane;
    uint64_t j = 0;
    for (; j + 8 <= bn; j += 8) {
        const __m256i y0 = two_loads(f, j), y1 = two_loads(f, j + 1);
        const __m256i y2 = two_loads(f, j + 2), y3 = two_loads(f, j + 3);
        const __m256i t0 = _mm256_unpacklo_epi16(y0, y1), t1 = _mm256_unpackhi_epi16(y0, y1);
        const __m256i t2 = _mm256_unpacklo_epi16(y2, y3), t3 = _mm256_unpackhi_epi16(y2, y3);
        float* o = f.out + j;
        float* s = second + j;
        word_planes_avx2(_mm256_unpacklo_epi32(t0, t2), o, o + pl);
        word_planes_avx2(_mm256_unpackhi_epi32(t0, t2), o + 2 * pl, f.comps == 4 ? o + 3 * pl : nullptr);
        word_planes_avx2(_mm256_unpacklo_epi32(t1, t3), s, s + pl);
        word_planes_avx2(_mm256_unpackhi_epi32(t1, t3), s + 2 * pl, f.comps == 4 ? s + 3 * pl : nullptr);
    }
    fetch_entries_scalar(f, j, bn);
    EntryFetch next = f;
    next.shift += 4;
    next.out = second;
    fetch_entries_scalar(next, j, bn);
}
#endif

// Two neighbouring entries (at f.shift and four int16 on) into f.out's and
// `second`'s planes.
template <Isa I>
inline void fetch_pairs(const EntryFetch& f, float* second, uint64_t bn) {
#if defined(__x86_64__) && defined(__GNUC__)
    if constexpr (I == Isa::Avx512) return fetch_pairs_avx512(f, second, bn);
    if constexpr (I == Isa::Avx2) return fetch_pairs_avx2(f, second, bn);
#endif
    EntryFetch next = f;
    next.shift += 4;
    next.out = second;
    fetch_entries_scalar(f, 0, bn);
    fetch_entries_scalar(next, 0, bn);
}

// Cell records into 24 planes (only the AVX-512 copy reads them).
template <Isa I>
inline void fetch_cells(const int16_t* cells, const int64_t* offs, float* out, uint64_t plane, uint64_t bn) {
#if defined(__x86_64__) && defined(__GNUC__)
    if constexpr (I == Isa::Avx512) return fetch_cells_avx512(cells, offs, out, plane, bn);
#endif
    for (uint64_t j = 0; j < bn; ++j) {
        const int16_t* e = cells + offs[j];
        for (int w = 0; w < kCellPlanes; ++w) out[static_cast<uint64_t>(w) * plane + j] = e[w];
    }
}

}  // namespace pyxa
