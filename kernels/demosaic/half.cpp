// Half-size development: one RGB pixel per 2x2 Bayer cell, read from the two
// input rows of the cell. No interpolation: red and blue are the cell's own
// samples and green the mean of its two greens. Written straight into RGB:
// colour planes interleaved afterwards (as the bilinear routine does) measured
// slower here, where each pixel is only a load, an add and a store.
#include <cstring>

#include "kernels/demosaic/demosaic_params.hpp"

namespace pyxa {
namespace {

using i128 = __int128;

// Output row y reads input rows 2y and 2y + 1. Every cell starts on an even
// input column, so the cell's sites are the pattern's own, in its order.
bool cell_rows(const SpanView* rows, uint64_t row_count, const SpanView& out, const float** top,
               const float** bottom) {
    if (rows == nullptr || row_count < 2) return false;
    const i128 y0 = i128(out.y) * 2, x0 = i128(out.x0) * 2, x1 = (i128(out.x0) + out.len) * 2;
    for (int dy = 0; dy < 2; ++dy) {
        const SpanView& r = rows[dy];
        if (i128(r.y) != y0 + dy || r.data == nullptr || r.dtype != FLOAT32 || r.channels != 1) return false;
        if (i128(r.x0) > x0 || i128(r.x0) + r.len < x1) return false;
    }
    *top = static_cast<const float*>(rows[0].data) + static_cast<int64_t>(x0 - rows[0].x0);
    *bottom = static_cast<const float*>(rows[1].data) + static_cast<int64_t>(x0 - rows[1].x0);
    return true;
}

// RedSite is the red sample's place in the cell (0 top-left, 1 top-right,
// 2 bottom-left, 3 bottom-right); blue sits on the other diagonal corner and
// the two greens on the remaining ones.
template <int RedSite>
void cells(const float* __restrict top, const float* __restrict bottom, float* __restrict out, uint64_t n) {
    constexpr int kBlue = 3 - RedSite;
    // Greens on the anti-diagonal when red and blue are on the main one, and the other way round.
    constexpr int kGreen1 = RedSite == 0 || RedSite == 3 ? 1 : 0;
    constexpr int kGreen2 = 3 - kGreen1;
    for (uint64_t i = 0; i < n; ++i) {
        const float s[4] = {top[2 * i], top[2 * i + 1], bottom[2 * i], bottom[2 * i + 1]};
        out[3 * i] = s[RedSite];
        out[3 * i + 1] = (s[kGreen1] + s[kGreen2]) * 0.5f;
        out[3 * i + 2] = s[kBlue];
    }
}

}  // namespace

void half_demosaic_row(void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out) {
    if (ctx == nullptr || out == nullptr || out->data == nullptr || out->dtype != FLOAT32 || out->channels != 3)
        return;
    const DemosaicParams& p = *static_cast<const DemosaicParams*>(ctx);
    float* dst = static_cast<float*>(out->data);
    const float* top = nullptr;
    const float* bottom = nullptr;
    if (!cell_rows(rows, row_count, *out, &top, &bottom)) {
        std::memset(dst, 0, out->len * 3 * sizeof(float));
        return;
    }
    switch (p.red_row * 2 + p.red_col) {
        case 0: cells<0>(top, bottom, dst, out->len); break;
        case 1: cells<1>(top, bottom, dst, out->len); break;
        case 2: cells<2>(top, bottom, dst, out->len); break;
        case 3: cells<3>(top, bottom, dst, out->len); break;
        default: std::memset(dst, 0, out->len * 3 * sizeof(float));
    }
}

DemosaicRowRoutine half_demosaic_routine(Isa isa) { return routine_for<half_demosaic_row>(isa); }

}  // namespace pyxa
