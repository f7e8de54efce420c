// Builders of "lut" (type-default ranges, one or three channels) and
// "mono_lut" (explicit bit counts, every element of every channel).
#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "ops/pointwise_family.hpp"

namespace pyxa {
namespace {

Status read_table(const AttrValues& attrs, const char* name, LookupTable* table) {
    const std::span<const float> given = attrs.floats(name);
    return make_lookup_table(std::vector<float>(given.begin(), given.end()), table);
}

// Scales from the two types and bit counts, then the element-wise routine:
// direct for a uint8 input and a 256-entry table, interpolating otherwise.
Status finish_elementwise(std::shared_ptr<LutParams> p, const TensorDesc& input, const TensorDesc& output,
                          KernelStep* step, Diagnostic* diag) {
    float in_max = 0.0f, out_max = 0.0f;
    PYXA_TRY(type_maximum(input.dtype, p->src_bits, &in_max, diag, "src_bits"));
    PYXA_TRY(type_maximum(output.dtype, p->dst_bits, &out_max, diag, "dst_bits"));
    p->in_scale = 1.0f / in_max;
    p->out_scale = out_max;
    p->pos_scale = static_cast<float>(p->table.n - 1) * p->in_scale;
    const bool direct = input.dtype == UINT8 && p->table.n == 256;
    const PointwiseRun run = lut_routine(input.dtype, output.dtype, direct);
    if (run == nullptr) return refuse_pair(diag, input, output);
    if (direct) make_direct_results(*p, output.dtype);
    PYXA_TRY(check_output_shape(input, output, input.channels, diag));
    return finish_pointwise(step, run, std::move(p));
}

}  // namespace

Status build_lut(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output, KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    auto p = std::make_shared<LutParams>();
    PYXA_TRY(read_table(attrs, "lut", &p->table));
    if (input->channels == 1) return finish_elementwise(std::move(p), *input, output, step, diag);
    if (input->channels != 3) return fail(diag, INVALID_ARGUMENT, "input tensor ", input->id, " has ", input->channels,
                                          " channel(s), the op needs 1 or 3");
    if (input->dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "input", *input, "float32 with 3 channels");
    if (output.dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "output", output, "float32 with 3 channels");
    PYXA_TRY(check_output_shape(*input, output, 3, diag));
    p->pos_scale = static_cast<float>(p->table.n - 1);
    return finish_pointwise(step, lut_rgb_float_routine(), std::move(p));
}

Status build_mono_lut(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                      KernelStep* step) {
    auto p = std::make_shared<LutParams>();
    p->src_bits = attrs.i32("src_bits");
    p->dst_bits = attrs.i32("dst_bits");
    PYXA_TRY(read_table(attrs, "lut", &p->table));
    return finish_elementwise(std::move(p), *input, output, step, attrs.diag());
}

}  // namespace pyxa
