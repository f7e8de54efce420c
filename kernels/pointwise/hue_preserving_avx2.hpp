// The AVX2 routine of the hue-preserving colour transform with a matrix and an
// output table (the tone step of a camera profile's rendering), for uint8 and
// uint16 outputs; chosen in place of the compiled copy.
#pragma once

#include <cstdint>

#include "core/kernel_step.hpp"

namespace pyxa {

// Null for other outputs or when the build has no x86 intrinsics. The caller
// checks that the processor runs AVX2 (Isa::Avx2) first.
PointwiseRun hue_preserving_avx2_routine(int32_t out);

}  // namespace pyxa
