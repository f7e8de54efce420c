// The copy step of the in-place opcodes: the input image becomes the output
// image, in one block when both are packed, else row by row at each stride.
#include <cstring>

#include "core/checked.hpp"
#include "core/row_layout.hpp"
#include "opcodes/image_checks.hpp"

namespace tarnimg {

Status copy_input_to_output(const ImageView* in, const ImageView* out) {
    if (in == nullptr || out == nullptr || in->data == nullptr || out->data == nullptr)
        return pyxa::INVALID_ARGUMENT;
    if (in->height != out->height || in->width != out->width || in->channels != out->channels ||
        in->dtype != out->dtype)
        return pyxa::DIMENSION_MISMATCH;
    const uint64_t es = pyxa::element_size(in->dtype);
    if (es == 0) return pyxa::INVALID_ARGUMENT;
    uint64_t packed = 0;
    // An overflowing row size cannot describe memory the caller holds.
    if (!pyxa::checked_mul(in->width, in->channels, &packed) || !pyxa::checked_mul(packed, es, &packed))
        return pyxa::INVALID_ARGUMENT;
    if (packed == 0) return pyxa::INVALID_ARGUMENT;
    // Unit 1: a copy moves whole rows, so only their length matters here.
    if (pyxa::row_layout(in->row_stride, packed, 1) != pyxa::RowLayout::Fits ||
        pyxa::row_layout(out->row_stride, packed, 1) != pyxa::RowLayout::Fits)
        return pyxa::INVALID_ARGUMENT;
    // Same memory at the same step: the pixels are already where they belong.
    if (in->data == out->data && in->row_stride == out->row_stride) return pyxa::OK;

    const auto* src = static_cast<const unsigned char*>(in->data);
    auto* dst = static_cast<unsigned char*>(out->data);
    uint64_t total = 0;
    if (in->row_stride == packed && out->row_stride == packed && pyxa::checked_mul(in->height, packed, &total)) {
        std::memmove(dst, src, total);
        return pyxa::OK;
    }
    for (uint64_t y = 0; y < in->height; ++y) {
        std::memmove(dst + y * out->row_stride, src + y * in->row_stride, packed);
    }
    return pyxa::OK;
}

}  // namespace tarnimg
