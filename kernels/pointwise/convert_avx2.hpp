// The AVX2 routine of convert_dtype from float32 to uint8 or uint16; chosen
// in place of the compiled copy.
#pragma once

#include <cstdint>

#include "core/kernel_step.hpp"

namespace pyxa {

// Null when (in, out) has no such routine or the build has no x86 intrinsics.
// The caller checks that the processor runs AVX2 (Isa::Avx2) first.
PointwiseRun convert_avx2_routine(int32_t in, int32_t out);

}  // namespace pyxa
