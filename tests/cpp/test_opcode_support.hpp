// Helpers of the opcode tests: images surrounded by guard bytes (before, after
// and in every row's padding), attribute lists, and calls through the lookup.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "tarnimg_opcodes.h"

namespace opcode_test {

constexpr unsigned char kGuard = 0xA5;
constexpr size_t kGuardBytes = 64;

template <class T>
struct Image {
    uint64_t h, w, c, pad;  // pad: spare elements at the end of every row
    std::vector<unsigned char> bytes;

    Image(uint64_t h_, uint64_t w_, uint64_t c_, uint64_t pad_ = 0) : h(h_), w(w_), c(c_), pad(pad_) {
        bytes.assign(2 * kGuardBytes + h * stride(), kGuard);
        for (uint64_t y = 0; y < h; ++y) std::memset(row(y), 0, w * c * sizeof(T));
    }
    uint64_t stride() const { return (w * c + pad) * sizeof(T); }
    T* row(uint64_t y) { return reinterpret_cast<T*>(bytes.data() + kGuardBytes + y * stride()); }
    T& at(uint64_t y, uint64_t x, uint64_t ch = 0) { return row(y)[x * c + ch]; }
    ImageView view() {
        return ImageView{bytes.data() + kGuardBytes, h, w, c, sizeof(T) == 4 ? 3 : sizeof(T) == 2 ? 1 : 0, stride()};
    }
    // True when no byte outside the pixels changed.
    bool guards_intact() const {
        for (size_t i = 0; i < kGuardBytes; ++i)
            if (bytes[i] != kGuard || bytes[bytes.size() - 1 - i] != kGuard) return false;
        for (uint64_t y = 0; y < h; ++y)
            for (size_t i = 0; i < pad * sizeof(T); ++i)
                if (bytes[kGuardBytes + y * stride() + w * c * sizeof(T) + i] != kGuard) return false;
        return true;
    }
    bool same_pixels(Image& o) {
        for (uint64_t y = 0; y < h; ++y)
            if (std::memcmp(row(y), o.row(y), w * c * sizeof(T)) != 0) return false;
        return guards_intact() && o.guards_intact();
    }
};

using FImage = Image<float>;
using U16Image = Image<uint16_t>;

// Reproducible pseudo-random samples in [lo, hi).
template <class T>
void fill(Image<T>& im, double lo = 0.0, double hi = 1.0, uint32_t seed = 1) {
    for (uint64_t y = 0; y < im.h; ++y)
        for (uint64_t i = 0; i < im.w * im.c; ++i) {
            seed = seed * 1664525u + 1013904223u;
            im.row(y)[i] = T(lo + (hi - lo) * double(seed >> 8) / double(1u << 24));
        }
}

// Attribute list; names are string literals and copies share the array storage.
class Attrs {
public:
    Attrs& i32(const char* n, int32_t v) { add(n, TARNIMG_ATTR_INT32, 1).value.i32 = v; return *this; }
    Attrs& f32(const char* n, float v) { add(n, TARNIMG_ATTR_FLOAT32, 1).value.f32 = v; return *this; }
    Attrs& f64(const char* n, double v) { add(n, TARNIMG_ATTR_FLOAT64, 1).value.f64 = v; return *this; }
    Attrs& f32s(const char* n, std::vector<float> v) {
        f32_->push_back(std::move(v));
        add(n, TARNIMG_ATTR_FLOAT32_ARRAY, f32_->back().size()).value.ptr = f32_->back().data();
        return *this;
    }
    Attrs& f64s(const char* n, std::vector<double> v) {
        f64_->push_back(std::move(v));
        add(n, TARNIMG_ATTR_FLOAT64_ARRAY, f64_->back().size()).value.ptr = f64_->back().data();
        return *this;
    }
    Attrs without(const std::string& n) const {
        Attrs a = *this;
        for (size_t i = 0; i < a.items_.size(); ++i)
            if (n == a.items_[i].name) return a.items_.erase(a.items_.begin() + i), a;
        return a;
    }
    // Puts an item in front of all others (the first item of a name decides).
    Attrs& front(AttrItem item) { items_.insert(items_.begin(), item); return *this; }
    AttrItem& item(const std::string& n) {
        for (AttrItem& it : items_)
            if (n == it.name) return it;
        ADD_FAILURE() << "no item " << n;
        return items_.front();
    }
    const AttrItem* data() const { return items_.data(); }
    uint64_t size() const { return items_.size(); }

private:
    AttrItem& add(const char* n, int32_t t, uint64_t c) {
        AttrItem it{};
        it.name = n, it.type = t, it.count = c;
        items_.push_back(it);
        return items_.back();
    }
    std::shared_ptr<std::deque<std::vector<float>>> f32_ = std::make_shared<std::deque<std::vector<float>>>();
    std::shared_ptr<std::deque<std::vector<double>>> f64_ = std::make_shared<std::deque<std::vector<double>>>();
    std::vector<AttrItem> items_;
};

inline int32_t call(const std::string& op, const ImageView& in, const ImageView& out, const Attrs& a) {
    const OpcodeFn fn = tarnimg_lookup_opcode(op.c_str());
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
        a.f64s("radial_params", {1.0, 1.0, 1.0}).i32("num_planes", 3).i32("num_coeffs", 1);
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

inline uint64_t valid_channels(const std::string& op) {
    return op == "apply_gain_map_cfa" || op == "apply_flat_gain_map" || op == "fix_bad_pixels_constant" ? 1 : 3;
}

}  // namespace opcode_test
