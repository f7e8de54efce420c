// The image checks of the opcode entries (scheme A for the float32 gain opcodes,
// scheme B for the others) and the copy of the input into the output.
#pragma once

#include <cstdint>

#include "core/status.hpp"
#include "tarnimg_opcodes.h"

namespace tarnimg {

using pyxa::Status;

inline constexpr int32_t kFloat32 = 3;
inline constexpr int32_t kUint16 = 1;

// True when the view's row_stride holds width * channels * element_size bytes
// (a product that overflows never fits) and is a multiple of the element size.
bool stride_fits(const ImageView& v, uint64_t element_size);

// The first view of a list, or null when there is none to read.
const ImageView* first_view(const ImageView* views, uint64_t count);

// Scheme A: both views well-formed float32 images of `channels` channels and of
// equal shape.
Status check_scheme_a(const ImageView* in, const ImageView* out, uint64_t channels);

enum class SchemeB { SameImage, BadPixels, BadPixelList, Trimmed };

// Scheme B: exactly one input and one output, both well-formed; equal shape
// (SameImage: also equal dtype; BadPixels: single-channel uint16 images;
// BadPixelList: single-channel images, both uint16 or both float32). Trimmed
// asks no equal height and width, only equal channels and dtype.
Status check_scheme_b(const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
                      uint64_t output_count, SchemeB kind);

// Copies the input pixels into the output (nothing to do when both are the
// same memory); fails without writing when the views cannot be copied.
Status copy_input_to_output(const ImageView* in, const ImageView* out);

// The kernels' own layout check for float32 images of `channels` channels.
bool float_rows_fit(const ImageView& v, uint64_t channels);

}  // namespace tarnimg
