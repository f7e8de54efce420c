// "warp_rectilinear": removes radial and tangential lens distortion by
// resampling each plane of a float32 input into the output, bilinear or
// bicubic (through the precomputed weight table).
#include <algorithm>
#include <cmath>

#include "core/checked.hpp"
#include "opcodes/bicubic_table.hpp"
#include "opcodes/entries.h"
#include "opcodes/float_math.hpp"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/lens_geometry.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

constexpr ParamSpec kSchema[] = {
    {"radial_params", TARNIMG_ATTR_FLOAT64_ARRAY, 0, 0},
    {"num_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"num_coeffs", TARNIMG_ATTR_INT32, 1, 0},
    {"tangential_params", TARNIMG_ATTR_FLOAT64_ARRAY, 0, 1},
    {"center_x", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"center_y", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"use_bicubic", TARNIMG_ATTR_INT32, 1, 0},
};

struct WarpParams {
    const double* radial;
    uint64_t radial_count;
    int32_t num_planes, num_coeffs;
    const AttrItem* tangential;  // null when absent
    double center_x, center_y;
    bool bicubic;
};

WarpParams read_params(const AttrItem* const (&s)[7]) {
    return {attr_f64s(s[0]), s[0]->count,    attr_i32(s[1]),      attr_i32(s[2]),
            s[3],            attr_f64(s[4]), attr_f64(s[5]),      attr_i32(s[6]) != 0};
}

// The read side of the sampling: plane `plane` of the input.
struct Source {
    const unsigned char* base;
    uint64_t row_stride;
    int64_t channels, plane;
    int64_t width, height;

    float at(int64_t y, int64_t x) const {
        return reinterpret_cast<const float*>(base + uint64_t(y) * row_stride)[x * channels + plane];
    }
};

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

struct Bilinear {
    float operator()(const Source& src, double sx, double sy) const {
        const int64_t x0 = clamp_to_i64(std::floor(sx), 0, src.width - 1);
        const int64_t y0 = clamp_to_i64(std::floor(sy), 0, src.height - 1);
        const int64_t x1 = std::min(x0 + 1, src.width - 1);
        const int64_t y1 = std::min(y0 + 1, src.height - 1);
        const double fx = sx - double(x0);
        const double fy = sy - double(y0);
        const double top = double(src.at(y0, x0)) * (1.0 - fx) + double(src.at(y0, x1)) * fx;
        const double bottom = double(src.at(y1, x0)) * (1.0 - fx) + double(src.at(y1, x1)) * fx;
        return float(top * (1.0 - fy) + bottom * fy);
    }
};

// Window start and fraction bin along one axis; a window pushed against an
// image edge uses bin 0.
inline void bicubic_axis(double s, int64_t extent, int64_t* start, int64_t* bin) {
    const int64_t i0 = clamp_to_i64(std::floor(s), 0, extent - 1);
    if (i0 - 1 < 0) {
        *start = 0;
        *bin = 0;
    } else if (i0 - 1 > extent - 4) {
        *start = extent - 4;
        *bin = 0;
    } else {
        *start = i0 - 1;
        *bin = clamp_to_i64((s - double(i0)) * kBicubicBins, 0, kBicubicBins - 1);
    }
}

struct Bicubic {
    const float* table;

    float operator()(const Source& src, double sx, double sy) const {
        int64_t bx, jx, by, jy;
        bicubic_axis(sx, src.width, &bx, &jx);
        bicubic_axis(sy, src.height, &by, &jy);
        const float* w = table + (jy * kBicubicBins + jx) * kBicubicTaps;
        float acc = 0.0f;
        for (int64_t r = 0; r < 4; ++r) {
            for (int64_t c = 0; c < 4; ++c) acc += src.at(by + r, bx + c) * w[4 * r + c];
        }
        return unit_clamp(acc);
    }
};

inline double clamp_coord(double v, int64_t extent) {
    const double hi = double(extent - 1);
    v = v < hi ? v : hi;
    return v > 0.0 ? v : 0.0;  // NaN becomes 0
}

template <class Sampler>
void resample(const ImageView& in, const ImageView& out, const WarpParams& p, uint64_t planes,
              const Sampler& sample) {
    const LensGeometry g = lens_geometry(in.height, in.width, p.center_x, p.center_y);
    const int64_t width = int64_t(in.width);
    const int64_t height = int64_t(in.height);
    const int64_t channels = int64_t(out.channels);
    const double* tan = p.tangential ? attr_f64s(p.tangential) : nullptr;
    auto* out_base = static_cast<unsigned char*>(out.data);
    for (int64_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<float*>(out_base + uint64_t(y) * out.row_stride);
        const double dy = (double(y) - g.cy) / g.radius;
        for (int64_t x = 0; x < width; ++x) {
            const double dx = (double(x) - g.cx) / g.radius;
            const double s = std::min(dx * dx + dy * dy, 1.0);
            const double s2 = s * s;
            const double s3 = s2 * s;
            for (uint64_t k = 0; k < planes; ++k) {
                const double* c = p.radial + k * uint64_t(p.num_coeffs);
                double ratio = c[0];
                if (p.num_coeffs > 1) ratio += c[1] * s;
                if (p.num_coeffs > 2) ratio += c[2] * s2;
                if (p.num_coeffs > 3) ratio += c[3] * s3;
                double sx = g.cx + ratio * (double(x) - g.cx);
                double sy = g.cy + ratio * (double(y) - g.cy);
                if (tan != nullptr && (tan[2 * k] != 0.0 || tan[2 * k + 1] != 0.0)) {
                    const double p0 = tan[2 * k];
                    const double p1 = tan[2 * k + 1];
                    sx += g.radius * (2.0 * p0 * dx * dy + p1 * (s + 2.0 * dx * dx));
                    sy += g.radius * (p0 * (s + 2.0 * dy * dy) + 2.0 * p1 * dx * dy);
                }
                const Source src{static_cast<const unsigned char*>(in.data), in.row_stride,
                                 int64_t(in.channels), int64_t(k), width, height};
                row[x * channels + int64_t(k)] = sample(src, clamp_coord(sx, width), clamp_coord(sy, height));
            }
        }
    }
}

Status run(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, uint64_t output_count,
           const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[7];
    PYXA_TRY(check_schema(kSchema, items, item_count, slots));
    PYXA_TRY(check_scheme_b(inputs, input_count, outputs, output_count, SchemeB::SameImage));
    const ImageView& in = *inputs;
    const ImageView& out = *outputs;
    const WarpParams p = read_params(slots);
    const uint64_t planes = std::min<uint64_t>(uint64_t(p.num_planes), out.channels);
    PYXA_TRY(check_warp(in, out, p, planes));
    if (in.height == 0 || in.width == 0 || planes == 0) return pyxa::OK;
    if (!p.bicubic) {
        resample(in, out, p, planes, Bilinear{});
        return pyxa::OK;
    }
    const float* table = bicubic_table();
    if (table == nullptr) return pyxa::OUT_OF_MEMORY;
    resample(in, out, p, planes, Bicubic{table});
    return pyxa::OK;
}

}  // namespace
}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_warp_rectilinear) {
    return tarnimg::guarded([&] { return tarnimg::run(inputs, input_count, outputs, output_count, items, item_count); });
}
