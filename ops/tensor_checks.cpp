// Texts of the tensor and value refusals builders share.
#include "ops/tensor_checks.hpp"

namespace pyxa {

Status require_input(const TensorDesc* input, Diagnostic* diag) {
    return input != nullptr ? OK : fail(diag, INVALID_ARGUMENT, "the op needs an input tensor");
}

Status refuse_dtype(Diagnostic* diag, Status status, const char* role, const TensorDesc& t, const char* wanted) {
    return fail(diag, status, role, " tensor ", t.id, " is ", dtype_name(t.dtype), ", the op takes ", wanted);
}

Status refuse_channels(Diagnostic* diag, const char* role, const TensorDesc& t, uint64_t wanted) {
    return fail(diag, INVALID_ARGUMENT, role, " tensor ", t.id, " has ", t.channels, " channel(s), the op needs ",
                wanted);
}

Status refuse_shape(Diagnostic* diag, const TensorDesc& output, uint64_t height, uint64_t width, uint64_t channels) {
    return fail(diag, INVALID_ARGUMENT, "output tensor ", output.id, " is ", output.height, " x ", output.width, " x ",
                output.channels, ", expected ", height, " x ", width, " x ", channels);
}

Status check_output_size(const TensorDesc& output, uint64_t height, uint64_t width, uint64_t channels,
                         Diagnostic* diag) {
    if (output.height == height && output.width == width && output.channels == channels) return OK;
    return refuse_shape(diag, output, height, width, channels);
}

Status refuse_pair(Diagnostic* diag, const TensorDesc& input, const TensorDesc& output) {
    return fail(diag, UNSUPPORTED_DTYPE, "no routine takes ", dtype_name(input.dtype), " input tensor ", input.id,
                " to ", dtype_name(output.dtype), " output tensor ", output.id);
}

Status refuse_value(Diagnostic* diag, const char* name, const char* rule, int64_t value) {
    return fail(diag, INVALID_ARGUMENT, '"', name, "\" must be ", rule, ", got ", value);
}

}  // namespace pyxa
