// Full edge-aware demosaic: green from the green cache, red and blue from the
// colour differences of the neighbours, every value clamped to [0, 1].
#include <algorithm>
#include <cstring>

#include "core/unit_clamp.hpp"
#include "kernels/demosaic/bayer_sites.hpp"
#include "kernels/demosaic/demosaic_params.hpp"
#include "kernels/demosaic/green_cache.hpp"
#include "kernels/demosaic/green_plane.hpp"
#include "kernels/pointwise/rgb_avx2.hpp"

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

#ifdef PYXA_RGB_AVX2
// The colour step in AVX2 registers: eight pixels a step, every lane forming
// the candidates of both sites of a pair and a fixed blend keeping its own
// (as in bilinear_avx2.cpp), the unit clamp as max(v, 0) then min(v, 1)
// (NaN, negatives and -0 to +0, then 1 and above to 1), and the channels
// interleaved in registers. Each candidate's order of operations is
// candidates()'.
template <bool OwnEven>
PYXA_TARGET_AVX2 inline __m256 own_or_green(__m256 at_own, __m256 at_green) {
    return _mm256_blend_ps(at_own, at_green, OwnEven ? 0xAA : 0x55);
}

template <bool OwnEven, bool RedRow>
PYXA_TARGET_AVX2 inline Planes8 colour8(const Planes& q, uint64_t i) {
    const float *du = q.d[0], *dm = q.d[1], *dd = q.d[2];
    const __m256 half = _mm256_set1_ps(0.5f), quarter = _mm256_set1_ps(0.25f);
    const __m256 c = _mm256_loadu_ps(q.c + i), g0 = _mm256_loadu_ps(q.g + i);
    const __m256 diag = _mm256_add_ps(
        _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(dd + i - 1), _mm256_loadu_ps(dd + i + 1)),
                      _mm256_loadu_ps(du + i - 1)),
        _mm256_loadu_ps(du + i + 1));
    const __m256 h =
        _mm256_add_ps(g0, _mm256_mul_ps(_mm256_add_ps(_mm256_loadu_ps(dm + i - 1), _mm256_loadu_ps(dm + i + 1)), half));
    const __m256 v = _mm256_add_ps(g0, _mm256_mul_ps(_mm256_add_ps(_mm256_loadu_ps(dd + i), _mm256_loadu_ps(du + i)), half));
    const __m256 d = _mm256_add_ps(g0, _mm256_mul_ps(diag, quarter));
    Planes8 o;
    o.g = g0;
    if constexpr (RedRow) {
        o.r = own_or_green<OwnEven>(c, h);
        o.b = own_or_green<OwnEven>(d, v);
    } else {
        o.r = own_or_green<OwnEven>(d, v);
        o.b = own_or_green<OwnEven>(c, h);
    }
    const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
    o.r = _mm256_min_ps(_mm256_max_ps(o.r, zero), one);
    o.g = _mm256_min_ps(_mm256_max_ps(o.g, zero), one);
    o.b = _mm256_min_ps(_mm256_max_ps(o.b, zero), one);
    return o;
}

// Pixels 0 .. n - 1, from 8 pixels a step; the rest (fewer than 8, whose
// loads would pass the planes' ends) by the element form.
template <Site First, Site Second>
PYXA_TARGET_AVX2 void colour_row_avx2(const Planes& q, float* __restrict out, uint64_t n) {
    constexpr bool own_even = First == Site::r || First == Site::b;
    constexpr bool red_row = First == Site::r || Second == Site::r;
    uint64_t i = 0;
    for (; i + 8 <= n; i += 8) join_rgb8(colour8<own_even, red_row>(q, i), out + 3 * i);
    for (; i < n; ++i) {
        const Candidates k = candidates(q, i);
        const bool first = (i & 1) == 0;
        out[3 * i] = unit_clamp(first ? red_of<First>(k) : red_of<Second>(k));
        out[3 * i + 1] = unit_clamp(k.g0);
        out[3 * i + 2] = unit_clamp(first ? blue_of<First>(k) : blue_of<Second>(k));
    }
}

PYXA_TARGET_AVX2 void run_row_avx2(Site first, const Planes& q, float* out, uint64_t n) {
    switch (first) {
        case Site::r: colour_row_avx2<Site::r, Site::g_r>(q, out, n); break;
        case Site::g_r: colour_row_avx2<Site::g_r, Site::r>(q, out, n); break;
        case Site::g_b: colour_row_avx2<Site::g_b, Site::b>(q, out, n); break;
        case Site::b: colour_row_avx2<Site::b, Site::g_b>(q, out, n); break;
    }
}
#endif

// Output pixels [k, k + n) of the span, with the window still at the span's x0.
template <Isa I>
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
        if (fresh) compute_green<I>(p, wk, out.y, dy, x0, n, g, d);
        if (dy == 0) q.g = g + 1;
        q.d[dy + 1] = d + 1;
    }
    float* dst = static_cast<float*>(out.data) + 3 * k;
#ifdef PYXA_RGB_AVX2
    if constexpr (I == Isa::Avx2) {
        run_row_avx2(row_sites(p.red_row, p.red_col, out.y, x0).first, q, dst, n);
        return;
    }
#endif
    run_row(row_sites(p.red_row, p.red_col, out.y, x0).first, q, dst, n);
}

template <Isa I>
void ea_full_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
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
    for (uint64_t k = 0; k < out->len; k += piece) chunk<I>(p, w, *out, k, std::min(piece, out->len - k));
}

}  // namespace

void ea_full_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
    ea_full_row<Isa::Baseline>(ctx, rows, row_count, out);
}

// The AVX2 copy also takes the colour step written with intrinsics.
DemosaicRowRoutine ea_full_demosaic_routine(Isa isa) {
    switch (isa) {
        case Isa::Avx512: return routine_for<ea_full_row<Isa::Avx512>>(isa);
        case Isa::Avx2: return routine_for<ea_full_row<Isa::Avx2>>(isa);
        default: return ea_full_demosaic_row;
    }
}

}  // namespace pyxa
