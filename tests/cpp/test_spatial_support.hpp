// Helpers of the spatial kernel tests: attribute lists owning their payloads,
// tensor descriptions and resolving one node through the op registry.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "core/kernel_step.hpp"
#include "ops/registry.hpp"

namespace pyxa::spatial_test {

class Attrs {
public:
    Attrs& i32(const char* name, int32_t v) { return add(name, ATTR_INT32, 1).value.i32 = v, *this; }
    Attrs& f32(const char* name, float v) { return add(name, ATTR_FLOAT32, 1).value.f32 = v, *this; }
    Attrs& floats(const char* name, std::vector<float> v) {
        floats_.push_back(std::move(v));
        add(name, ATTR_FLOAT32_ARRAY, floats_.back().size()).value.ptr = floats_.back().data();
        return *this;
    }
    Attrs& ints(const char* name, std::vector<int32_t> v) {
        ints_.push_back(std::move(v));
        add(name, ATTR_INT32_ARRAY, ints_.back().size()).value.ptr = ints_.back().data();
        return *this;
    }
    Attrs& str(const char* name, const char* s) {
        strings_.emplace_back(s);
        add(name, ATTR_STRING, 1).value.ptr = strings_.back().c_str();
        return *this;
    }
    const AttrItem* data() const { return items_.data(); }
    size_t size() const { return items_.size(); }

private:
    AttrItem& add(const char* name, int32_t type, uint64_t count) {
        names_.emplace_back(name);
        AttrItem it{};
        it.name = names_.back().c_str();
        it.type = type;
        it.count = count;
        items_.push_back(it);
        return items_.back();
    }
    std::deque<std::string> names_, strings_;
    std::deque<std::vector<float>> floats_;
    std::deque<std::vector<int32_t>> ints_;
    std::vector<AttrItem> items_;
};

inline TensorDesc desc(int32_t dtype, uint64_t width, uint64_t height, uint64_t channels = 1) {
    TensorDesc d;
    d.height = height;
    d.width = width;
    d.channels = channels;
    d.dtype = dtype;
    d.stride = packed_row_size(dtype, width, channels);
    d.canvas_width = width;
    d.canvas_height = height;
    return d;
}

inline Status resolve(const char* op, const Attrs& a, const TensorDesc* in, const TensorDesc& out,
                      KernelStep* s) {
    return resolve_kernel_step(op, std::strlen(op), a.data(), a.size(), in, out, s);
}

// Output pixels [x0, x0 + n) of row y from a demosaic step, fed exactly the
// rows its request names; sample(x, y) points at input sample (x, y). A guard
// float after the span fails the test when the routine writes past it.
template <class SampleAt>
std::vector<float> demosaic_span(const KernelStep& step, SampleAt sample, int64_t y, int64_t x0, uint64_t n) {
    RowRequest req;
    EXPECT_EQ(step.request(step.context(), x0, y, n, &req), OK);
    std::vector<SpanView> rows;
    for (uint64_t i = 0; i < req.rows; ++i) {
        const int64_t yy = req.y + static_cast<int64_t>(i);
        rows.push_back(SpanView{const_cast<float*>(sample(req.x, yy)), req.x, yy, req.width, 1, FLOAT32});
    }
    std::vector<float> out(3 * n + 1, -9.0f);
    SpanView sout{out.data(), x0, y, n, 3, FLOAT32};
    step.demosaic(step.context(), rows.data(), rows.size(), &sout);
    EXPECT_EQ(out.back(), -9.0f);
    out.pop_back();
    return out;
}

}  // namespace pyxa::spatial_test
