// "trim_bounds": the output is the rectangle top..bottom-1, left..right-1 of
// the input, any dtype and channel count (the same in both). Checks: schema,
// then scheme B without equal sizes (same dtype and channels), then the
// bounds (INVALID_ARGUMENT), then the output's size (DIMENSION_MISMATCH).
#include <cstdint>
#include <cstring>
#include <iterator>

#include "core/checked.hpp"
#include "core/row_layout.hpp"
#include "opcodes/entries.h"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

struct Bounds {
    int32_t top, left, bottom, right;
};

// 0 <= lo < hi <= extent.
bool span_inside(int32_t lo, int32_t hi, uint64_t extent) { return lo >= 0 && lo < hi && uint64_t(hi) <= extent; }

Status check_trim(const ImageView& in, const ImageView& out, const Bounds& b) {
    if (!span_inside(b.top, b.bottom, in.height) || !span_inside(b.left, b.right, in.width))
        return pyxa::INVALID_ARGUMENT;
    if (out.height != uint64_t(b.bottom - b.top) || out.width != uint64_t(b.right - b.left))
        return pyxa::DIMENSION_MISMATCH;
    return pyxa::OK;
}

// Whole rows of the rectangle, each moved as one block. When the output
// starts below the first source row in memory the rows go top to bottom, else
// bottom to top, so that an output overlapping its input at the same row
// stride reads every row before it is written over.
void copy_rect(const ImageView& in, const ImageView& out, const Bounds& b) {
    const uint64_t pixel = pyxa::pixel_size(in.dtype, in.channels);
    const uint64_t row_bytes = out.width * pixel;
    const auto* src = static_cast<const unsigned char*>(in.data) + uint64_t(b.top) * in.row_stride +
                      uint64_t(b.left) * pixel;
    auto* dst = static_cast<unsigned char*>(out.data);
    const uint64_t rows = out.height;
    if (reinterpret_cast<uintptr_t>(dst) <= reinterpret_cast<uintptr_t>(src)) {
        for (uint64_t y = 0; y < rows; ++y) std::memmove(dst + y * out.row_stride, src + y * in.row_stride, row_bytes);
    } else {
        for (uint64_t y = rows; y > 0; --y)
            std::memmove(dst + (y - 1) * out.row_stride, src + (y - 1) * in.row_stride, row_bytes);
    }
}

Status run(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, uint64_t output_count,
           const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[std::size(schemas::trim_bounds)];
    PYXA_TRY(check_schema(schemas::trim_bounds, items, item_count, slots));
    PYXA_TRY(check_scheme_b(inputs, input_count, outputs, output_count, SchemeB::Trimmed));
    const Bounds b{attr_i32(slots[0]), attr_i32(slots[1]), attr_i32(slots[2]), attr_i32(slots[3])};
    PYXA_TRY(check_trim(*inputs, *outputs, b));
    copy_rect(*inputs, *outputs, b);
    return pyxa::OK;
}

}  // namespace
}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_trim_bounds) {
    return tarnimg::guarded([&] { return tarnimg::run(inputs, input_count, outputs, output_count, items, item_count); });
}
