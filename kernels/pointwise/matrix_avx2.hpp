// The AVX2 routines of matrix_3x3, clip_and_transform_color and
// transform_color with a lone matrix to integers, chosen in place of the
// compiled copies.
#pragma once

#include <cstdint>

#include "core/kernel_step.hpp"

namespace pyxa {

// Null when the build has no x86 intrinsics (or, for the last, when (in, out)
// has no such routine). The caller checks that the processor runs AVX2
// (Isa::Avx2) first.
PointwiseRun matrix_3x3_avx2_routine();
PointwiseRun clip_and_transform_avx2_routine();
PointwiseRun matrix_store_avx2_routine(int32_t in, int32_t out);

}  // namespace pyxa
