// Exported span kernels of "view", "pad" and "fill"; the same functions the
// tile runner calls through the steps.
#include <algorithm>
#include <cstring>

#include "core/views.hpp"
#include "kernels/geometry/fill_row.hpp"
#include "kernels/geometry/pad_row.hpp"
#include "tarnimg_process.h"

using namespace pyxa;

extern "C" {

TARNIMG_EXPORT void tarnimg_process_crop_span1to1_spatial(void*, const SpanView* in, const SpanView* out) {
    if (out == nullptr || out->data == nullptr) return;
    const uint64_t px = pixel_size(out->dtype, out->channels);
    uint64_t copied = 0;
    // Never read past the input span, nor reinterpret pixels of another layout.
    if (in != nullptr && in->data != nullptr && pixel_size(in->dtype, in->channels) == px) {
        copied = std::min(in->len, out->len);
        std::memcpy(out->data, in->data, copied * px);
    }
    std::memset(static_cast<uint8_t*>(out->data) + copied * px, 0, (out->len - copied) * px);
}

TARNIMG_EXPORT void tarnimg_process_pad_span1to1_spatial(void* params, const SpanView* in,
                                                         const SpanView* out) {
    if (params == nullptr || out == nullptr) return;
    static const SpanView kNoInput{nullptr, 0, 0, 0, 0, 0};
    pad_row(*static_cast<const PadParams*>(params), in != nullptr ? *in : kNoInput, *out);
}

TARNIMG_EXPORT void tarnimg_process_fill_span1to1_spatial(void* params, const SpanView*, const SpanView* out) {
    if (params == nullptr || out == nullptr) return;
    fill_row(*static_cast<const FillParams*>(params), *out);
}

}  // extern "C"
