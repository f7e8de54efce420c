// Builders of "matrix_3x3" and "clip_and_transform_color": 3x3 colour matrices
// on three-channel float32 pixels.
#include <algorithm>

#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "ops/pointwise_family.hpp"

namespace pyxa {

Status build_matrix_3x3(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                        KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    if (input->dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "input", *input, "float32");
    if (output.dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "output", output, "float32");
    if (input->channels != 3) return refuse_channels(diag, "input", *input, 3);
    PYXA_TRY(check_output_shape(*input, output, 3, diag));
    auto p = std::make_shared<MatrixParams>();
    std::ranges::copy(attrs.floats("matrix"), p->m);
    return finish_pointwise(step, matrix_3x3_routine(), std::move(p));
}

Status precheck_clip_and_transform_color(const TensorDesc* input, const TensorDesc& output, Diagnostic* diag) {
    if (input->channels != 3) return refuse_channels(diag, "input", *input, 3);
    if (input->dtype != FLOAT32) return refuse_dtype(diag, INVALID_ARGUMENT, "input", *input, "float32");
    if (output.dtype != FLOAT32) return refuse_dtype(diag, INVALID_ARGUMENT, "output", output, "float32");
    return OK;
}

Status build_clip_and_transform_color(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                                      KernelStep* step) {
    PYXA_TRY(check_output_shape(*input, output, 3, attrs.diag()));
    auto p = std::make_shared<ClipMatrixParams>();
    std::ranges::copy(attrs.floats("clip_max"), p->clip_max);
    std::ranges::copy(attrs.floats("matrix"), p->m);
    return finish_pointwise(step, clip_and_transform_routine(), std::move(p));
}

}  // namespace pyxa
