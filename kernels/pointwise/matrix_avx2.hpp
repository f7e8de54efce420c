// The AVX2 routine of matrix_3x3, chosen in place of the compiled copy.
#pragma once

#include "core/kernel_step.hpp"

namespace pyxa {

// Null when the build has no x86 intrinsics. The caller checks that the
// processor runs AVX2 (Isa::Avx2) first.
PointwiseRun matrix_3x3_avx2_routine();

}  // namespace pyxa
