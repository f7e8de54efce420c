// AVX2 conversions between eight interleaved RGB pixels (three vectors of
// floats) and their three channel planes: shuffles only, so every copy of a
// value is bit-exact.
#pragma once

#include "core/isa.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PYXA_RGB_AVX2 1

namespace pyxa {

struct Planes8 {
    __m256 r, g, b;
};

// Lanes: the first 128 bits of each plane hold pixels 0-3, the second pixels
// 4-7, so the in-lane shuffles of the four-pixel transpose do the work and
// three lane swaps line the halves up.
PYXA_TARGET_AVX2 inline Planes8 split_rgb8(const float* s) {
    const __m256 a = _mm256_loadu_ps(s), b = _mm256_loadu_ps(s + 8), c = _mm256_loadu_ps(s + 16);
    const __m256 p0 = _mm256_permute2f128_ps(a, b, 0x30);  // r0 g0 b0 r1 | r4 g4 b4 r5
    const __m256 p1 = _mm256_permute2f128_ps(a, c, 0x21);  // g1 b1 r2 g2 | g5 b5 r6 g6
    const __m256 p2 = _mm256_permute2f128_ps(b, c, 0x30);  // b2 r3 g3 b3 | b6 r7 g7 b7
    const __m256 xy = _mm256_shuffle_ps(p1, p2, _MM_SHUFFLE(2, 1, 3, 2));  // r2 g2 r3 g3
    const __m256 yz = _mm256_shuffle_ps(p0, p1, _MM_SHUFFLE(1, 0, 2, 1));  // g0 b0 g1 b1
    return Planes8{_mm256_shuffle_ps(p0, xy, _MM_SHUFFLE(2, 0, 3, 0)),
                   _mm256_shuffle_ps(yz, xy, _MM_SHUFFLE(3, 1, 2, 0)),
                   _mm256_shuffle_ps(yz, p2, _MM_SHUFFLE(3, 0, 3, 1))};
}

// The way back: eight pixels interleaved into three vectors (24 floats).
PYXA_TARGET_AVX2 inline void join_rgb8(const Planes8& q, __m256 out[3]) {
    const __m256 rg = _mm256_shuffle_ps(q.r, q.g, _MM_SHUFFLE(2, 0, 2, 0));  // r0 r2 g0 g2
    const __m256 gb = _mm256_shuffle_ps(q.g, q.b, _MM_SHUFFLE(3, 1, 3, 1));  // g1 g3 b1 b3
    const __m256 br = _mm256_shuffle_ps(q.b, q.r, _MM_SHUFFLE(3, 1, 2, 0));  // b0 b2 r1 r3
    const __m256 a = _mm256_shuffle_ps(rg, br, _MM_SHUFFLE(2, 0, 2, 0));     // r0 g0 b0 r1
    const __m256 b = _mm256_shuffle_ps(gb, rg, _MM_SHUFFLE(3, 1, 2, 0));     // g1 b1 r2 g2
    const __m256 c = _mm256_shuffle_ps(br, gb, _MM_SHUFFLE(3, 1, 3, 1));     // b2 r3 g3 b3
    out[0] = _mm256_permute2f128_ps(a, b, 0x20);
    out[1] = _mm256_permute2f128_ps(c, a, 0x30);
    out[2] = _mm256_permute2f128_ps(b, c, 0x31);
}

// The same, stored into d.
PYXA_TARGET_AVX2 inline void join_rgb8(const Planes8& q, float* d) {
    __m256 v[3];
    join_rgb8(q, v);
    _mm256_storeu_ps(d, v[0]);
    _mm256_storeu_ps(d + 8, v[1]);
    _mm256_storeu_ps(d + 16, v[2]);
}

}  // namespace pyxa
#endif
