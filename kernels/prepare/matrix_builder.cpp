// Builders of "matrix_3x3" and "clip_and_transform_color": 3x3 colour matrices
// on three-channel float32 pixels.
#include <algorithm>

#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "kernels/prepare/pointwise_family.hpp"

namespace pyxa {

Status build_matrix_3x3(const AttrList& attrs, const TensorDesc* input, const TensorDesc& output, KernelStep* step) {
    PYXA_TRY(require_input(input));
    std::vector<float> m;
    PYXA_TRY(attrs.float_array_exact("matrix", 9, &m));
    if (input->dtype != FLOAT32 || output.dtype != FLOAT32) return UNSUPPORTED_DTYPE;
    if (input->channels != 3) return INVALID_ARGUMENT;
    PYXA_TRY(check_output_shape(*input, output, 3));
    auto p = std::make_shared<MatrixParams>();
    std::copy(m.begin(), m.end(), p->m);
    return finish_pointwise(step, matrix_3x3_routine(), std::move(p));
}

Status build_clip_and_transform(const AttrList& attrs, const TensorDesc* input, const TensorDesc& output,
                                KernelStep* step) {
    PYXA_TRY(require_input(input));
    if (input->channels != 3 || input->dtype != FLOAT32 || output.dtype != FLOAT32) return INVALID_ARGUMENT;
    std::vector<float> clip, m;
    PYXA_TRY(attrs.float_array_exact("clip_max", 3, &clip));
    PYXA_TRY(attrs.float_array_exact("matrix", 9, &m));
    PYXA_TRY(check_output_shape(*input, output, 3));
    auto p = std::make_shared<ClipMatrixParams>();
    std::copy(clip.begin(), clip.end(), p->clip_max);
    std::copy(m.begin(), m.end(), p->m);
    return finish_pointwise(step, clip_and_transform_routine(), std::move(p));
}

}  // namespace pyxa
