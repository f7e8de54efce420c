// Full edge-aware demosaic: green from the green cache, red and blue from the
// colour differences of the neighbours, every value clamped to [0, 1].
#include <algorithm>
#include <cstring>

#include "core/unit_clamp.hpp"
#include "kernels/demosaic/bayer_sites.hpp"
#include "kernels/demosaic/demosaic_params.hpp"
#include "kernels/demosaic/green_cache.hpp"
#include "kernels/demosaic/green_plane.hpp"

namespace pyxa {
namespace {

// Mosaic row y with its green row, and the difference rows (sample - green)
// of rows y-1, y, y+1, all indexed by output pixel.
struct Planes {
    const float* c;
    const float* g;
    const float* d[3];
};

// Every candidate colour is formed at every pixel in full vectors, and each
// pixel keeps the ones of its own site: the sites alternate along the row, so
// a per-site loop would step two pixels at a time and shuffle its loads.
// The candidates of pixel i, each in the order of its formula:
struct Candidates {
    float c;      // the pixel's own sample
    float g0;     // its green
    float h;      // G0 + (D(-1,0) + D(1,0)) * 0.5
    float v;      // G0 + (D(0,1) + D(0,-1)) * 0.5
    float diag;   // G0 + (D(-1,1) + D(1,1) + D(-1,-1) + D(1,-1)) * 0.25
};

inline Candidates candidates(const Planes& q, uint64_t i) {
    const float *__restrict du = q.d[0], *__restrict dm = q.d[1], *__restrict dd = q.d[2];
    const float g0 = q.g[i];
    const float diag = dd[i - 1] + dd[i + 1] + du[i - 1] + du[i + 1];
    return Candidates{q.c[i], g0, g0 + (dm[i - 1] + dm[i + 1]) * 0.5f, g0 + (dd[i] + du[i]) * 0.5f,
                      g0 + diag * 0.25f};
}

template <Site S>
inline float red_of(const Candidates& k) {
    return S == Site::r ? k.c : S == Site::g_r ? k.h : S == Site::g_b ? k.v : k.diag;
}
template <Site S>
inline float blue_of(const Candidates& k) {
    return S == Site::b ? k.c : S == Site::g_b ? k.h : S == Site::g_r ? k.v : k.diag;
}

// Pixels 0 .. n - 1; pixel 0 is of site First and the sites alternate.
template <Site First, Site Second>
void colour_row(const Planes& q, float* __restrict out, uint64_t n) {
    for (uint64_t i = 0; i < n; ++i) {
        const Candidates k = candidates(q, i);
        const bool first = (i & 1) == 0;
        out[3 * i] = unit_clamp(first ? red_of<First>(k) : red_of<Second>(k));
        out[3 * i + 1] = unit_clamp(k.g0);
        out[3 * i + 2] = unit_clamp(first ? blue_of<First>(k) : blue_of<Second>(k));
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
    Planes q{};
    q.c = wk.row(0);
    for (int dy = -1; dy <= 1; ++dy) {
        bool fresh = false;
        float* g = green_slot(*p.green, out.y + dy, x0, n, &fresh);
        float* d = difference_row(*p.green, g);
        if (fresh) compute_green(p, wk, out.y, dy, x0, n, g, d);
        if (dy == 0) q.g = g + 1;
        q.d[dy + 1] = d + 1;
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
