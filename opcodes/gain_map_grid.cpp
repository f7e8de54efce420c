// Gain-grid application: per row one grid-row interpolation, then a walk along
// the row that recomputes the gain only where a new grid cell begins and
// otherwise extends it linearly, so a pixel costs one multiply-add.
#include "opcodes/gain_map_grid.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "core/checked.hpp"
#include "opcodes/float_math.hpp"
#include "opcodes/image_checks.hpp"

namespace tarnimg {

Status check_gain_grid(const ImageView& out, const GainGridParams& p, uint64_t channels) {
    if (out.data == nullptr || p.gains == nullptr) return pyxa::INVALID_ARGUMENT;
    if (p.points_v < 1 || p.points_h < 1 || p.map_planes < 1) return pyxa::INVALID_ARGUMENT;
    if (out.dtype != kFloat32) return pyxa::UNSUPPORTED_DTYPE;
    if (!float_rows_fit(out, channels)) return pyxa::INVALID_ARGUMENT;
    // Values the walk relies on: a grid as long as its dimensions say, pitches
    // that advance, planes that exist, and positions with room to add a pitch.
    uint64_t needed = 0;
    if (!pyxa::checked_mul(uint64_t(p.points_v), uint64_t(p.points_h), &needed) ||
        !pyxa::checked_mul(needed, uint64_t(p.map_planes), &needed) || p.gain_count < needed ||
        needed > uint64_t(kFarPosition))
        return pyxa::INVALID_ARGUMENT;
    if (p.row_pitch < 1 || p.col_pitch < 1 || p.start_plane < 0) return pyxa::INVALID_ARGUMENT;
    if (out.height > uint64_t(kFarPosition) || out.width > uint64_t(kFarPosition)) return pyxa::INVALID_ARGUMENT;
    return pyxa::OK;
}

namespace {

// The grid interpolated to one image row, for one gain plane.
struct GridRow {
    const float* gains;
    int64_t row0, row1;  // offsets of the two grid rows' first entries
    int64_t map_planes;
    float fv;

