// Builders of the individual pointwise colour ops and the checks they share.
#pragma once

#include <memory>

#include "ops/builders.hpp"

namespace pyxa {

// Largest value of an element type: 2^bits - 1 for uint8 and uint16 (bits <= 0
// takes the type's own 8 or 16), 1 for float32. Bit counts above 31 are
// INVALID_ARGUMENT (the shift would be undefined); float16 and unknown types
// have no maximum: UNSUPPORTED_DTYPE. `bits_name` names the attribute in the reason.
Status type_maximum(int32_t dtype, int32_t bits, float* maximum, Diagnostic* diag = nullptr,
                    const char* bits_name = "bits");

// The routine writes `channels` elements per input pixel into a row as long as
// the input's: the output must have exactly that shape, else INVALID_ARGUMENT.
Status check_output_shape(const TensorDesc& input, const TensorDesc& output, uint64_t channels, Diagnostic* diag);

// Fills the step with a pointwise routine and its parameter block; a null
// routine means the type combination has none (UNSUPPORTED_DTYPE).
Status finish_pointwise(KernelStep* step, PointwiseRun run, std::shared_ptr<void> params);

}  // namespace pyxa
