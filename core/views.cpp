// Border rules and constant encoding.
#include "core/views.hpp"

#include <cmath>
#include <cstring>

namespace pyxa {
namespace {

// Non-negative remainder of a - b modulo m, in 128 bits so that neither the
// subtraction nor the period of a very wide extent can overflow. A coordinate
// within one period of the extent's start, as every border narrower than the
// image is, needs no division: a 128-bit one is a library call, which took
// most of the time of mirroring a pad's border columns.
__int128 wrap(int64_t a, int64_t b, __int128 m) {
    const __int128 d = static_cast<__int128>(a) - b;
    if (d >= 0 && d < m) return d;
    if (d < 0 && d >= -m) return d + m;
    __int128 k = d % m;
    if (k < 0) k += m;
    return k;
}

bool all_zero(const uint8_t* p, uint64_t n) {
    for (uint64_t i = 0; i < n; ++i)
        if (p[i] != 0) return false;
    return true;
}

// Whole units of the pattern, then zeros for a tail too short for one. The
// filled prefix is copied onto what follows it, doubling until it spans a few
// kilobytes and then in blocks of that size, so the fill runs at memory speed
// instead of one tiny copy per pixel.
void repeat(uint8_t* region, uint64_t region_len, const uint8_t* unit, uint64_t unit_len) {
    constexpr uint64_t kBlockBytes = 16 * 1024;
    const uint64_t cap = unit_len < kBlockBytes ? kBlockBytes - kBlockBytes % unit_len : unit_len;
    const uint64_t whole = region_len - region_len % unit_len;
    uint64_t done = 0;
    if (whole > 0) {
        std::memcpy(region, unit, unit_len);
        done = unit_len;
    }
    while (done < whole) {
        const uint64_t block = done < cap ? done : cap;  // whole units, the source stays in cache
        const uint64_t n = block < whole - done ? block : whole - done;
        std::memcpy(region + done, region, n);  // the prefix repeats with the unit's period
        done += n;
    }
    if (done < region_len) std::memset(region + done, 0, region_len - done);
}

}  // namespace

std::optional<int64_t> map_coordinate(PadMode mode, int64_t a, int64_t b, int64_t c) {
    // Every result lies in [b, c), so it fits 64 bits once computed in 128.
    const __int128 n = static_cast<__int128>(c) - b;
    switch (mode) {
        case PadMode::Reflect: {
            if (n <= 1) return b;
            const __int128 k = wrap(a, b, 2 * n - 2);
            return static_cast<int64_t>(k < n ? b + k : b + 2 * n - 2 - k);
        }
        case PadMode::Symmetric: {
            if (n < 2) return b;
            const __int128 k = wrap(a, b, 2 * n);
            return static_cast<int64_t>(k < n ? b + k : b + 2 * n - 1 - k);
        }
        case PadMode::Edge:
            if (n <= 1 || a < b) return b;
            if (a >= c) return c - 1;
            return a;
        case PadMode::Constant:
        default:
            return std::nullopt;
    }
}

void fill_with_pattern(uint8_t* region, uint64_t region_len, const uint8_t* pattern,
                       uint64_t pattern_len, uint64_t pixel_size, uint64_t element_size) {
    if (region_len == 0) return;
    if (pattern_len == 0 || pattern == nullptr || all_zero(pattern, pattern_len)) {
        std::memset(region, 0, region_len);
    } else if (pattern_len == pixel_size || pattern_len == element_size) {
        repeat(region, region_len, pattern, pattern_len);
    } else {
        std::memset(region, 0, region_len);
    }
}

Status encode_value(int64_t dtype, float v, uint8_t out[4], uint64_t* len) {
    // Halves round away from zero; the clamp happens in float so NaN and huge
    // values never reach an out-of-range integer conversion.
    auto clamp_round = [](float x, float hi) -> float {
        if (std::isnan(x)) return 0.0f;
        const float r = std::round(x);
        return r < 0.0f ? 0.0f : (r > hi ? hi : r);
    };
    switch (dtype) {
        case UINT8: {
            out[0] = static_cast<uint8_t>(clamp_round(v, 255.0f));
            *len = 1;
            return OK;
        }
        case UINT16: {
            const uint16_t e = static_cast<uint16_t>(clamp_round(v, 65535.0f));
            std::memcpy(out, &e, 2);
            *len = 2;
            return OK;
        }
        case FLOAT32:
            std::memcpy(out, &v, 4);
            *len = 4;
            return OK;
        default:
            return UNSUPPORTED_DTYPE;
    }
}

}  // namespace pyxa
