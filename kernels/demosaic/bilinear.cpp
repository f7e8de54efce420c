// Bilinear and edge-aware fast demosaic: one 3x3 neighbourhood per pixel; the
// edge-aware variant picks green along the flatter direction and clamps.
#include <cmath>
#include <cstring>

#include "kernels/demosaic/bayer_sites.hpp"
#include "kernels/demosaic/demosaic_params.hpp"
#include "kernels/raw/unit_clamp.hpp"

namespace pyxa {
namespace {

// Pixels go through in blocks. The sites alternate along a row, so each block
// is filled pair by pair into three colour planes, which are then interleaved
// into RGB: every loop walks contiguous memory and vectorises, where writing
// one site's pixels straight into RGB would step six floats at a time.
inline constexpr uint64_t kBlock = 256;  // even, so a block starts on the row's first site

struct Planes {
    alignas(64) float red[kBlock];
    alignas(64) float green[kBlock];
    alignas(64) float blue[kBlock];
};

// The colours of pixel i, of site S, into the planes at i.
template <Site S, bool EdgeAware>
inline void site_colours(const float* __restrict up, const float* __restrict mid, const float* __restrict dn,
                         uint64_t i, Planes& q) {
    const float c = mid[i], l = mid[i - 1], r = mid[i + 1], u = up[i], d = dn[i];
    if constexpr (S == Site::r || S == Site::b) {
        const float diag = (up[i - 1] + up[i + 1] + (dn[i - 1] + dn[i + 1])) * 0.25f;
        if constexpr (EdgeAware) q.green[i] = std::fabs(l - r) >= std::fabs(u - d) ? (u + d) * 0.5f : (l + r) * 0.5f;
        else q.green[i] = (l + r + (u + d)) * 0.25f;
        q.red[i] = S == Site::r ? c : diag;
        q.blue[i] = S == Site::r ? diag : c;
    } else {
        const float h = (l + r) * 0.5f, v = (u + d) * 0.5f;
        q.green[i] = c;
        q.red[i] = S == Site::g_r ? h : v;
        q.blue[i] = S == Site::g_r ? v : h;
    }
}

// Pixels 0 .. n - 1 of the window's rows; pixel 0 is of site First, and the
// sites alternate First, Second, ...
template <Site First, Site Second, bool EdgeAware>
void interpolate(const RowWindow& w, float* __restrict out, uint64_t n) {
    Planes q;
    for (uint64_t b0 = 0; b0 < n; b0 += kBlock) {
        const uint64_t m = n - b0 < kBlock ? n - b0 : kBlock;
        const float* up = w.row(-1) + b0;
        const float* mid = w.row(0) + b0;
        const float* dn = w.row(1) + b0;
        for (uint64_t i = 0; i + 1 < m; i += 2) {
            site_colours<First, EdgeAware>(up, mid, dn, i, q);
            site_colours<Second, EdgeAware>(up, mid, dn, i + 1, q);
        }
        if (m % 2 != 0) site_colours<First, EdgeAware>(up, mid, dn, m - 1, q);
        if constexpr (EdgeAware) {
            unit_clamp_block(q.red, m);
            unit_clamp_block(q.green, m);
            unit_clamp_block(q.blue, m);
        }
        float* __restrict o = out + 3 * b0;
        for (uint64_t i = 0; i < m; ++i) {
            o[3 * i] = q.red[i];
            o[3 * i + 1] = q.green[i];
            o[3 * i + 2] = q.blue[i];
        }
    }
}

template <bool EdgeAware>
void run_row(RowSites sites, const RowWindow& w, float* out, uint64_t n) {
    switch (sites.first) {
        case Site::r: interpolate<Site::r, Site::g_r, EdgeAware>(w, out, n); break;
        case Site::g_r: interpolate<Site::g_r, Site::r, EdgeAware>(w, out, n); break;
        case Site::g_b: interpolate<Site::g_b, Site::b, EdgeAware>(w, out, n); break;
        case Site::b: interpolate<Site::b, Site::g_b, EdgeAware>(w, out, n); break;
    }
}

template <bool EdgeAware>
void demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
    BilinearRow row;
    if (!begin_bilinear_row(ctx, rows, row_count, out, &row)) return;
    run_row<EdgeAware>(row.sites, row.window, row.out, out->len);
}

}  // namespace

void bilinear_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
    demosaic_row<false>(ctx, rows, row_count, out);
}

void ea_fast_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
    demosaic_row<true>(ctx, rows, row_count, out);
}

// The AVX2 routines written with intrinsics blend both sites of a pair in
// registers and interleave there, where the compiled copy shuffles the pairs
// into planes and back through memory.
DemosaicRowRoutine bilinear_demosaic_routine(Isa isa) {
    const DemosaicRowRoutine own = runs_avx2(isa) ? bilinear_demosaic_avx2_routine() : nullptr;
    return own != nullptr ? own : routine_for<bilinear_demosaic_row>(isa);
}
DemosaicRowRoutine ea_fast_demosaic_routine(Isa isa) {
    const DemosaicRowRoutine own = runs_avx2(isa) ? ea_fast_demosaic_avx2_routine() : nullptr;
    return own != nullptr ? own : routine_for<ea_fast_demosaic_row>(isa);
}

}  // namespace pyxa
