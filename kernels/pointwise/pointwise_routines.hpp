// Typed routines of the pointwise colour kernels, picked once per step by the
// builders. A null result means the combination has no routine.
#pragma once

#include <cstdint>

#include "kernels/pointwise/isa_dispatch.hpp"

namespace pyxa {

struct LutParams;

// float32 only; element by element over pixels x channels.
PointwiseRun sub_scalar_routine(Isa isa = best_isa());
PointwiseRun mul_scalar_routine(Isa isa = best_isa());
// float32, three channels.
PointwiseRun matrix_3x3_routine(Isa isa = best_isa());
PointwiseRun clip_and_transform_routine(Isa isa = best_isa());

PointwiseRun convert_dtype_routine(int32_t in, int32_t out, Isa isa = best_isa());

// Element-wise table routines; `direct` indexes a 256-entry table by the byte
// (uint8 input only).
PointwiseRun lut_routine(int32_t in, int32_t out, bool direct, Isa isa = best_isa());
// The direct routine's 256 results (LutParams::direct), from the table and
// out_scale, for the output type `out`.
void make_direct_results(LutParams& p, int32_t out);
// One table on each channel of three-channel float32 pixels.
PointwiseRun lut_rgb_float_routine(Isa isa = best_isa());

// Which parts a colour transform has; `fast` means a 256-entry input table
// indexed by the byte of a uint8 input.
struct TransformShape {
    bool in_table = false;
    bool matrix = false;
    bool out_table = false;
    bool fast = false;
};
PointwiseRun transform_color_routine(int32_t in, int32_t out, TransformShape shape, Isa isa = best_isa());
// float32 input with an input table; see the builder for the allowed shapes.
PointwiseRun hue_preserving_routine(int32_t out, TransformShape shape, Isa isa = best_isa());

}  // namespace pyxa
