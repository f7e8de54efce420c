// Mirrored row copies: whole pixels are moved by a 16-byte byte shuffle, so a
// flip reads and writes its rows in vector-wide pieces instead of pixel by pixel.
#include "kernels/orientation/reverse_row.hpp"

#include <array>
#include <cstring>

#include "core/isa.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <tmmintrin.h>
#define PYXA_REVERSE_SHUFFLE 1
#endif

namespace pyxa {
namespace {

template <uint64_t PX>
void reverse_tail(uint8_t* __restrict d, const uint8_t* __restrict s, uint64_t i, uint64_t n) {
    for (; i < n; ++i) std::memcpy(d + i * PX, s - static_cast<int64_t>(i * PX), PX);
}

template <uint64_t PX>
void reverse_plain(uint8_t* __restrict d, const uint8_t* __restrict s, uint64_t n) {
    reverse_tail<PX>(d, s, 0, n);
}

#if defined(PYXA_REVERSE_SHUFFLE)
// One step handles G = 16 / PX pixels. The 16 source bytes loaded end at the
// last byte of the step's first pixel, so the E = 16 - G * PX spare bytes lie
// below its last pixel (pixels of later steps); the 16 bytes stored start at
// the step's first output pixel, so the spare bytes land on pixels a later
// step or the tail writes again. Both stay inside the row while
// i * PX + 16 <= n * PX.
template <uint64_t PX>
struct Shuffle {
    static constexpr uint64_t G = 16 / PX;
    static constexpr uint64_t E = 16 - G * PX;

    static std::array<char, 16> mask() {
        std::array<char, 16> m{};
        for (uint64_t j = 0; j < G * PX; ++j) m[j] = static_cast<char>((G - 1 - j / PX) * PX + j % PX + E);
        return m;
    }
};

// Only SSSE3's byte shuffle is needed; the routine is taken with the AVX2
// level, which includes it, so the processor check is the shared one.
template <uint64_t PX>
PYXA_TARGET_AVX2 void reverse_shuffled(uint8_t* __restrict d, const uint8_t* __restrict s, uint64_t n) {
    using S = Shuffle<PX>;
    static const std::array<char, 16> m = S::mask();
    const __m128i order = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m.data()));
    uint64_t i = 0;
    if (n * PX >= 16) {
        const uint64_t last = n * PX - 16;  // highest first byte a step may store at
        for (; i * PX <= last; i += S::G) {
            const uint8_t* from = s - static_cast<int64_t>((i + S::G - 1) * PX + S::E);
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * PX), _mm_shuffle_epi8(v, order));
        }
    }
    reverse_tail<PX>(d, s, i, n);
}

template <uint64_t PX>
ReverseRow pick() {
    return isa_supported(Isa::Avx2) ? reverse_shuffled<PX> : reverse_plain<PX>;
}
#else
template <uint64_t PX>
ReverseRow pick() {
    return reverse_plain<PX>;
}
#endif

}  // namespace

ReverseRow reverse_row_for(uint64_t px) {
    switch (px) {
        case 1: return pick<1>();
        case 2: return pick<2>();
        case 3: return pick<3>();
        case 4: return pick<4>();
        case 6: return pick<6>();
        case 8: return pick<8>();
        case 12: return pick<12>();
        case 16: return pick<16>();
        default: return nullptr;
    }
}

}  // namespace pyxa
