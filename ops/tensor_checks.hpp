// Refusals of a node's tensors shared by every builder: each check of an
// input or output against what the op needs, with the reason it records.
#pragma once

#include "core/diagnostic.hpp"
#include "core/records.hpp"

namespace pyxa {

// The op reads its first input: a node without one is refused (INVALID_ARGUMENT).
Status require_input(const TensorDesc* input, Diagnostic* diag);

// `role` is "input" or "output"; the text names the tensor and what was wanted.
// "input tensor 1 is uint16, the op takes float32"
Status refuse_dtype(Diagnostic* diag, Status status, const char* role, const TensorDesc& t, const char* wanted);
// "input tensor 1 has 1 channel(s), the op needs 3"
Status refuse_channels(Diagnostic* diag, const char* role, const TensorDesc& t, uint64_t wanted);
// "output tensor 2 is 4000 x 6000 x 1, expected 4000 x 6000 x 3" (INVALID_ARGUMENT)
Status refuse_shape(Diagnostic* diag, const TensorDesc& output, uint64_t height, uint64_t width, uint64_t channels);

// The output has exactly the given size, else refuse_shape.
Status check_output_size(const TensorDesc& output, uint64_t height, uint64_t width, uint64_t channels,
                         Diagnostic* diag);

// No typed routine for this pair: "no routine takes uint16 input tensor 1 to
// float16 output tensor 2" (UNSUPPORTED_DTYPE).
Status refuse_pair(Diagnostic* diag, const TensorDesc& input, const TensorDesc& output);

// An attribute outside its range: "\"orientation\" must be 1..8, got 9" style
// texts are built by the caller as `rule`; the value is appended.
Status refuse_value(Diagnostic* diag, const char* name, const char* rule, int64_t value);

}  // namespace pyxa
