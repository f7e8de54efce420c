// The shared part of the lens warps: parameter checks, the per-column terms,
// the overlap rule and the row, plane and chunk loop around a warp's map.
#include "opcodes/warp_resample.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "core/checked.hpp"
#include "opcodes/bicubic_table.hpp"
#include "opcodes/float_math.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/lens_geometry.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

Status check_warp(const ImageView& in, const ImageView& out, const WarpParams& p, uint64_t planes) {
    if (p.radial == nullptr || p.num_planes < 1 || p.num_coeffs < 1) return pyxa::INVALID_ARGUMENT;
    if (in.dtype != kFloat32 || out.dtype != kFloat32) return pyxa::UNSUPPORTED_DTYPE;
    if (!float_rows_fit(in, in.channels) || !float_rows_fit(out, out.channels)) return pyxa::INVALID_ARGUMENT;
    // The coefficient arrays must cover every plane that is resampled, and a
    // bicubic window of 4 x 4 pixels must fit inside the image.
    uint64_t needed = 0;
    if (!pyxa::checked_mul(uint64_t(p.num_coeffs), planes, &needed) || p.radial_count < needed)
        return pyxa::INVALID_ARGUMENT;
    if (p.tangential != nullptr && (p.tangential->value.ptr == nullptr || p.tangential->count / 2 < planes))
        return pyxa::INVALID_ARGUMENT;
    if (p.bicubic && (in.height < 4 || in.width < 4)) return pyxa::INVALID_ARGUMENT;
    if (in.height > uint64_t(kFarPosition) || in.width > uint64_t(kFarPosition)) return pyxa::INVALID_ARGUMENT;
    return pyxa::OK;
}

// The per-column terms of the map, the same on every row: x - cx and its
// distance from the centre over the radius.
struct ColumnTerms {
    std::unique_ptr<double[]> offset, d;
};

bool column_terms(const LensGeometry& g, int64_t width, ColumnTerms* t) {
    t->offset.reset(new (std::nothrow) double[uint64_t(width)]);
    t->d.reset(new (std::nothrow) double[uint64_t(width)]);
    if (!t->offset || !t->d) return false;
    for (int64_t x = 0; x < width; ++x) {
        t->offset[x] = double(x) - g.cx;
        t->d[x] = (double(x) - g.cx) / g.radius;
    }
    return true;
}

// True when every float index of a plane of the input, counted from the
// plane's first sample, fits in 32 bits.
bool narrow_indices(const ImageView& in) {
    constexpr uint64_t kMax = 0x7fffffff;
    uint64_t rows = 0, cols = 0, last = 0;
    return in.height <= kMax && in.width <= kMax &&
           pyxa::checked_mul(in.height - 1, in.row_stride / 4, &rows) &&
           pyxa::checked_mul(in.width - 1, in.channels, &cols) && pyxa::checked_add(rows, cols, &last) &&
           last <= kMax;
}

// True when the output's memory overlaps the input's. Such a call reads
// samples it has already written, pixel after pixel; it is then resampled one
// pixel per chunk so that each read still sees the same writes before it.
bool overlapping(const ImageView& in, const ImageView& out) {
    // Address ranges as integers; a size that does not fit counts as overlap
    // (the careful path is only slower).
    uint64_t in_end = 0, out_end = 0;
    const auto end = [](const ImageView& v, uint64_t* e) {
        uint64_t rows = 0, last = 0;
        return pyxa::checked_mul(v.height - 1, v.row_stride, &rows) && pyxa::checked_mul(v.width, v.channels, &last) &&
               pyxa::checked_mul(last, 4, &last) && pyxa::checked_add(rows, last, &rows) &&
               pyxa::checked_add(uint64_t(reinterpret_cast<uintptr_t>(v.data)), rows, e);
    };
    if (!end(in, &in_end) || !end(out, &out_end)) return true;
    return uint64_t(reinterpret_cast<uintptr_t>(in.data)) < out_end &&
           uint64_t(reinterpret_cast<uintptr_t>(out.data)) < in_end;
}

RowMap row_map(const WarpParams& p, const LensGeometry& g, const double* tan, uint64_t k, int64_t y,
               int64_t width, int64_t height) {
    const double dy = (double(y) - g.cy) / g.radius;
    return {p.radial + k * uint64_t(p.num_coeffs),
            tan != nullptr ? tan[2 * k] : 0.0,
            tan != nullptr ? tan[2 * k + 1] : 0.0,
            g.cx,
            g.cy,
            g.radius,
            dy,
            2.0 * dy * dy,
            double(y) - g.cy,
            double(width - 1),
            double(height - 1)};
}

// True when an interleaved three-plane image has the same map on each plane
// (one coefficient set given for all, as most lens profiles do): byte-equal
// coefficients run the same operations, so the map is computed once and the
// three planes sampled together.
bool planes_share_map(const ImageView& in, const ImageView& out, const WarpParams& p, uint64_t planes,
                      const double* tan) {
    if (planes != 3 || in.channels != 3 || out.channels != 3) return false;
    const uint64_t n = uint64_t(p.num_coeffs);
    for (uint64_t k = 1; k < planes; ++k) {
        if (std::memcmp(p.radial, p.radial + k * n, n * sizeof(double)) != 0) return false;
        if (tan != nullptr && std::memcmp(tan, tan + 2 * k, 2 * sizeof(double)) != 0) return false;
    }
    return true;
}

