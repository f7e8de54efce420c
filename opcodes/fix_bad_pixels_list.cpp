// "fix_bad_pixels_list": in a one-channel uint16 or float32 Bayer mosaic, the
// listed points and every pixel of the listed rectangles are bad; each bad
// pixel becomes the mean of the good input samples on the nearest ring of its
// same-colour candidates (rings 1 to 16; uint16 rounds half up). A bad pixel
// with no good candidate on any of the 16 rings keeps its input value; every
// other pixel is copied. Checks: schema, scheme B (one channel, same dtype),
// then the lists; there is no copy before them.
#include <cstring>
#include <iterator>
#include <memory>

#include "core/checked.hpp"
#include "opcodes/bad_pixel_mask.hpp"
#include "opcodes/bayer_phase.hpp"
#include "opcodes/entries.h"
#include "opcodes/float_math.hpp"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

constexpr int64_t kRings = 16;

BadPixelList read_list(const AttrItem* points, const AttrItem* rects) {
    BadPixelList l{nullptr, 0, nullptr, 0};
    if (points != nullptr) l.points = static_cast<const int32_t*>(points->value.ptr), l.point_count = points->count;
    if (rects != nullptr) l.rects = static_cast<const int32_t*>(rects->value.ptr), l.rect_count = rects->count;
    return l;
}

bool inside(int32_t v, uint64_t extent) { return v >= 0 && uint64_t(v) < extent; }

// Every point inside the image and every rectangle a non-empty part of it.
Status check_list(const BadPixelList& l, uint64_t height, uint64_t width) {
    if ((l.point_count != 0 && l.points == nullptr) || (l.rect_count != 0 && l.rects == nullptr))
        return pyxa::INVALID_ARGUMENT;
    if (l.point_count % 2 != 0 || l.rect_count % 4 != 0) return pyxa::INVALID_ARGUMENT;
    // Candidate positions are a pixel plus or minus 32.
    if (height > uint64_t(kFarPosition) || width > uint64_t(kFarPosition)) return pyxa::INVALID_ARGUMENT;
    for (uint64_t i = 0; i < l.point_count; i += 2) {
        if (!inside(l.points[i], height) || !inside(l.points[i + 1], width)) return pyxa::INVALID_ARGUMENT;
    }
    for (uint64_t i = 0; i < l.rect_count; i += 4) {
        const int32_t* q = l.rects + i;
        if (!inside(q[0], height) || !inside(q[1], width)) return pyxa::INVALID_ARGUMENT;
        if (q[2] <= q[0] || uint64_t(q[2]) > height || q[3] <= q[1] || uint64_t(q[3]) > width)
            return pyxa::INVALID_ARGUMENT;
    }
    return pyxa::OK;
}

// The candidates of ring k, in the order their values are summed: class 1
// up, down, left, right 2k away; class 0 up-left, up-right, down-left,
// down-right k away.
struct Ring {
    int64_t dy[4], dx[4];
};

Ring ring(uint32_t site_class, int64_t k) {
    if (site_class != 0) return {{-2 * k, 2 * k, 0, 0}, {0, 0, -2 * k, 2 * k}};
    return {{-k, -k, k, k}, {-k, k, -k, k}};
}

template <class T>
struct Mean;

// Rounded half up, as fix_bad_pixels_constant rounds (n = 4 gives (s + 2) >> 2).
template <>
struct Mean<uint16_t> {
    uint32_t sum = 0;
    void add(uint16_t v) { sum += v; }
    uint16_t of(uint32_t n) const { return uint16_t((sum + n / 2) / n); }
};

template <>
struct Mean<float> {
    float sum = 0.0f;
    void add(float v) { sum += v; }
    float of(uint32_t n) const { return sum / float(n); }
};

template <class T>
struct Mosaic {
    const unsigned char* in;
    uint64_t in_stride;
    const uint8_t* mask;
    int64_t height, width;
    const T& at(int64_t y, int64_t x) const {
        return reinterpret_cast<const T*>(in + uint64_t(y) * in_stride)[x];
    }
    bool good(int64_t y, int64_t x) const {
        return y >= 0 && y < height && x >= 0 && x < width && mask[uint64_t(y) * uint64_t(width) + uint64_t(x)] == 0;
    }
};

// The repaired value of bad pixel (y, x), or false when no ring has a good
// candidate.
template <class T>
bool repaired(const Mosaic<T>& m, int64_t y, int64_t x, uint32_t site_class, T* value) {
    for (int64_t k = 1; k <= kRings; ++k) {
        const Ring r = ring(site_class, k);
        Mean<T> mean;
        uint32_t n = 0;
        for (int i = 0; i < 4; ++i) {
            const int64_t yy = y + r.dy[i], xx = x + r.dx[i];
            if (!m.good(yy, xx)) continue;
            mean.add(m.at(yy, xx));
            ++n;
        }
        if (n != 0) {
            *value = mean.of(n);
            return true;
        }
    }
    return false;
}

// The output already holds the input; only bad pixels are written, and only
// good samples are read, so an output that is the input itself reads the
// same values.
template <class T>
void repair_image(const ImageView& in, const ImageView& out, const uint8_t* mask, uint32_t parity) {
    const Mosaic<T> m{static_cast<const unsigned char*>(in.data), in.row_stride, mask, int64_t(in.height),
                      int64_t(in.width)};
    auto* out_base = static_cast<unsigned char*>(out.data);
    for (int64_t y = 0; y < m.height; ++y) {
        const uint8_t* mask_row = mask + uint64_t(y) * uint64_t(m.width);
        T* out_row = reinterpret_cast<T*>(out_base + uint64_t(y) * out.row_stride);
        const void* hit = std::memchr(mask_row, 1, uint64_t(m.width));
        while (hit != nullptr) {
            const int64_t x = static_cast<const uint8_t*>(hit) - mask_row;
            const uint32_t site_class = uint32_t((uint64_t(parity) + uint64_t(y) + uint64_t(x)) & 1u);
            T v;
            if (repaired(m, y, x, site_class, &v)) out_row[x] = v;
            hit = std::memchr(mask_row + x + 1, 1, uint64_t(m.width - x - 1));
        }
    }
}

Status run(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, uint64_t output_count,
           const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[std::size(schemas::fix_bad_pixels_list)];
    PYXA_TRY(check_schema(schemas::fix_bad_pixels_list, items, item_count, slots));
    PYXA_TRY(check_scheme_b(inputs, input_count, outputs, output_count, SchemeB::BadPixelList));
    const ImageView& in = *inputs;
    const ImageView& out = *outputs;
    const BadPixelList list = read_list(slots[1], slots[2]);
    PYXA_TRY(check_list(list, in.height, in.width));
    if (in.height == 0 || in.width == 0) return pyxa::OK;
    if (list.point_count == 0 && list.rect_count == 0) return copy_input_to_output(&in, &out);
    std::unique_ptr<uint8_t[]> mask;
    PYXA_TRY(build_bad_pixel_mask(list, in.height, in.width, &mask));
    PYXA_TRY(copy_input_to_output(&in, &out));
    const uint32_t parity = phase_parity(attr_i32(slots[0]));
    if (in.dtype == kUint16) {
        repair_image<uint16_t>(in, out, mask.get(), parity);
    } else {
        repair_image<float>(in, out, mask.get(), parity);
    }
    return pyxa::OK;
}

}  // namespace
}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_fix_bad_pixels_list) {
    return tarnimg::guarded([&] { return tarnimg::run(inputs, input_count, outputs, output_count, items, item_count); });
}
