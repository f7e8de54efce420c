// Entry of the pointwise colour family: dispatches each op to its builder, and
// the checks every builder of the family shares.
#include <new>

#include "kernels/prepare/pointwise_family.hpp"

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
    step->kind = KernelKind::Pointwise;
    step->pointwise = run;
    step->params = std::move(params);
    step->request = same_row_request;
    step->forward = same_rect_forward;
    return OK;
}

Status build_pointwise(uint8_t kernel, const AttrList& attrs, const TensorDesc* input, const TensorDesc& output,
                       KernelStep* step) {
    static constexpr PointwiseBuilder kBuilders[] = {
        build_sub_scalar, build_mul_scalar, build_matrix_3x3, build_convert_dtype,
        build_lut,        build_mono_lut,   build_transform_color, build_clip_and_transform,
    };
    if (kernel >= sizeof(kBuilders) / sizeof(kBuilders[0])) return INTERNAL;
    step->kernel = kernel;
    try {
        return kBuilders[kernel](attrs, input, output, step);
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    }
}

}  // namespace pyxa
