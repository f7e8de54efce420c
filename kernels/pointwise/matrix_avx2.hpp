// The AVX2 routines of matrix_3x3 and clip_and_transform_color, chosen in
// place of the compiled copies.
#pragma once

#include "core/kernel_step.hpp"

namespace pyxa {

// Null when the build has no x86 intrinsics. The caller checks that the
// processor runs AVX2 (Isa::Avx2) first.
PointwiseRun matrix_3x3_avx2_routine();
PointwiseRun clip_and_transform_avx2_routine();

}  // namespace pyxa
