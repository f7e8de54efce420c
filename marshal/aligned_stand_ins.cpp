// Aligned stand-ins for misaligned arrays: each keeps the caller's row stride,
// so the engine sees the same layout and applies the same checks; only the
// packed bytes of each row are copied in and, for outputs, back.
#include "marshal/aligned_stand_ins.hpp"

#include <cstring>

#include "marshal/py_ref.hpp"

namespace pyxa {
namespace {

constexpr uint64_t kAlignment = 64;

uint64_t row_bytes(const TensorBinding& b) { return b.width * b.channels * element_size(b.dtype); }

bool misaligned(const TensorBinding& b) {
    const uint64_t e = element_size(b.dtype);
    return e > 1 && b.height > 0 && row_bytes(b) > 0 && reinterpret_cast<uintptr_t>(b.data) % e != 0;
}

void copy_rows(uint8_t* to, const uint8_t* from, const TensorBinding& b) {
    const uint64_t n = row_bytes(b);
    for (uint64_t y = 0; y < b.height; ++y) std::memcpy(to + y * b.row_stride, from + y * b.row_stride, n);
}

}  // namespace

std::vector<AlignedStandIns::StandIn> AlignedStandIns::replace_misaligned(std::vector<TensorBinding>& bindings) {
    std::vector<StandIn> made;
    for (TensorBinding& b : bindings) {
        if (!misaligned(b)) continue;
        // Spans the caller's array from its first byte to the end of its last
        // row, which NumPy has already shown to be addressable.
        const uint64_t span = (b.height - 1) * b.row_stride + row_bytes(b);
        const uint64_t size = (span + kAlignment - 1) / kAlignment * kAlignment;
        std::unique_ptr<uint8_t, Free> buffer(static_cast<uint8_t*>(std::aligned_alloc(kAlignment, size)));
        if (!buffer) {
            PyErr_NoMemory();
            throw py::ErrorSet{};
        }
        copy_rows(buffer.get(), static_cast<const uint8_t*>(b.data), b);
        made.push_back(StandIn{b, std::move(buffer)});
        b.data = made.back().buffer.get();
    }
    return made;
}

AlignedStandIns::AlignedStandIns(const std::vector<TensorBinding>& inputs, const std::vector<TensorBinding>& outputs)
    : inputs_(inputs), outputs_(outputs) {
    input_copies_ = replace_misaligned(inputs_);
    output_copies_ = replace_misaligned(outputs_);
}

void AlignedStandIns::copy_back() const {
    for (const StandIn& s : output_copies_) copy_rows(static_cast<uint8_t*>(s.caller.data), s.buffer.get(), s.caller);
}

}  // namespace pyxa
