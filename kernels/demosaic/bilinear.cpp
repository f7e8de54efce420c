// Bilinear and edge-aware fast demosaic: one 3x3 neighbourhood per pixel; the
// edge-aware variant picks green along the flatter direction and clamps.
#include <cmath>
#include <cstring>

#include "kernels/demosaic/bayer_sites.hpp"
#include "kernels/demosaic/demosaic_params.hpp"
#include "kernels/raw/unit_clamp.hpp"

namespace pyxa {
namespace {

// Pixels first, first + 2, ... < n of one row, all of site S.
template <Site S, bool EdgeAware>
void interpolate(const RowWindow& w, float* __restrict out, uint64_t first, uint64_t n) {
    const float* __restrict up = w.row(-1);
    const float* __restrict mid = w.row(0);
    const float* __restrict dn = w.row(1);
    for (uint64_t i = first; i < n; i += 2) {
        const float c = mid[i], l = mid[i - 1], r = mid[i + 1], u = up[i], d = dn[i];
        float red, green, blue;
        if constexpr (S == Site::r || S == Site::b) {
            const float diag = (up[i - 1] + up[i + 1] + (dn[i - 1] + dn[i + 1])) * 0.25f;
            if constexpr (EdgeAware) green = std::fabs(l - r) >= std::fabs(u - d) ? (u + d) * 0.5f : (l + r) * 0.5f;
            else green = (l + r + (u + d)) * 0.25f;
            red = S == Site::r ? c : diag;
            blue = S == Site::r ? diag : c;
        } else {
            const float h = (l + r) * 0.5f, v = (u + d) * 0.5f;
            green = c;
            red = S == Site::g_r ? h : v;
            blue = S == Site::g_r ? v : h;
        }
        if constexpr (EdgeAware) {
            red = unit_clamp(red);
            green = unit_clamp(green);
            blue = unit_clamp(blue);
        }
        out[3 * i] = red;
        out[3 * i + 1] = green;
        out[3 * i + 2] = blue;
    }
}

template <bool EdgeAware>
void run_sites(Site s, const RowWindow& w, float* out, uint64_t first, uint64_t n) {
    switch (s) {
        case Site::r: interpolate<Site::r, EdgeAware>(w, out, first, n); break;
        case Site::g_r: interpolate<Site::g_r, EdgeAware>(w, out, first, n); break;
        case Site::g_b: interpolate<Site::g_b, EdgeAware>(w, out, first, n); break;
        case Site::b: interpolate<Site::b, EdgeAware>(w, out, first, n); break;
    }
}

template <bool EdgeAware>
void demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
    if (ctx == nullptr || out == nullptr || out->data == nullptr || out->dtype != FLOAT32 || out->channels != 3)
        return;
    const DemosaicParams& p = *static_cast<const DemosaicParams*>(ctx);
    float* dst = static_cast<float*>(out->data);
    RowWindow w;
    if (!make_window(rows, row_count, *out, 1, 1, &w)) {
        std::memset(dst, 0, out->len * 3 * sizeof(float));
        return;
    }
    const RowSites sites = row_sites(p.red_row, p.red_col, out->y, out->x0);
    run_sites<EdgeAware>(sites.first, w, dst, 0, out->len);
    run_sites<EdgeAware>(sites.second, w, dst, 1, out->len);
}

}  // namespace

void bilinear_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
    demosaic_row<false>(ctx, rows, row_count, out);
}

void ea_fast_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
    demosaic_row<true>(ctx, rows, row_count, out);
}

}  // namespace pyxa
