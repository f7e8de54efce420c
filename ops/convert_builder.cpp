// Builder of "convert_dtype": scale between the two types' ranges, with an
// optional clip that is dropped when it cannot bind.
#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "ops/pointwise_family.hpp"

namespace pyxa {

Status build_convert_dtype(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                           KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    auto p = std::make_shared<ConvertParams>();
    const int32_t dest = attrs.dtype("dest_dtype");
    p->src_bits = attrs.i32("src_bits");
    p->dst_bits = attrs.i32("dst_bits");
    p->clip = attrs.f32("clip_max");
    if (dest != FLOAT32) {
        // A clip at or above the target's maximum never binds.
        float dest_max = 0.0f;
        PYXA_TRY(type_maximum(dest, p->dst_bits, &dest_max, diag, "dst_bits"));
        if (dest_max == 0.0f) return UNSUPPORTED_DTYPE;
        if (p->clip >= 0.0f && p->clip >= dest_max) p->clip = -1.0f;
    }
    float in_max = 0.0f, out_max = 0.0f;
    PYXA_TRY(type_maximum(input->dtype, p->src_bits, &in_max, diag, "src_bits"));
    PYXA_TRY(type_maximum(output.dtype, p->dst_bits, &out_max, diag, "dst_bits"));
    p->scale = (1.0f / in_max) * out_max;
    const PointwiseRun run = convert_dtype_routine(input->dtype, output.dtype);
    if (run == nullptr) return refuse_pair(diag, *input, output);
    PYXA_TRY(check_output_shape(*input, output, input->channels, diag));
    return finish_pointwise(step, run, std::move(p));
}

}  // namespace pyxa
