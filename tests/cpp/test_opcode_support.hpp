// Helpers of the opcode tests: images surrounded by guard bytes (before, after
// and in every row's padding), attribute lists, and calls through the lookup.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tarnimg_opcodes.h"

namespace opcode_test {

constexpr unsigned char kGuard = 0xA5;
constexpr size_t kGuardBytes = 64;

template <class T>
struct Image {
    uint64_t h, w, c, pad;  // pad: extra elements at the end of every row
    std::vector<unsigned char> bytes;

    Image(uint64_t h_, uint64_t w_, uint64_t c_, uint64_t pad_ = 0) : h(h_), w(w_), c(c_), pad(pad_) {
        bytes.assign(2 * kGuardBytes + h * stride(), kGuard);
        for (uint64_t y = 0; y < h; ++y)
            for (uint64_t i = 0; i < w * c; ++i) row(y)[i] = T(0);
    }
    uint64_t stride() const { return (w * c + pad) * sizeof(T); }
    T* row(uint64_t y) { return reinterpret_cast<T*>(bytes.data() + kGuardBytes + y * stride()); }
    T& at(uint64_t y, uint64_t x, uint64_t ch = 0) { return row(y)[x * c + ch]; }
    int32_t dtype() const { return sizeof(T) == 4 ? 3 : sizeof(T) == 2 ? 1 : 0; }
    ImageView view() { return ImageView{bytes.data() + kGuardBytes, h, w, c, dtype(), stride()}; }

