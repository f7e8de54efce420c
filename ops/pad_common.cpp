// Pad source-span rule, row request and forward rule.
#include "ops/pad_common.hpp"

#include <algorithm>

namespace pyxa {
namespace {

bool sub_i64(int64_t a, int64_t b, int64_t* out) { return !__builtin_sub_overflow(a, b, out); }

// Widens [m, o) so that every column the border rule mirrors or clamps onto
// lies inside: the kernel reads those pixels from the source span, never from
// the output row. `sx` is the span's first source column, `e` how far it
// passes the right edge.
void widen_for_mode(PadMode mode, int64_t w, int64_t sx, int64_t e, int64_t* m, int64_t* o) {
    if (mode == PadMode::Reflect || mode == PadMode::Symmetric) {
        if (sx < 0) {
            const int64_t reach = sx < -(w - 1) ? w - 1 : -sx;
            *o = std::min(w, std::max(*o, reach + 1));
        }
        if (e > 0) *m = std::max<int64_t>(0, std::min(*m, w - 1 - std::min(w - 1, e)));
    } else if (mode == PadMode::Edge) {
        // A span lying wholly in a border still needs its outermost column.
        if (sx < 0) *o = std::max<int64_t>(*o, 1);
        if (e > 0) *m = std::min(*m, w - 1);
    }
}

}  // namespace

Status pad_source_span(const PadParams& p, int64_t x0, int64_t y, uint64_t len, PadSourceSpan* out) {
    *out = PadSourceSpan{};
    if (len == 0) return INVALID_ARGUMENT;
    if (!fits_i64(len) || p.src_width < 1 || p.src_height < 1) return INVALID_ARGUMENT;
    const int64_t w = p.src_width, h = p.src_height, n = static_cast<int64_t>(len);
    int64_t sx, sy, end, interior_end, span_end;
    if (!sub_i64(x0, p.left, &sx) || !sub_i64(y, p.top, &sy) || !checked_add_i64(sx, n, &end) ||
        !checked_add_i64(p.left, w, &interior_end) || !checked_add_i64(x0, n, &span_end))
        return INVALID_ARGUMENT;
    const bool inside = sy >= 0 && sy < h;
    const PadMode mode = static_cast<PadMode>(p.mode);
    if (x0 >= p.left && inside && interior_end >= span_end) {
        *out = PadSourceSpan{PadSourceSpan::Direct, sx, sy, len};
        return OK;
    }
    if (!inside) {
        const std::optional<int64_t> row = map_coordinate(mode, sy, 0, h);
        if (!row) return OK;  // constant rows outside read nothing
        sy = *row;
    }
    int64_t m = std::max<int64_t>(sx, 0), o = std::min(w, end);
    widen_for_mode(mode, w, sx, end > w ? end - w : 0, &m, &o);
    if (m < o) {
        *out = PadSourceSpan{PadSourceSpan::Partial, m, sy, static_cast<uint64_t>(o - m)};
        return OK;
    }
    return mode == PadMode::Constant ? OK : INTERNAL;
}

Status pad_row_request(const void* ctx, int64_t x, int64_t y, uint64_t w, RowRequest* out) {
    PadSourceSpan s;
    PYXA_TRY(pad_source_span(*static_cast<const PadParams*>(ctx), x, y, w, &s));
    switch (s.kind) {
        case PadSourceSpan::Direct: *out = RowRequest{s.x, s.y, s.len, 1, 1}; break;
        case PadSourceSpan::Partial: *out = RowRequest{s.x, s.y, s.len, 1, 0}; break;
        default: *out = RowRequest{}; break;
    }
    return OK;
}

namespace {

bool inside(const RowRequest& r, const Rect& in) {
    const __int128 x = r.x, y = r.y;
    return x >= in.x && y >= in.y && x + r.width <= static_cast<__int128>(in.x) + in.width &&
           y + r.rows <= static_cast<__int128>(in.y) + in.height;
}

// The part of `wanted` inside the padded image, when every row of it can be
// made from `in`: mirrored and clamped borders read source rows and columns
// that need not be adjacent to the border, so the shift-and-extend rule below
// would refuse a window into a border that the source can in fact supply.
bool wanted_producible(const PadParams& p, const Rect& in, const Rect& wanted, Rect* out) {
    int64_t out_w, out_h;
    if (!checked_add_i64(p.left, p.src_width, &out_w) || !checked_add_i64(out_w, p.right, &out_w) ||
        !checked_add_i64(p.top, p.src_height, &out_h) || !checked_add_i64(out_h, p.bottom, &out_h))
        return false;
    const __int128 x0 = std::max<__int128>(wanted.x, 0), y0 = std::max<__int128>(wanted.y, 0);
    const __int128 x1 = std::min<__int128>(static_cast<__int128>(wanted.x) + wanted.width, out_w);
    const __int128 y1 = std::min<__int128>(static_cast<__int128>(wanted.y) + wanted.height, out_h);
    if (wanted.empty() || x1 <= x0 || y1 <= y0) return false;
    const Rect target{static_cast<int64_t>(x0), static_cast<int64_t>(y0), static_cast<uint64_t>(x1 - x0),
                      static_cast<uint64_t>(y1 - y0)};
    for (int64_t y = target.y; y < static_cast<int64_t>(y1); ++y) {
        RowRequest r;
        if (pad_row_request(&p, target.x, y, target.width, &r) != OK) return false;
        if (!r.empty() && !inside(r, in)) return false;
    }
    *out = target;
    return true;
}

// Shifted by the borders; an input touching a source edge also yields the
// border beyond that edge. Overflow gives an empty rect, which the planner refuses.
Rect shifted_with_borders(const PadParams& p, const Rect& in) {
    if (in.empty() || !fits_i64(in.width) || !fits_i64(in.height)) return Rect{};
    const int64_t w = static_cast<int64_t>(in.width), h = static_cast<int64_t>(in.height);
    int64_t x, y, right, bottom;
    if (!checked_add_i64(in.x, p.left, &x) || !checked_add_i64(in.y, p.top, &y) ||
        !checked_add_i64(x, w, &right) || !checked_add_i64(y, h, &bottom))
        return Rect{};
    int64_t in_right, in_bottom;
    if (!checked_add_i64(in.x, w, &in_right) || !checked_add_i64(in.y, h, &in_bottom)) return Rect{};
    if (in.x == 0) x -= p.left;  // x = in.x + left, so this cannot overflow
    if (in.y == 0) y -= p.top;
    if (in_right == p.src_width && !checked_add_i64(right, p.right, &right)) return Rect{};
    if (in_bottom == p.src_height && !checked_add_i64(bottom, p.bottom, &bottom)) return Rect{};
    // right >= x and bottom >= y, so the unsigned differences are exact.
    return Rect{x, y, static_cast<uint64_t>(right) - static_cast<uint64_t>(x),
                static_cast<uint64_t>(bottom) - static_cast<uint64_t>(y)};
}

}  // namespace

Rect pad_forward(const void* ctx, const Rect& in, const Rect& wanted) {
    const PadParams& p = *static_cast<const PadParams*>(ctx);
    Rect target;
    if (!in.empty() && wanted_producible(p, in, wanted, &target)) return target;
    return shifted_with_borders(p, in);
}

}  // namespace pyxa
