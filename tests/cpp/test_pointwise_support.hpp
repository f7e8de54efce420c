// Helpers of the pointwise and hue/sat tests: attribute lists that own their
// payloads, tensor descriptions, and resolving and running one step on a run.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "kernels/prepare/kernel_step.hpp"

namespace pyxa::test {

class Attrs {
public:
    Attrs& i32(const char* name, int32_t v) { return add(name, ATTR_INT32, 1, [&](AttrItem& a) { a.value.i32 = v; }); }
    Attrs& f32(const char* name, float v) { return add(name, ATTR_FLOAT32, 1, [&](AttrItem& a) { a.value.f32 = v; }); }
    Attrs& floats(const char* name, std::vector<float> v) {
        arrays_.push_back(std::move(v));
        const auto& a = arrays_.back();
        return add(name, ATTR_FLOAT32_ARRAY, a.size(), [&](AttrItem& it) { it.value.ptr = a.data(); });
    }
    Attrs& str(const char* name, const char* s) {
        strings_.emplace_back(s);
        const auto& t = strings_.back();
        return add(name, ATTR_STRING, 1, [&](AttrItem& it) { it.value.ptr = t.c_str(); });
    }
    const AttrItem* data() const { return items_.data(); }
    size_t size() const { return items_.size(); }

private:
    template <typename F>
    Attrs& add(const char* name, int32_t type, uint64_t count, F set) {
        names_.emplace_back(name);
        AttrItem it{};
        it.name = names_.back().c_str();
        it.type = type;
        it.count = count;
        set(it);
        items_.push_back(it);
        return *this;
    }
    std::deque<std::string> names_, strings_;
    std::deque<std::vector<float>> arrays_;
    std::vector<AttrItem> items_;
};

inline TensorDesc desc(int32_t dtype, uint64_t channels, uint64_t width = 8, uint64_t height = 2) {
    TensorDesc d;
    d.height = height;
    d.width = width;
    d.channels = channels;
    d.dtype = dtype;
    d.stride = packed_row_size(dtype, width, channels);
    return d;
}

inline Status resolve(const char* op, const Attrs& a, const TensorDesc* in, const TensorDesc& out, KernelStep* s) {
    return resolve_kernel_step(op, std::strlen(op), a.data(), a.size(), in, out, s);
}

// Resolves and runs one step over `src` (pixels of in_ch channels), returning
// the output elements (out_ch per pixel). A guard element past the run checks
// that the kernel writes no more than the output row holds.
template <typename Out, typename In>
std::vector<Out> run_step(const char* op, const Attrs& a, int32_t in_type, int32_t out_type,
                          const std::vector<In>& src, uint64_t in_ch, uint64_t out_ch) {
    const uint64_t pixels = src.size() / in_ch;
    const TensorDesc in = desc(in_type, in_ch, pixels, 1), out = desc(out_type, out_ch, pixels, 1);
    KernelStep step;
    const Status st = resolve(op, a, &in, out, &step);
    EXPECT_EQ(st, OK) << op;
    if (st != OK) return {};
    EXPECT_EQ(step.kind, KernelKind::Pointwise);
    EXPECT_NE(step.request, nullptr);
    EXPECT_NE(step.forward, nullptr);
    std::vector<Out> dst(pixels * out_ch + 1, Out(77));
    PixelRun rin{const_cast<In*>(src.data()), pixels, in_ch, static_cast<uint32_t>(in_type)};
    PixelRun rout{dst.data(), pixels, out_ch, static_cast<uint32_t>(out_type)};
    step.pointwise(step.context(), &rin, &rout);
    EXPECT_EQ(dst.back(), Out(77)) << "wrote past the run";
    dst.pop_back();
    return dst;
}

}  // namespace pyxa::test
