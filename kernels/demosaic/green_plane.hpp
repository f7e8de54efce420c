// Green plane of the full edge-aware demosaic: the directional estimate at red
// and blue sites, inline so each instruction-set copy of the routine compiles it.
#pragma once

#include <cmath>
#include <cstdint>

#include "kernels/demosaic/bayer_sites.hpp"
#include "kernels/demosaic/demosaic_params.hpp"

namespace pyxa {
namespace green_plane {

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

}  // namespace green_plane

// Columns 0 .. cols - 1 of a green row; column 0 is a green site when
// FirstGreen, and the sites alternate. Each pair holds one green site, which
// takes its own sample, and one red or blue site, which takes the estimate:
// the loads step two columns, so the vectorised loop deinterleaves them and
// estimates only the sites that need it. The differences sample - green go to
// d in the same pass (a green site's is its sample minus itself: 0, or NaN
// for an infinite or NaN sample).
template <bool FirstGreen>
inline void green_pairs(const float* __restrict m2, const float* __restrict m1, const float* __restrict c0,
                        const float* __restrict p1, const float* __restrict p2, uint64_t cols, float* __restrict g,
                        float* __restrict d) {
    constexpr uint64_t e = FirstGreen ? 1 : 0;  // the estimated site of each pair
    constexpr uint64_t s = 1 - e;               // the green site
    uint64_t k = 0;
    for (; k + 1 < cols; k += 2) {
        const uint64_t j = k + e;
        const float est = green_plane::directional_green(c0[j], c0[j - 1], c0[j + 1], c0[j - 2], c0[j + 2],
                                                         m1[j], p1[j], m2[j], p2[j]);
        g[k + s] = c0[k + s];
        g[j] = est;
        d[k + s] = c0[k + s] - c0[k + s];
        d[j] = c0[j] - est;
    }
    if (k < cols) {  // an odd count ends on a site of the pair's first kind
        g[k] = FirstGreen ? c0[k]
                          : green_plane::directional_green(c0[k], c0[k - 1], c0[k + 1], c0[k - 2], c0[k + 2],
                                                           m1[k], p1[k], m2[k], p2[k]);
        d[k] = c0[k] - g[k];
    }
}

// Green of columns x0 - 1 .. x0 + n of mosaic row y + dy into g (n + 2 floats),
// from the mosaic rows `w` (halo 3, positioned at x0), and the differences
// sample - green of the same columns into d, which the colour step reads up
// to four times each.
inline void compute_green(const DemosaicParams& p, const RowWindow& w, int64_t y, int dy, int64_t x0, uint64_t n,
                          float* __restrict g, float* __restrict d) {
    const float* m2 = w.row(dy - 2) - 1;  // index k is column x0 - 1 + k
    const float* m1 = w.row(dy - 1) - 1;
    const float* c0 = w.row(dy) - 1;
    const float* p1 = w.row(dy + 1) - 1;
    const float* p2 = w.row(dy + 2) - 1;
    const Site first = row_sites(p.red_row, p.red_col, y + dy, x0 - 1).first;
    if (first == Site::g_r || first == Site::g_b) green_pairs<true>(m2, m1, c0, p1, p2, n + 2, g, d);
    else green_pairs<false>(m2, m1, c0, p1, p2, n + 2, g, d);
}

}  // namespace pyxa