    float at(int64_t c) const {
        return (1.0f - fv) * gains[row0 + c * map_planes] + fv * gains[row1 + c * map_planes];
    }
};

GridRow grid_row(const GainGridParams& p, int64_t plane_m, int64_t y, uint64_t height) {
    const double v = ((double(y) + 0.5) / double(height) - p.origin_v) / p.spacing_v;
    const int64_t last = p.points_v - 1;
    int64_t r0 = 0, r1 = 0;
    float fv = 0.0f;
    if (v > 0.0 && v < double(last)) {
        r0 = int64_t(std::floor(v));
        r1 = r0 + 1;
        fv = float(v - double(r0));
    } else if (v >= double(last)) {
        r0 = r1 = last;
    }
    const int64_t row_len = int64_t(p.points_h) * p.map_planes;
    return {p.gains + plane_m, r0 * row_len, r1 * row_len, p.map_planes, fv};
}

// The running gain of the walk: value + slope * steps, valid up to column next.
struct WalkState {
    float value, slope, steps;
    int64_t next;
};

WalkState state_at(const GainGridParams& p, const GridRow& g, int64_t x, uint64_t width) {
    const double w = double(width);
    const double h = ((double(x) + 0.5) / w - p.origin_h) / p.spacing_h;
    const int64_t last = p.points_h - 1;
    if (!(h > 0.0)) {
        return {g.at(0), 0.0f, 0.0f, clamp_to_i64(std::ceil(w * p.origin_h - 0.5), -kFarPosition, kFarPosition)};
    }
    if (h >= double(last)) return {g.at(last), 0.0f, 0.0f, std::numeric_limits<int64_t>::max()};
    const int64_t c0 = int64_t(std::floor(h));
    const float a = g.at(c0);
    const float b = g.at(c0 + 1);
    const double diff = double(b) - double(a);
    const float value = float(double(a) + diff * (h - double(c0)));
    float slope = float(diff / (w * p.spacing_h));
    // A slope past the float range would make the exact gain at the cell start
    // value + inf * 0, NaN; such cells are far below one column wide anyway.
    slope = std::isfinite(slope) ? slope : 0.0f;
    const double next = std::ceil(((double(c0) + 1.0) * p.spacing_h + p.origin_h) * w - 0.5);
    return {value, slope, 0.0f, clamp_to_i64(next, -kFarPosition, kFarPosition)};
}

// The gains of n visited columns, pitch apart, under the state's linear gain.
void fill_gains(float* __restrict gains, int64_t n, int64_t pitch, float value, float slope, float steps0) {
    for (int64_t k = 0; k < n; ++k) gains[k] = value + slope * (steps0 + float(k * pitch));
}

// Steps the state column by column from `from` to `to`, recomputing it at every
// column that reaches its `next`; runs of columns without a new cell are skipped
// in one addition.
void advance(const GainGridParams& p, const GridRow& g, uint64_t width, int64_t from, int64_t to, WalkState* st) {
    int64_t cur = from;
    while (cur < to && st->next <= to) {
        cur = std::max(st->next, cur + 1);
        *st = state_at(p, g, cur, width);
    }
    st->steps += float(to - cur);
}

// The gain of every visited column of the row, packed: gains[j] belongs to
// column left0 + j * pitch.
void row_gains(const GainGridParams& p, const GridRow& g, float* gains, int64_t left0, int64_t right1,
               uint64_t width) {
    const int64_t pitch = p.col_pitch;
    const int64_t move = std::min<int64_t>(pitch, right1 - left0);
    int64_t x = left0;
    WalkState st = state_at(p, g, x, width);
    for (;;) {
        const int64_t limit = std::min(std::max(st.next, x + 1), right1);
        const int64_t n = (limit - x + pitch - 1) / pitch;
        fill_gains(gains + (x - left0) / pitch, n, pitch, st.value, st.slope, st.steps);
        const int64_t last = x + (n - 1) * pitch;
        st.steps += float((n - 1) * pitch);
        const int64_t target = last + move;
        if (target >= right1) return;
        advance(p, g, width, last, target, &st);
        x = target;
    }
}

// n visited samples, `stride` floats apart, each by its gain.
void scale_samples(float* __restrict px, int64_t stride, const float* __restrict gains, int64_t n) {
    for (int64_t k = 0; k < n; ++k) px[k * stride] = unit_clamp(px[k * stride] * gains[k]);
}

// Every sample of n three-channel pixels, by the gain of its plane.
void scale_pixels3(float* __restrict px, const float* __restrict g0, const float* __restrict g1,
                   const float* __restrict g2, int64_t n) {
    for (int64_t k = 0; k < n; ++k) {
        px[3 * k] = unit_clamp(px[3 * k] * g0[k]);
        px[3 * k + 1] = unit_clamp(px[3 * k + 1] * g1[k]);
        px[3 * k + 2] = unit_clamp(px[3 * k + 2] * g2[k]);
    }
}

Status apply_gain_grid(const ImageView& out, const GainGridParams& p) {
    const int64_t height = int64_t(out.height);
    const int64_t width = int64_t(out.width);
    const int64_t channels = int64_t(out.channels);
    const int64_t top0 = std::max<int64_t>(p.top, 0);
    const int64_t left0 = std::max<int64_t>(p.left, 0);
    const int64_t bottom1 = (p.bottom >= 1 && p.bottom <= height) ? p.bottom : height;
    const int64_t right1 = (p.right >= 1 && p.right <= width) ? p.right : width;
    if (top0 >= bottom1 || left0 >= right1) return pyxa::OK;
    if (p.num_planes < 1 || p.start_plane >= channels) return pyxa::OK;
    const int64_t plane_end = std::min<int64_t>(int64_t(p.start_plane) + p.num_planes, channels);
    const int64_t planes = plane_end - p.start_plane;
    // A row's gains are formed first (one packed buffer per plane), then the
    // samples are scaled; every sample is scaled once, by the same gain as
    // when each was formed on the way.
    const int64_t visited = (right1 - left0 + p.col_pitch - 1) / p.col_pitch;
    uint64_t floats = 0;
    if (!pyxa::checked_mul(uint64_t(visited), uint64_t(planes), &floats)) return pyxa::OUT_OF_MEMORY;
    std::unique_ptr<float[]> gains(new (std::nothrow) float[floats]);
    if (!gains) return pyxa::OUT_OF_MEMORY;
    const bool whole_pixels = channels == 3 && planes == 3 && p.col_pitch == 1;
    auto* base = static_cast<unsigned char*>(out.data);
    for (int64_t y = top0; y < bottom1; y += p.row_pitch) {
        auto* row = reinterpret_cast<float*>(base + uint64_t(y) * out.row_stride);
        for (int64_t j = 0; j < planes; ++j) {
            const int64_t m = std::min<int64_t>(p.start_plane + j, p.map_planes - 1);
            row_gains(p, grid_row(p, m, y, out.height), gains.get() + j * visited, left0, right1, out.width);
        }
        if (whole_pixels) {
            scale_pixels3(row + left0 * 3, gains.get(), gains.get() + visited, gains.get() + 2 * visited, visited);
            continue;
        }
        for (int64_t j = 0; j < planes; ++j) {
            scale_samples(row + left0 * channels + p.start_plane + j, p.col_pitch * channels,
                          gains.get() + j * visited, visited);
        }
    }
    return pyxa::OK;
}

}  // namespace

GainGridApply gain_grid_routine(pyxa::Isa isa) { return pyxa::routine_for<apply_gain_grid>(isa); }

Status run_gain_grid(const ImageView* in, const ImageView* out, uint64_t channels, const GainGridParams& p) {
    PYXA_TRY(check_scheme_a(in, out, channels));
    PYXA_TRY(copy_input_to_output(in, out));
    PYXA_TRY(check_gain_grid(*out, p, channels));
    return gain_grid_routine(pyxa::best_isa())(*out, p);
}

}  // namespace tarnimg
