// Green plane of the full edge-aware demosaic and its three-row ring cache.
#include "kernels/demosaic/green_cache.hpp"

#include <cmath>

namespace pyxa {
namespace {

// The C library's fminf and fmaxf, written as selects so the loop vectorises:
// a NaN operand yields the other one, and between equal values (-0 and +0)
// the second operand is kept, as the library's min/max instructions do.
inline float lib_fmin(float x, float y) { return (x < y || y != y) ? x : y; }
inline float lib_fmax(float x, float y) { return (x > y || y != y) ? x : y; }

// Green at a red or blue site: the estimate along the direction of the
// smaller gradient, each estimate kept between its two green neighbours.
inline float directional_green(float c, float l, float r, float ll, float rr, float u, float d, float uu,
                               float dd) {
    const float lap_h = 2.0f * c - ll - rr, lap_v = 2.0f * c - uu - dd;
    float gh = (l + r) * 0.5f + lap_h * 0.25f;
    float gv = (u + d) * 0.5f + lap_v * 0.25f;
    const float h_lo = lib_fmin(l, r), h_hi = lib_fmax(l, r), v_lo = lib_fmin(u, d), v_hi = lib_fmax(u, d);
    gh = gh < h_lo ? h_lo : (gh > h_hi ? h_hi : gh);
    gv = gv < v_lo ? v_lo : (gv > v_hi ? v_hi : gv);
    const float dh = std::fabs(l - r) + std::fabs(lap_h), dv = std::fabs(u - d) + std::fabs(lap_v);
    return dh < dv ? gh : (dv < dh ? gv : (gv + gh) * 0.5f);
}

// Green of columns x0 - 1 .. x0 + n of mosaic row y + dy into g (n + 2 floats).
// The estimate is formed at every column in one contiguous loop (the halo of
// three columns covers its reach) and the green sites then take their own
// sample: twice the arithmetic of estimating red and blue sites only, but in
// full vectors instead of one pixel in two.
void compute_green(const DemosaicParams& p, const RowWindow& w, int64_t y, int dy, int64_t x0, uint64_t n,
                   float* __restrict g) {
    const float* __restrict m2 = w.row(dy - 2) - 1;  // index k is column x0 - 1 + k
    const float* __restrict m1 = w.row(dy - 1) - 1;
    const float* __restrict c0 = w.row(dy) - 1;
    const float* __restrict p1 = w.row(dy + 1) - 1;
    const float* __restrict p2 = w.row(dy + 2) - 1;
    const RowSites sites = row_sites(p.red_row, p.red_col, y + dy, x0 - 1);
    const bool first_green = sites.first == Site::g_r || sites.first == Site::g_b;
    const uint64_t cols = n + 2, green_start = first_green ? 0 : 1;
    for (uint64_t k = 0; k < cols; ++k)
        g[k] = directional_green(c0[k], c0[k - 1], c0[k + 1], c0[k - 2], c0[k + 2], m1[k], p1[k], m2[k], p2[k]);
    for (uint64_t k = green_start; k < cols; k += 2) g[k] = c0[k];
}

}  // namespace

const float* green_row(const DemosaicParams& p, GreenCache& cache, const RowWindow& w, int64_t out_y, int dy,
                       int64_t x0, uint64_t n) {
    if (cache.col0 != x0 - 1 || cache.cols != n + 2) {
        cache.col0 = x0 - 1;
        cache.cols = n + 2;
        cache.count = 0;
    }
    const int64_t row = out_y + dy;
    const __int128 offset = __int128(row) - cache.first_row;
    float* slot = cache.buf.get() + cache.row_capacity * static_cast<uint64_t>(((row % 3) + 3) % 3);
    if (cache.count > 0 && offset >= 0 && offset < __int128(cache.count)) return slot;
    if (cache.count > 0 && offset == __int128(cache.count)) {
        if (cache.count == 3) ++cache.first_row;  // the oldest row shares this slot
        else ++cache.count;
    } else {
        cache.first_row = row;
        cache.count = 1;
    }
    compute_green(p, w, out_y, dy, x0, n, slot);
    return slot;
}

}  // namespace pyxa
