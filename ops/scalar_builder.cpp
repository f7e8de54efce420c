// Builders of "sub_scalar" and "mul_scalar": one float value, float32 tensors.
#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "ops/pointwise_family.hpp"

namespace pyxa {
namespace {

// The routines exist for float32 only and write one element per input element.
Status build_scalar(PointwiseRun run, const AttrValues& attrs, const TensorDesc& input, const TensorDesc& output,
                    KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    auto p = std::make_shared<ScalarParams>();
    p->value = attrs.f32("value");
    if (input.dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "input", input, "float32");
    if (output.dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "output", output, "float32");
    PYXA_TRY(check_output_shape(input, output, input.channels, diag));
    return finish_pointwise(step, run, std::move(p));
}

}  // namespace

Status build_sub_scalar(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                        KernelStep* step) {
    return build_scalar(sub_scalar_routine(), attrs, *input, output, step);
}

Status build_mul_scalar(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                        KernelStep* step) {
    return build_scalar(mul_scalar_routine(), attrs, *input, output, step);
}

}  // namespace pyxa
