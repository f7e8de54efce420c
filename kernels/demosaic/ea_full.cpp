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

// Pixels go through in blocks, filled pair by pair (the sites alternate along
// a row) into three colour planes that are clamped and then interleaved into
// RGB: every loop walks contiguous memory and vectorises.
inline constexpr uint64_t kBlock = 256;  // even, so a block starts on the row's first site

struct ColourPlanes {
    alignas(64) float red[kBlock];
    alignas(64) float green[kBlock];
    alignas(64) float blue[kBlock];
};

// The colours of pixel i, of site S, into the planes at i (before the clamp).
template <Site S>
inline void site_colours(const Planes& q, uint64_t i, ColourPlanes& o) {
    const float *__restrict cu = q.c[0], *__restrict cm = q.c[1], *__restrict cd = q.c[2];
    const float *__restrict gu = q.g[0], *__restrict gm = q.g[1], *__restrict gd = q.g[2];
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
    o.red[i] = red;
    o.green[i] = g0;
    o.blue[i] = blue;
}

// Pixels 0 .. n - 1; pixel 0 is of site First and the sites alternate.
template <Site First, Site Second>
void colour_row(const Planes& rows, float* __restrict out, uint64_t n) {
    ColourPlanes o;
    for (uint64_t b0 = 0; b0 < n; b0 += kBlock) {
        const uint64_t m = n - b0 < kBlock ? n - b0 : kBlock;
        Planes q = rows;
        for (int r = 0; r < 3; ++r) {
            q.c[r] += b0;
            q.g[r] += b0;
        }
        for (uint64_t i = 0; i + 1 < m; i += 2) {
            site_colours<First>(q, i, o);
            site_colours<Second>(q, i + 1, o);
        }
        if (m % 2 != 0) site_colours<First>(q, m - 1, o);
        unit_clamp_block(o.red, m);  // the same values as unit_clamp on each
        unit_clamp_block(o.green, m);
        unit_clamp_block(o.blue, m);
        float* __restrict d = out + 3 * b0;
        for (uint64_t i = 0; i < m; ++i) {
            d[3 * i] = o.red[i];
            d[3 * i + 1] = o.green[i];
            d[3 * i + 2] = o.blue[i];
        }
    }
}

void run_row(Site first, const Planes& q, float* out, uint64_t n) {
    switch (first) {
        case Site::r: colour_row<Site::r, Site::g_r>(q, out, n); break;
        case Site::g_r: colour_row<Site::g_r, Site::r>(q, out, n); break;
        case Site::g_b: colour_row<Site::g_b, Site::b>(q, out, n); break;
        case Site::b: colour_row<Site::b, Site::g_b>(q, out, n); break;
    }
}

// Output pixels [k, k + n) of the span, with the window still at the span's x0.
void chunk(const DemosaicParams& p, const RowWindow& w, const SpanView& out, uint64_t k, uint64_t n) {
    const int64_t x0 = out.x0 + static_cast<int64_t>(k);
    RowWindow wk = w;  // the same rows, positioned at the piece's first column
    for (const float*& r : wk.rows) r += k;
    Planes q;
    for (int dy = -1; dy <= 1; ++dy) {
        q.c[dy + 1] = wk.row(dy);
        q.g[dy + 1] = green_row(p, *p.green, wk, out.y, dy, x0, n) + 1;
    }
    float* dst = static_cast<float*>(out.data) + 3 * k;
    run_row(row_sites(p.red_row, p.red_col, out.y, x0).first, q, dst, n);
}

}  // namespace

void ea_full_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
    if (ctx == nullptr || out == nullptr || out->data == nullptr || out->dtype != FLOAT32 || out->channels != 3)
        return;
    const DemosaicParams& p = *static_cast<const DemosaicParams*>(ctx);
    RowWindow w;
    if (p.green == nullptr || p.green->buf == nullptr || p.green->row_capacity < 3 ||
        !make_window(rows, row_count, *out, 3, 3, &w)) {
        std::memset(out->data, 0, out->len * 3 * sizeof(float));
        return;
    }
    // A span wider than the cache rows is done in pieces that fit them.
    const uint64_t piece = p.green->row_capacity - 2;
    for (uint64_t k = 0; k < out->len; k += piece) chunk(p, w, *out, k, std::min(piece, out->len - k));
}

DemosaicRowRoutine ea_full_demosaic_routine(Isa isa) { return routine_for<ea_full_demosaic_row>(isa); }

}  // namespace pyxa
