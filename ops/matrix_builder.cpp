// Builders of "matrix_3x3" and "clip_and_transform_color": 3x3 colour matrices
// on three-channel float32 pixels.
#include <algorithm>

#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "ops/pointwise_family.hpp"

namespace pyxa {

Status build_matrix_3x3(const AttrList& attrs, const TensorDesc* input, const TensorDesc& output, KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    PYXA_TRY(require_input(input, diag));
    std::vector<float> m;
    PYXA_TRY(attrs.float_array_exact("matrix", 9, &m));
    if (input->dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "input", *input, "float32");
    if (output.dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "output", output, "float32");
    if (input->channels != 3) return refuse_channels(diag, "input", *input, 3);
    PYXA_TRY(check_output_shape(*input, output, 3, diag));
    auto p = std::make_shared<MatrixParams>();
    std::copy(m.begin(), m.end(), p->m);
    return finish_pointwise(step, matrix_3x3_routine(), std::move(p));
}

Status build_clip_and_transform(const AttrList& attrs, const TensorDesc* input, const TensorDesc& output,
                                KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    PYXA_TRY(require_input(input, diag));
    if (input->channels != 3) return refuse_channels(diag, "input", *input, 3);
    if (input->dtype != FLOAT32) return refuse_dtype(diag, INVALID_ARGUMENT, "input", *input, "float32");
    if (output.dtype != FLOAT32) return refuse_dtype(diag, INVALID_ARGUMENT, "output", output, "float32");
    std::vector<float> clip, m;
    PYXA_TRY(attrs.float_array_exact("clip_max", 3, &clip));
    PYXA_TRY(attrs.float_array_exact("matrix", 9, &m));
    PYXA_TRY(check_output_shape(*input, output, 3, diag));
    auto p = std::make_shared<ClipMatrixParams>();
    std::copy(clip.begin(), clip.end(), p->clip_max);
    std::copy(m.begin(), m.end(), p->m);
    return finish_pointwise(step, clip_and_transform_routine(), std::move(p));
}

}  // namespace pyxa
