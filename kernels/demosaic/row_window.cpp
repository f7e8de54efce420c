// Validation of the row window handed to a demosaic routine.
#include <cstring>

#include "kernels/demosaic/bayer_sites.hpp"
#include "kernels/demosaic/demosaic_params.hpp"

namespace pyxa {

bool make_window(const SpanView* rows, uint64_t row_count, const SpanView& out, int halo_rows,
                 int halo_cols, RowWindow* w) {
    using i128 = __int128;
    if (rows == nullptr || row_count == 0 || halo_rows > 3) return false;
    // Every coordinate the routine forms (x0 - halo .. x0 + len + halo, y ± halo) fits 64 bits.
    if (i128(out.x0) - halo_cols < INT64_MIN || i128(out.x0) + out.len + halo_cols > INT64_MAX ||
        i128(out.y) - halo_rows < INT64_MIN || i128(out.y) + halo_rows > INT64_MAX)
        return false;
    w->halo = halo_rows;
    for (int dy = -halo_rows; dy <= halo_rows; ++dy) {
        const i128 want = i128(out.y) + dy;
        const i128 idx = want - rows[0].y;
        if (idx < 0 || idx >= i128(row_count)) return false;
        const SpanView& r = rows[static_cast<uint64_t>(idx)];
        if (r.y != want || r.data == nullptr || r.dtype != FLOAT32 || r.channels != 1) return false;
        if (i128(r.x0) > i128(out.x0) - halo_cols || i128(r.x0) + r.len < i128(out.x0) + out.len + halo_cols)
            return false;
        w->rows[dy + halo_rows] = static_cast<const float*>(r.data) + (out.x0 - r.x0);
    }
    return true;
}

bool begin_bilinear_row(const void* ctx, const SpanView* rows, uint64_t row_count, const SpanView* out,
                        BilinearRow* row) {
    if (ctx == nullptr || out == nullptr || out->data == nullptr || out->dtype != FLOAT32 || out->channels != 3)
        return false;
    const DemosaicParams& p = *static_cast<const DemosaicParams*>(ctx);
    row->out = static_cast<float*>(out->data);
    if (!make_window(rows, row_count, *out, 1, 1, &row->window)) {
        std::memset(row->out, 0, out->len * 3 * sizeof(float));
        return false;
    }
    row->sites = row_sites(p.red_row, p.red_col, out->y, out->x0);
    return true;
}

}  // namespace pyxa