// The three planes of each row at once, chunk by chunk: one map pass and one
// sampling pass that writes the output row.
void resample_shared(const ImageView& in, const ImageView& out, const WarpParams& p, const LensGeometry& g,
                     const ColumnTerms& cols, const double* tan, const float* table, WarpSampleRgb sample,
                     const WarpMaps& maps) {
    const int64_t width = int64_t(in.width);
    const int64_t height = int64_t(in.height);
    const bool tangential = tan != nullptr && (tan[0] != 0.0 || tan[1] != 0.0);
    const WarpMap map = tangential ? maps.tangential : maps.plain;
    const WarpSource src{static_cast<const float*>(in.data), int64_t(in.row_stride / 4), 3, width, height};
    auto* out_base = static_cast<unsigned char*>(out.data);
    double xs[kWarpChunk], ys[kWarpChunk];
    for (int64_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<float*>(out_base + uint64_t(y) * out.row_stride);
        const RowMap m = row_map(p, g, tangential ? tan : nullptr, 0, y, width, height);
        for (int64_t x = 0; x < width; x += kWarpChunk) {
            const int64_t n = std::min(kWarpChunk, width - x);
            map(m, cols.offset.get() + x, cols.d.get() + x, n, xs, ys);
            sample(src, table, xs, ys, n, row + 3 * x);
        }
    }
}

// Row by row, plane by plane, chunk by chunk: the map pass, the sampling pass,
// and the values stored at the output's channel step (straight into the row
// when it has one channel).
Status resample(const ImageView& in, const ImageView& out, const WarpParams& p, uint64_t planes,
                const float* table, pyxa::Isa isa, const WarpMaps& maps) {
    const LensGeometry g = lens_geometry(in.height, in.width, p.center_x, p.center_y);
    const int64_t width = int64_t(in.width);
    const int64_t height = int64_t(in.height);
    const int64_t channels = int64_t(out.channels);
    ColumnTerms cols;
    if (!column_terms(g, width, &cols)) return pyxa::OUT_OF_MEMORY;
    const double* tan = p.tangential ? attr_f64s(p.tangential) : nullptr;
    const bool narrow = narrow_indices(in);
    const bool overlap = overlapping(in, out);
    const WarpSampleRgb sample_rgb = warp_sample_rgb_for(isa, p.bicubic, narrow);
    if (sample_rgb != nullptr && !overlap && planes_share_map(in, out, p, planes, tan)) {
        resample_shared(in, out, p, g, cols, tan, table, sample_rgb, maps);
        return pyxa::OK;
    }
    const WarpSample sample = warp_sample_for(isa, p.bicubic, narrow);
    const int64_t chunk = overlap ? 1 : kWarpChunk;
    auto* out_base = static_cast<unsigned char*>(out.data);
    double xs[kWarpChunk], ys[kWarpChunk];
    float values[kWarpChunk];
    for (int64_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<float*>(out_base + uint64_t(y) * out.row_stride);
        for (uint64_t k = 0; k < planes; ++k) {
            const bool tangential = tan != nullptr && (tan[2 * k] != 0.0 || tan[2 * k + 1] != 0.0);
            const RowMap m = row_map(p, g, tangential ? tan : nullptr, k, y, width, height);
            const WarpSource src{static_cast<const float*>(in.data) + k, int64_t(in.row_stride / 4),
                                 int64_t(in.channels), width, height};
            const WarpMap map = tangential ? maps.tangential : maps.plain;
            for (int64_t x = 0; x < width; x += chunk) {
                const int64_t n = std::min(chunk, width - x);
                map(m, cols.offset.get() + x, cols.d.get() + x, n, xs, ys);
                float* dst = row + x * channels + int64_t(k);
                if (channels == 1) {
                    sample(src, table, xs, ys, n, dst);
                    continue;
                }
                sample(src, table, xs, ys, n, values);
                for (int64_t i = 0; i < n; ++i) dst[i * channels] = values[i];
            }
        }
    }
    return pyxa::OK;
}

}  // namespace

Status run_warp(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
                uint64_t output_count, const WarpParams& p, const WarpMaps& maps) {
    PYXA_TRY(check_scheme_b(inputs, input_count, outputs, output_count, SchemeB::SameImage));
    const ImageView& in = *inputs;
    const ImageView& out = *outputs;
    const uint64_t planes = std::min<uint64_t>(uint64_t(p.num_planes), out.channels);
    PYXA_TRY(check_warp(in, out, p, planes));
    if (in.height == 0 || in.width == 0 || planes == 0) return pyxa::OK;
    const float* table = nullptr;
    if (p.bicubic) {
        table = bicubic_table();
        if (table == nullptr) return pyxa::OUT_OF_MEMORY;
    }
    return resample(in, out, p, planes, table, isa, maps);
}

}  // namespace tarnimg
