// Helpers of the pointwise and hue/sat tests: attribute lists that own their
// payloads, tensor descriptions, and resolving and running one step on a run.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/kernel_step.hpp"
#include "ops/registry.hpp"

namespace pyxa::test {

// Copies stay valid: the items are rebuilt to point into this object's own
// payloads each time they are asked for.
class Attrs {
public:
    Attrs& i32(const char* name, int32_t v) {
        Entry& e = add(name, ATTR_INT32);
        e.scalar.i32 = v;
        return *this;
    }
    Attrs& f32(const char* name, float v) {
        Entry& e = add(name, ATTR_FLOAT32);
        e.scalar.f32 = v;
        return *this;
    }
    Attrs& floats(const char* name, std::vector<float> v) {
        add(name, ATTR_FLOAT32_ARRAY).floats = std::move(v);
        return *this;
    }
    Attrs& str(const char* name, const char* s) {
        add(name, ATTR_STRING).text = s;
        return *this;
    }
    const AttrItem* data() const {
        items_.clear();
        for (const Entry& e : entries_) {
            AttrItem it{};
            it.name = e.name.c_str();
            it.type = e.type;
            it.count = e.type == ATTR_FLOAT32_ARRAY ? e.floats.size() : 1;
            if (e.type == ATTR_FLOAT32_ARRAY) it.value.ptr = e.floats.data();
            else if (e.type == ATTR_STRING) it.value.ptr = e.text.c_str();
            else it.value = e.scalar;
            items_.push_back(it);
        }
        return items_.data();
    }
    size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::string name;
        int32_t type = 0;
        decltype(AttrItem::value) scalar{};
        std::string text;
        std::vector<float> floats;
    };
    Entry& add(const char* name, int32_t type) {
        entries_.push_back(Entry{name, type, {}, {}, {}});
        return entries_.back();
    }
    std::vector<Entry> entries_;
    mutable std::vector<AttrItem> items_;
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