    // True when no byte outside the pixels changed.
    bool guards_intact() const {
        for (size_t i = 0; i < kGuardBytes; ++i)
            if (bytes[i] != kGuard || bytes[bytes.size() - 1 - i] != kGuard) return false;
        for (uint64_t y = 0; y < h; ++y) {
            const size_t start = kGuardBytes + y * stride() + w * c * sizeof(T);
            for (size_t i = 0; i < pad * sizeof(T); ++i)
                if (bytes[start + i] != kGuard) return false;
        }
        return true;
    }
    bool same_pixels(Image& o) {
        for (uint64_t y = 0; y < h; ++y)
            if (std::memcmp(row(y), o.row(y), w * c * sizeof(T)) != 0) return false;
        return true;
    }
};

using FImage = Image<float>;
using U16Image = Image<uint16_t>;

// Pseudo-random floats in [lo, hi), reproducible.
inline void fill(FImage& im, float lo = 0.0f, float hi = 1.0f, uint32_t seed = 1) {
    for (uint64_t y = 0; y < im.h; ++y)
        for (uint64_t i = 0; i < im.w * im.c; ++i) {
            seed = seed * 1664525u + 1013904223u;
            im.row(y)[i] = lo + (hi - lo) * float(seed >> 8) / float(1u << 24);
        }
}

class Attrs {
public:
    Attrs& i32(const char* n, int32_t v) { return add(n, TARNIMG_ATTR_INT32, 1).set_i32(v); }
    Attrs& f32(const char* n, float v) { add(n, TARNIMG_ATTR_FLOAT32, 1).items_.back().value.f32 = v; return *this; }
    Attrs& f64(const char* n, double v) { add(n, TARNIMG_ATTR_FLOAT64, 1).items_.back().value.f64 = v; return *this; }
    Attrs& f32s(const char* n, std::vector<float> v) {
        f32_->push_back(std::move(v));
        add(n, TARNIMG_ATTR_FLOAT32_ARRAY, f32_->back().size()).items_.back().value.ptr = f32_->back().data();
        return *this;
    }
    Attrs& f64s(const char* n, std::vector<double> v) {
        f64_->push_back(std::move(v));
        add(n, TARNIMG_ATTR_FLOAT64_ARRAY, f64_->back().size()).items_.back().value.ptr = f64_->back().data();
        return *this;
    }
    // Overrides of the last item, for type and count faults.
    Attrs& type(int32_t t) { items_.back().type = t; return *this; }
    Attrs& count(uint64_t c) { items_.back().count = c; return *this; }
    // A copy without the first item called `n` (copies share the array storage).
    Attrs without(const char* n) const {
        Attrs a = *this;
        for (size_t i = 0; i < a.items_.size(); ++i)
            if (std::string(a.items_[i].name) == n) { a.items_.erase(a.items_.begin() + i); break; }
        return a;
    }
    // Puts an item in front of all others (the first item of a name decides).
    Attrs& front(AttrItem item) { items_.insert(items_.begin(), item); return *this; }
    AttrItem& item(const char* n) {
        for (AttrItem& it : items_) if (std::string(it.name) == n) return it;
        throw std::runtime_error(n);
    }
    const AttrItem* data() const { return items_.data(); }
    uint64_t size() const { return items_.size(); }
    std::vector<std::string> names() const {
        std::vector<std::string> r;
        for (const AttrItem& it : items_) r.push_back(it.name);
        return r;
    }

private:
    // Names are string literals, so copies of the list stay valid.
    Attrs& add(const char* n, int32_t t, uint64_t c) {
        AttrItem it{};
        it.name = n;
        it.type = t;
        it.count = c;
        items_.push_back(it);
        return *this;
    }
    Attrs& set_i32(int32_t v) { items_.back().value.bits = 0; items_.back().value.i32 = v; return *this; }
    std::shared_ptr<std::deque<std::vector<float>>> f32_ = std::make_shared<std::deque<std::vector<float>>>();
    std::shared_ptr<std::deque<std::vector<double>>> f64_ = std::make_shared<std::deque<std::vector<double>>>();
    std::vector<AttrItem> items_;
};

inline int32_t call(const char* op, const ImageView& in, const ImageView& out, const Attrs& a) {
    OpcodeFn fn = tarnimg_lookup_opcode(op);
    EXPECT_NE(fn, nullptr) << op;
    return fn ? fn(&in, 1, &out, 1, a.data(), a.size()) : -1;
}

// A parameter list that passes every check of the opcode on a float32 image
// (uint16 for the bad-pixel opcode) of at least 4 x 4 pixels.
inline Attrs valid_attrs(const std::string& op) {
    Attrs a;
    if (op == "apply_profile_gain_table_map") {
        a.f32s("gains", std::vector<float>(12, 1.0f)).i32("points_v", 2).i32("points_h", 2);
        a.f32("spacing_v", 1.0f).f32("spacing_h", 1.0f).f32("origin_v", 0.0f).f32("origin_h", 0.0f);
        a.i32("num_table_points", 3).f32s("weights", {0, 0, 0, 0, 1}).f32("gamma", 1.0f);
        a.f32("exposure_weight_gain", 1.0f);
    } else if (op == "fix_vignette") {
        a.f64s("params", {0.1}).f64("center_x", 0.5).f64("center_y", 0.5);
    } else if (op == "warp_rectilinear") {
        a.f64s("radial_params", {1.0}).i32("num_planes", 1).i32("num_coeffs", 1);
        a.f64("center_x", 0.5).f64("center_y", 0.5).i32("use_bicubic", 0);
    } else if (op == "apply_gain_map" || op == "apply_gain_map_cfa") {
        a.f32s("gain_values", std::vector<float>(4, 1.5f)).i32("points_v", 2).i32("points_h", 2);
        a.i32("map_planes", 1).i32("top", 0).i32("left", 0).i32("bottom", 0).i32("right", 0);
        if (op == "apply_gain_map") a.i32("start_plane", 0).i32("num_planes", 3);
        a.i32("row_pitch", 1).i32("col_pitch", 1);
        a.f64("spacing_v", 1.0).f64("spacing_h", 1.0).f64("origin_v", 0.0).f64("origin_h", 0.0);
    } else if (op == "apply_flat_gain_map") {
        a.f32s("gain_map", {1, 1, 1, 1}).i32("gain_h", 2).i32("gain_w", 2);
    } else if (op == "map_polynomial") {
        a.i32("top", 0).i32("left", 0).i32("bottom", 0).i32("right", 0).i32("start_plane", 0);
        a.i32("num_planes", 3).i32("row_pitch", 1).i32("col_pitch", 1);
        a.f32s("coefficients", {0.0f, 0.5f}).i32("degree", 1);
    } else if (op == "fix_bad_pixels_constant") {
        a.i32("constant", 0).i32("bayer_phase", 0);
    }
    return a;
}

// Channels each opcode's valid call uses.
inline uint64_t valid_channels(const std::string& op) {
    if (op == "apply_gain_map_cfa" || op == "apply_flat_gain_map" || op == "fix_bad_pixels_constant") return 1;
    return 3;
}

}  // namespace opcode_test
