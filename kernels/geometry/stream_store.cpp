// Streamed row stores: plain stores up to the first 64-byte line of the
// destination, whole lines with non-temporal stores, plain stores for the tail.
#include "kernels/geometry/stream_store.hpp"
#include "core/isa.hpp"

#include <cstring>
#include <numeric>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PYXA_STREAM_STORES 1
#endif

namespace pyxa {
namespace {

constexpr uint64_t kLine = 64;

// Bytes from `p` to its next line boundary, at most n.
uint64_t to_line(const uint8_t* p, uint64_t n) {
    const uint64_t head = (kLine - reinterpret_cast<uintptr_t>(p) % kLine) % kLine;
    return head < n ? head : n;
}

// n bytes repeating the unit, by doubling the filled prefix.
void periodic_prefix(uint8_t* d, uint64_t n, const uint8_t* unit, uint64_t unit_len) {
    uint64_t done = unit_len < n ? unit_len : n;
    std::memcpy(d, unit, done);
    while (done < n) {
        const uint64_t k = done < n - done ? done : n - done;
        std::memcpy(d + done, d, k);
        done += k;
    }
}

#if defined(PYXA_STREAM_STORES)
// Line movers: `lines` lines to the line-aligned `d`, line k from s + off_k
// (any alignment), where off_0 = off and each next one is 64 bytes on,
// less `period` once it reaches it (a copy passes a period beyond its end).
void lines_sse2(uint8_t* d, const uint8_t* s, uint64_t lines, uint64_t off, uint64_t period) {
    for (uint64_t k = 0; k < lines; ++k, d += kLine) {
        for (uint64_t b = 0; b < kLine; b += 16)
            _mm_stream_si128(reinterpret_cast<__m128i*>(d + b),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + off + b)));
        off += kLine;
        off = off >= period ? off - period : off;
    }
}

PYXA_TARGET_AVX2 void lines_avx2(uint8_t* d, const uint8_t* s, uint64_t lines, uint64_t off,
                                               uint64_t period) {
    for (uint64_t k = 0; k < lines; ++k, d += kLine) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + off));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + off + 32));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(d), a);
        _mm256_stream_si256(reinterpret_cast<__m256i*>(d + 32), b);
        off += kLine;
        off = off >= period ? off - period : off;
    }
}

PYXA_TARGET_AVX512 void lines_avx512(uint8_t* d, const uint8_t* s, uint64_t lines, uint64_t off,
                                                    uint64_t period) {
    for (uint64_t k = 0; k < lines; ++k, d += kLine) {
        _mm512_stream_si512(reinterpret_cast<__m512i*>(d), _mm512_loadu_si512(s + off));
        off += kLine;
        off = off >= period ? off - period : off;
    }
}
#else
void lines_plain(uint8_t* d, const uint8_t* s, uint64_t lines, uint64_t off, uint64_t period) {
    for (uint64_t k = 0; k < lines; ++k, d += kLine) {
        std::memcpy(d, s + off, kLine);
        off += kLine;
        off = off >= period ? off - period : off;
    }
}
#endif

using LineMover = void (*)(uint8_t*, const uint8_t*, uint64_t, uint64_t, uint64_t);

template <LineMover Lines>
void copy_streamed(uint8_t* dst, const uint8_t* src, uint64_t n) {
    const uint64_t head = to_line(dst, n);
    std::memcpy(dst, src, head);
    const uint64_t lines = (n - head) / kLine;
    Lines(dst + head, src + head, lines, 0, UINT64_MAX);
    const uint64_t done = head + lines * kLine;
    std::memcpy(dst + done, src + done, n - done);
}

// Byte i of the row is byte i % period of the pattern; every read stays
// inside the pattern's period and the line after it.
template <LineMover Lines>
void repeat_streamed(uint8_t* dst, uint64_t n, const StreamPattern& pat) {
    const uint64_t period = pat.period;
    if (period == 0 || period + kLine > kStreamMaxPattern) return;
    const uint64_t head = to_line(dst, n);
    std::memcpy(dst, pat.bytes, head);  // head < 64 <= period
    const uint64_t lines = (n - head) / kLine;
    Lines(dst + head, pat.bytes, lines, head, period);
    const uint64_t done = head + lines * kLine;
    std::memcpy(dst + done, pat.bytes + done % period, n - done);
}

}  // namespace

void make_stream_pattern(const uint8_t* unit, uint64_t unit_len, StreamPattern* out) {
    out->period = 0;
    if (unit == nullptr || unit_len == 0 || unit_len > kStreamMaxUnit) return;
    out->period = std::lcm(kLine, unit_len);
    periodic_prefix(out->bytes, out->period + kLine, unit, unit_len);
}

StreamCopy stream_copy_for(Isa isa) {
#if defined(PYXA_STREAM_STORES)
    switch (isa) {
        case Isa::Avx512: return copy_streamed<lines_avx512>;
        case Isa::Avx2: return copy_streamed<lines_avx2>;
        default: return copy_streamed<lines_sse2>;
    }
#else
    (void)isa;
    return copy_streamed<lines_plain>;
#endif
}

StreamRepeat stream_repeat_for(Isa isa) {
#if defined(PYXA_STREAM_STORES)
    switch (isa) {
        case Isa::Avx512: return repeat_streamed<lines_avx512>;
        case Isa::Avx2: return repeat_streamed<lines_avx2>;
        default: return repeat_streamed<lines_sse2>;
    }
#else
    (void)isa;
    return repeat_streamed<lines_plain>;
#endif
}

void stream_copy(uint8_t* dst, const uint8_t* src, uint64_t n) {
    static const StreamCopy copy = stream_copy_for(best_isa());
    copy(dst, src, n);
}

void stream_repeat(uint8_t* dst, uint64_t n, const StreamPattern& pat) {
    static const StreamRepeat repeat = stream_repeat_for(best_isa());
    repeat(dst, n, pat);
}

void stream_fence() {
#if defined(PYXA_STREAM_STORES)
    _mm_sfence();
#endif
}

}  // namespace pyxa
