// Exported orientation tile kernel: checks once that the input tile holds the
// source of every output pixel, then moves pixels as raw bytes.
#include "core/views.hpp"
#include "kernels/geometry/stream_store.hpp"
#include "kernels/orientation/orient_copy.hpp"
#include "kernels/orientation/orient_map.hpp"
#include "tarnimg_process.h"

using namespace pyxa;

namespace {

bool contains(const TileView& t, const Rect& r) {
    return r.x >= t.x0 && r.y >= t.y0 && i128(r.x) + r.width <= i128(t.x0) + t.width &&
           i128(r.y) + r.height <= i128(t.y0) + t.height;
}

bool fits(i128 v) { return v >= INT64_MIN && v <= INT64_MAX; }

// Whether the output rows should bypass the caches: the output is large, and
// the tile lies in the caller's array, which nothing reads back within this
// call. A chain hands a tile step packed tiles of at most 256 pixels a side
// to pass on; a lone flip gets full-width bands wider than that, and a lone
// transpose tiles whose rows are part of wider image rows.
bool stream_rows(const OrientationParams& p, const TileView& out, uint64_t px) {
    constexpr uint64_t kChainTileWidth = 256;
    if (saturating_mul(saturating_mul(p.dst_width, p.dst_height), px) < kStreamMinBytes) return false;
    if (p.orientation >= 5) return out.row_stride > 0 && static_cast<uint64_t>(out.row_stride) > saturating_mul(out.width, px);
    return (p.orientation == 1 || p.orientation == 4) && out.width == p.dst_width && out.width > kChainTileWidth;
}

// Fills `job` for the output tile, or returns false when the call cannot be
// served without touching memory outside the two tiles.
bool plan(const OrientationParams& p, const TileView& in, const TileView& out, OrientCopy* job) {
    const uint64_t px = pixel_size(in.dtype, in.channels);
    if (in.data == nullptr || out.data == nullptr || px == 0 || px != pixel_size(out.dtype, out.channels))
        return false;
    const Rect out_rect{out.x0, out.y0, out.width, out.height};
    Rect need;
    if (orient_source_region(&p, out_rect, &need) != OK || !contains(in, need)) return false;
    i128 sr0, sc0, sr1, sc1, sr2, sc2;
    orient_source(p, out.y0, out.x0, &sr0, &sc0);
    orient_source(p, i128(out.y0) + 1, out.x0, &sr1, &sc1);
    orient_source(p, out.y0, i128(out.x0) + 1, &sr2, &sc2);
    const i128 offset = (sr0 - in.y0) * in.row_stride + (sc0 - in.x0) * i128(px);
    const i128 row_step = (sr1 - sr0) * in.row_stride + (sc1 - sc0) * i128(px);
    const i128 col_step = (sr2 - sr0) * in.row_stride + (sc2 - sc0) * i128(px);
    if (!fits(offset) || !fits(row_step) || !fits(col_step)) return false;
    *job = OrientCopy{static_cast<uint8_t*>(out.data), out.row_stride,
                      static_cast<const uint8_t*>(in.data) + static_cast<int64_t>(offset),
                      static_cast<int64_t>(row_step), static_cast<int64_t>(col_step), out.width, out.height, px,
                      stream_rows(p, out, px)};
    return true;
}

}  // namespace

extern "C" TARNIMG_EXPORT void tarnimg_process_orientation_tile1to1(void* params, const TileView* in,
                                                                    const TileView* out) {
    if (params == nullptr || in == nullptr || out == nullptr || out->width == 0 || out->height == 0) return;
    const OrientationParams& p = *static_cast<const OrientationParams*>(params);
    if (p.orientation < 1 || p.orientation > 8) return;
    OrientCopy job;
    if (!plan(p, *in, *out, &job)) return;
    orient_copy(job, p.orientation >= 5);
}
