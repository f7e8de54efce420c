// The two passes of the rectilinear warp over a chunk of one row: the map
// (source coordinates in double) and the bilinear or bicubic sampling, each a
// plain loop with copies for AVX2 and AVX-512 that give the same bytes.
#pragma once

#include <cstdint>

#include "core/isa.hpp"

namespace tarnimg {

// Rows are resampled in chunks of this many pixels, so the coordinate and
// value buffers of a chunk stay in the first-level cache.
inline constexpr int64_t kWarpChunk = 256;

// What the map of one plane needs on one row.
struct RowMap {
    const double* c;  // the plane's radial coefficients
    double p0, p1;    // its tangential coefficients (read when the map has them)
    double cx, cy, radius;
    double dy, dy2, offset_y;  // dy2 = 2 dy dy, as the tangential term forms it
    double hi_x, hi_y;         // the last column and row, as doubles
};

// A source coordinate clamped into [0, hi]; NaN becomes 0.
inline double clamp_coord(double v, double hi) {
    v = v < hi ? v : hi;
    return v > 0.0 ? v : 0.0;
}

// Source coordinates of n pixels of a row, clamped into the image: offset and
// d hold each column's x - cx and (x - cx) / radius.
using WarpMap = void (*)(const RowMap& m, const double* offset, const double* d, int64_t n, double* xs,
                         double* ys);

// Plane samples of the input, addressed by float index (row strides are whole
// floats): base points at the plane's first sample.
struct WarpSource {
    const float* base;
    int64_t row_floats, channels;
    int64_t width, height;
};

// The samples at n clamped coordinates, written packed to values.
using WarpSample = void (*)(const WarpSource& src, const float* table, const double* xs, const double* ys,
                            int64_t n, float* values);

// The map for a count of radial coefficients (1 to 4 count; more are ignored)
// and with or without tangential terms.
WarpMap warp_map_for(pyxa::Isa isa, int32_t num_coeffs, bool tangential);

// The sampling; `narrow` when every float index of the input fits in 32 bits,
// which lets the vector copies gather.
WarpSample warp_sample_for(pyxa::Isa isa, bool bicubic, bool narrow);

// Three interleaved planes that share one map, sampled together at the same
// coordinates: src.base points at plane 0 and the three values of each pixel
// go to row[3 i], row[3 i + 1], row[3 i + 2], the bytes the per-plane sampling
// gives. Null for copies without such a routine (the caller then samples the
// planes one by one).
using WarpSampleRgb = void (*)(const WarpSource& src, const float* table, const double* xs, const double* ys,
                               int64_t n, float* row);
WarpSampleRgb warp_sample_rgb_for(pyxa::Isa isa, bool bicubic, bool narrow);

}  // namespace tarnimg
