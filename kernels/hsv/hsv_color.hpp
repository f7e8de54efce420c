// Colour arithmetic shared by the direct routines and the table builds:
// RGB to hue (in sixths)/saturation/value, the map's adjustment and the way back.
#pragma once

#include <cstdint>

#include "kernels/hsv/hsv_params.hpp"

namespace pyxa {

struct Hsv {
    float hue = 0.0f;  // sixths of the circle, [0, 6)
    float sat = 0.0f;
    float val = 0.0f;
};

inline Hsv rgb_to_hsv(float r, float g, float b) {
    const float mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const float mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
    const float delta = mx - mn;
    Hsv o;
    o.val = mx;
    if (delta > 0.0f) {
        o.sat = delta / mx;
        if (r == mx) {
            o.hue = (g - b) / delta;
            if (o.hue < 0.0f) o.hue += 6.0f;
        } else if (g == mx) {
            o.hue = (b - r) / delta + 2.0f;
        } else {
            o.hue = (r - g) / delta + 4.0f;
        }
    }
    return o;
}

// rgb_to_hsv's numbers for the block loops, written with selects instead of
// branches (random colours would mispredict them) so that the loops vectorise;
// forced inline so that each caller's loop keeps its own vectorisation. The
// maximum and minimum go two values at a time: (r > g ? r : g) > b ? ... : b
// picks the same value as the nested form, NaN and signed zeros included, and
// each step is one max (or min) instruction instead of a chain of compares.
// The hue's numerator is chosen before the one division (the same operands,
// so the same quotient as dividing each candidate): divisions are the slowest
// vector instructions here.
[[gnu::always_inline]] inline Hsv rgb_to_hsv_selects(float r, float g, float b) {
    const float rg_max = r > g ? r : g, rg_min = r < g ? r : g;
    const float mx = rg_max > b ? rg_max : b;
    const float mn = rg_min < b ? rg_min : b;
    const float delta = mx - mn;
    const bool coloured = delta > 0.0f;
    const bool red = r == mx, green = g == mx;
    const float q = (red ? g - b : (green ? b - r : r - g)) / delta;
    const float hr = q < 0.0f ? q + 6.0f : q;
    Hsv o;
    o.hue = coloured ? (red ? hr : (green ? q + 2.0f : q + 4.0f)) : 0.0f;
    o.sat = coloured ? delta / mx : 0.0f;
    o.val = mx;
    return o;
}

// Cell index of a grid coordinate: floor, limited to [0, top]. The limits are
// applied in float so that huge, negative or NaN coordinates (NaN -> 0) never
// reach the integer conversion.
inline int32_t cell_index(float coord, int32_t top) {
    float c = coord > 0.0f ? coord : 0.0f;
    const float t = static_cast<float>(top);
    c = c < t ? c : t;
    return static_cast<int32_t>(c);
}

// A pixel's map cell over (hue, saturation) and its fractions inside it,
// forced inline like rgb_to_hsv_selects. Indices are clamped at 0 too: a
// negative maximum gives a negative saturation coordinate, which must not
// index before the map.
struct HueSatCell {
    int32_t hue_row = 0, sat_col = 0;
    float hue_frac = 0.0f, sat_frac = 0.0f;
};

[[gnu::always_inline]] inline HueSatCell hue_sat_cell(const Hsv& c, float hue_scale, float sat_span, int32_t hues,
                                                      int32_t sats) {
    const float u = hue_scale * c.hue, o = c.sat * sat_span;
    HueSatCell cell;
    cell.hue_row = cell_index(u, hues - 1);
    cell.sat_col = cell_index(o, sats - 2);
    cell.hue_frac = u - static_cast<float>(cell.hue_row);
    cell.sat_frac = o - static_cast<float>(cell.sat_col);
    return cell;
}

// Hue row coordinate factor: H / 6, or 0 for a single hue row.
inline float hue_factor(int32_t hue_divs) {
    return hue_divs < 2 ? 0.0f : static_cast<float>(hue_divs) * 0.16666667f;
}

struct MapPoint {
    float hue_shift = 0.0f;  // sixths
    float sat_scale = 1.0f;
    float val_scale = 1.0f;
};

// Bilinear interpolation over (hue, saturation) in one slab of the prepared map.
inline MapPoint map_bilinear(const int16_t* slab, int32_t sats, int32_t hi, float fh, int32_t si, float fs) {
    const int16_t* a = slab + (static_cast<int64_t>(hi) * sats + si) * 4;
    const int16_t* b = a + static_cast<int64_t>(sats) * 4;
    float v[3];
    for (int k = 0; k < 3; ++k) {
        const float lo = (1.0f - fs) * a[k] + fs * a[4 + k];
        const float up = (1.0f - fs) * b[k] + fs * b[4 + k];
        v[k] = ((1.0f - fh) * lo + fh * up) * kHsvInvUnit;
    }
    return MapPoint{v[0], v[1], v[2]};
}

// Back into [0, 6): h - 6 from 6 up, h + 6 below 0, h itself otherwise (NaN
// included). Two flat selects rather than nested ones: the vectorised loops
// then need two compares instead of a chain of four.
inline float wrap_sixths(float h) {
    const float down = h >= 6.0f ? h - 6.0f : h;
    return h < 0.0f ? h + 6.0f : down;
}

// Weight of a channel at hue distance k: max(0, min(k, 4 - k, 1)).
inline float channel_weight(float k) {
    float w = k < 4.0f - k ? k : 4.0f - k;
    w = w < 1.0f ? w : 1.0f;
    return w > 0.0f ? w : 0.0f;
}

// Applies a map point to (hue, saturation, value) and returns RGB.
inline void adjust_to_rgb(const Hsv& c, const MapPoint& m, float out[3]) {
    const float hue = wrap_sixths(c.hue + m.hue_shift);
    float sat = c.sat * m.sat_scale;
    sat = sat < 1.0f ? sat : 1.0f;
    float val = c.val * m.val_scale;
    val = val < 1.0f ? val : 1.0f;
    val = val > 0.0f ? val : 0.0f;
    const float ks[3] = {wrap_sixths(hue + 5.0f), wrap_sixths(hue + 3.0f), wrap_sixths(hue + 1.0f)};
    for (int i = 0; i < 3; ++i) out[i] = val - val * sat * channel_weight(ks[i]);
}

// Rounds to nearest, halves away from zero, limited to the int16 range (NaN ->
// 0): std::round's rounding without the library call, so loops of it
// vectorise. Once x is clamped to the int16 range the int32 conversion
// truncates exactly and x - trunc(x) is exact, so stepping away from zero at a
// remainder of one half is std::round's rounding.
inline int32_t fixed_point(float x) {
    const bool nan = x != x;
    x = x > -32768.0f ? x : -32768.0f;
    x = x < 32767.0f ? x : 32767.0f;
    const float t = static_cast<float>(static_cast<int32_t>(x));
    const float rest = x - t;
    const float up = rest >= 0.5f ? 1.0f : 0.0f, down = rest <= -0.5f ? 1.0f : 0.0f;
    const int32_t rounded = static_cast<int32_t>(t + up - down);
    return nan ? 0 : rounded;
}

inline int16_t to_fixed(float x) { return static_cast<int16_t>(fixed_point(x)); }

}  // namespace pyxa
