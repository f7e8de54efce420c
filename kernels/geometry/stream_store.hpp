// Row stores that bypass the caches, for outputs far larger than them: a line
// stored this way is never first read from memory, which saves the fill half
// and a row copy a third of its memory traffic.
#pragma once

#include <cstdint>

#include "core/isa.hpp"

namespace pyxa {

// Output size from which a lone fill or row copy streams its stores. Smaller
// outputs may still be in the cache when the next step reads them.
inline constexpr uint64_t kStreamMinBytes = uint64_t{16} << 20;

// The largest unit a streamed repeat takes, and the most bytes its pattern
// (one period seen from a line boundary, plus one line) holds.
inline constexpr uint64_t kStreamMaxUnit = 64;
inline constexpr uint64_t kStreamMaxPattern = 64 * kStreamMaxUnit + 64;

// A unit repeated over one period (the least multiple of 64 bytes that is
// whole units) and one line more, so that any 64 bytes starting inside the
// period can be read at once. Made once per step; `period` is 0 when the
// unit is empty or longer than kStreamMaxUnit.
struct StreamPattern {
    uint64_t period = 0;
    uint8_t bytes[kStreamMaxPattern] = {};
};
void make_stream_pattern(const uint8_t* unit, uint64_t unit_len, StreamPattern* out);

// memcpy of n bytes (the ranges must not overlap), streamed.
using StreamCopy = void (*)(uint8_t* dst, const uint8_t* src, uint64_t n);
// Writes n bytes of the pattern from its start (so a partial unit last),
// streamed. `pat.period` must not be 0.
using StreamRepeat = void (*)(uint8_t* dst, uint64_t n, const StreamPattern& pat);

// The copies for an instruction set: 16-byte streamed stores in the
// baseline, 32 with AVX2, one 64-byte store per line with AVX-512. All write
// the same bytes.
StreamCopy stream_copy_for(Isa isa);
StreamRepeat stream_repeat_for(Isa isa);

// The widest copies this processor runs, chosen once.
void stream_copy(uint8_t* dst, const uint8_t* src, uint64_t n);
void stream_repeat(uint8_t* dst, uint64_t n, const StreamPattern& pat);

// Streamed stores are weakly ordered: this thread reads them back in order,
// but other threads see them only after this fence, which a job calls once
// after its last streamed row (a fence per row stalls on every row's stores).
void stream_fence();

}  // namespace pyxa
