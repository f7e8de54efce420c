// Orientation coordinate maps and region rules.
#include "kernels/orientation/orient_map.hpp"

#include <algorithm>

namespace pyxa {
namespace {

using MapFn = void (*)(const OrientationParams&, i128, i128, i128*, i128*);

// The mapped corners of `in` bound the result, since every orientation maps
// rows and columns linearly.
Status map_rect(const OrientationParams& p, const Rect& in, MapFn map, Rect* out) {
    if (in.empty() || p.orientation < 1 || p.orientation > 8) return INVALID_ARGUMENT;
    const i128 xs[2] = {in.x, i128(in.x) + in.width - 1};
    const i128 ys[2] = {in.y, i128(in.y) + in.height - 1};
    if (xs[1] > INT64_MAX || ys[1] > INT64_MAX) return INVALID_ARGUMENT;  // last pixel not addressable
    i128 r0 = 0, r1 = 0, c0 = 0, c1 = 0;
    for (int i = 0; i < 4; ++i) {
        i128 r, c;
        map(p, ys[i / 2], xs[i % 2], &r, &c);
        r0 = i == 0 ? r : std::min(r0, r);
        r1 = i == 0 ? r : std::max(r1, r);
        c0 = i == 0 ? c : std::min(c0, c);
        c1 = i == 0 ? c : std::max(c1, c);
    }
    if (r0 < INT64_MIN || c0 < INT64_MIN || r1 >= INT64_MAX || c1 >= INT64_MAX) return INVALID_ARGUMENT;
    *out = Rect{static_cast<int64_t>(c0), static_cast<int64_t>(r0), static_cast<uint64_t>(c1 - c0 + 1),
                static_cast<uint64_t>(r1 - r0 + 1)};
    return OK;
}

}  // namespace

void orient_source(const OrientationParams& p, i128 r, i128 c, i128* sr, i128* sc) {
    const i128 wm = i128(p.src_width) - 1, hm = i128(p.src_height) - 1;
    switch (p.orientation) {
        case 2: *sr = r; *sc = wm - c; break;
        case 3: *sr = hm - r; *sc = wm - c; break;
        case 4: *sr = hm - r; *sc = c; break;
        case 5: *sr = c; *sc = r; break;
        case 6: *sr = hm - c; *sc = r; break;
        case 7: *sr = hm - c; *sc = wm - r; break;
        case 8: *sr = c; *sc = wm - r; break;
        default: *sr = r; *sc = c; break;
    }
}

void orient_output(const OrientationParams& p, i128 sr, i128 sc, i128* r, i128* c) {
    const i128 wm = i128(p.dst_width) - 1, hm = i128(p.dst_height) - 1;
    switch (p.orientation) {
        case 2: *r = sr; *c = wm - sc; break;
        case 3: *r = hm - sr; *c = wm - sc; break;
        case 4: *r = hm - sr; *c = sc; break;
        case 5: *r = sc; *c = sr; break;
        case 6: *r = sc; *c = wm - sr; break;
        case 7: *r = hm - sc; *c = wm - sr; break;
        case 8: *r = hm - sc; *c = sr; break;
        default: *r = sr; *c = sc; break;
    }
}

Status orient_source_region(const void* ctx, const Rect& out_rect, Rect* src_rect) {
    return map_rect(*static_cast<const OrientationParams*>(ctx), out_rect, orient_source, src_rect);
}

Status orient_output_region(const void* ctx, const Rect& src_rect, Rect* out_rect) {
    return map_rect(*static_cast<const OrientationParams*>(ctx), src_rect, orient_output, out_rect);
}

}  // namespace pyxa
