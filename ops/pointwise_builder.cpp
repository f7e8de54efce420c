// The checks every builder of the pointwise colour family shares.
#include "ops/pointwise_family.hpp"

namespace pyxa {

Status type_maximum(int32_t dtype, int32_t bits, float* maximum, Diagnostic* diag, const char* bits_name) {
    if (bits > 31) return refuse_value(diag, bits_name, "at most 31", bits);
    switch (dtype) {
        case UINT8:
        case UINT16: {
            const int32_t b = bits > 0 ? bits : (dtype == UINT8 ? 8 : 16);
            *maximum = static_cast<float>((uint32_t{1} << b) - 1u);
            return OK;
        }
        case FLOAT32: *maximum = 1.0f; return OK;
        default: return fail(diag, UNSUPPORTED_DTYPE, "the op takes no ", dtype_name(dtype), " tensors");
    }
}

Status check_output_shape(const TensorDesc& input, const TensorDesc& output, uint64_t channels, Diagnostic* diag) {
    return check_output_size(output, input.height, input.width, channels, diag);
}

Status finish_pointwise(KernelStep* step, PointwiseRun run, std::shared_ptr<void> params) {
    if (run == nullptr) return UNSUPPORTED_DTYPE;
    step->pointwise = run;
    return finish_row_step(step, KernelKind::Pointwise, std::move(params), same_row_request, same_rect_forward);
}

}  // namespace pyxa
