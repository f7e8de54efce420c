// Full edge-aware demosaic: green from the green cache, red and blue from the
// colour differences of the neighbours, every value clamped to [0, 1].
#include <algorithm>
#include <cstring>

#include "kernels/demosaic/bayer_sites.hpp"
#include "kernels/demosaic/demosaic_params.hpp"
#include "kernels/demosaic/green_cache.hpp"
#include "kernels/raw/unit_clamp.hpp"

namespace pyxa {
namespace {

// Mosaic rows y-1, y, y+1 and their green rows, all indexed by output pixel.
struct Planes {
    const float* c[3];
    const float* g[3];
};

template <Site S>
void colour_sites(const Planes& q, float* __restrict out, uint64_t first, uint64_t n) {
    const float *cu = q.c[0], *cm = q.c[1], *cd = q.c[2];
    const float *gu = q.g[0], *gm = q.g[1], *gd = q.g[2];
    for (uint64_t i = first; i < n; i += 2) {
        const float g0 = gm[i];
        float red, blue;
        if constexpr (S == Site::r || S == Site::b) {
            // D(-1,1) + D(1,1) + D(-1,-1) + D(1,-1)
            const float diag = (cd[i - 1] - gd[i - 1]) + (cd[i + 1] - gd[i + 1]) + (cu[i - 1] - gu[i - 1]) +
                               (cu[i + 1] - gu[i + 1]);
            const float other = g0 + diag * 0.25f;
            red = S == Site::r ? cm[i] : other;
            blue = S == Site::r ? other : cm[i];
        } else {
            const float h = g0 + ((cm[i - 1] - gm[i - 1]) + (cm[i + 1] - gm[i + 1])) * 0.5f;
            const float v = g0 + ((cd[i] - gd[i]) + (cu[i] - gu[i])) * 0.5f;
            red = S == Site::g_r ? h : v;
            blue = S == Site::g_r ? v : h;
        }
        out[3 * i] = unit_clamp(red);
        out[3 * i + 1] = unit_clamp(g0);
        out[3 * i + 2] = unit_clamp(blue);
    }
}

void run_sites(Site s, const Planes& q, float* out, uint64_t first, uint64_t n) {
    switch (s) {
        case Site::r: colour_sites<Site::r>(q, out, first, n); break;
        case Site::g_r: colour_sites<Site::g_r>(q, out, first, n); break;
        case Site::g_b: colour_sites<Site::g_b>(q, out, first, n); break;
        case Site::b: colour_sites<Site::b>(q, out, first, n); break;
    }
}

// Output pixels [k, k + n) of the span, with the window still at the span's x0.
void chunk(DemosaicParams& p, const RowWindow& w, const SpanView& out, uint64_t k, uint64_t n) {
    const int64_t x0 = out.x0 + static_cast<int64_t>(k);
    RowWindow wk = w;  // the same rows, positioned at the piece's first column
    for (const float*& r : wk.rows) r += k;
    Planes q;
    for (int dy = -1; dy <= 1; ++dy) {
        q.c[dy + 1] = wk.row(dy);
        q.g[dy + 1] = green_row(p, p.green, wk, out.y, dy, x0, n) + 1;
    }
    float* dst = static_cast<float*>(out.data) + 3 * k;
    const RowSites sites = row_sites(p.red_row, p.red_col, out.y, x0);
    run_sites(sites.first, q, dst, 0, n);
    run_sites(sites.second, q, dst, 1, n);
}

}  // namespace

void ea_full_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
    if (ctx == nullptr || out == nullptr || out->data == nullptr || out->dtype != FLOAT32 || out->channels != 3)
        return;
    DemosaicParams& p = *static_cast<DemosaicParams*>(ctx);
    RowWindow w;
    if (p.green.buf == nullptr || p.green.row_capacity < 3 || !make_window(rows, row_count, *out, 3, 3, &w)) {
        std::memset(out->data, 0, out->len * 3 * sizeof(float));
        return;
    }
    // A span wider than the cache rows is done in pieces that fit them.
    const uint64_t piece = p.green.row_capacity - 2;
    for (uint64_t k = 0; k < out->len; k += piece) chunk(p, w, *out, k, std::min(piece, out->len - k));
}

DemosaicRowRoutine ea_full_demosaic_routine(Isa isa) { return routine_for<ea_full_demosaic_row>(isa); }

}  // namespace pyxa
