// Builder of "transform_color": optional input table, matrix and output table,
// with the output-table factor folded into the matrix once, here.
#include <algorithm>

#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "ops/pointwise_family.hpp"

namespace pyxa {
namespace {

Status read_optional_table(const AttrValues& attrs, const char* name, bool* present, LookupTable* table) {
    *present = attrs.has(name);
    if (!*present) return OK;
    const std::span<const float> given = attrs.floats(name);
    return make_lookup_table(std::vector<float>(given.begin(), given.end()), table);
}

// Which of the three parts the node has; it needs one at least.
Status read_parts(const AttrValues& attrs, TransformColorParams* p) {
    PYXA_TRY(read_optional_table(attrs, "input_lut", &p->has_in, &p->in_table));
    p->has_matrix = attrs.has("matrix");
    if (p->has_matrix) std::ranges::copy(attrs.floats("matrix"), p->m);
    PYXA_TRY(read_optional_table(attrs, "output_lut", &p->has_out, &p->out_table));
    if (p->has_in || p->has_matrix || p->has_out) return OK;
    return fail(attrs.diag(), INVALID_ARGUMENT, "needs at least one of \"input_lut\", \"matrix\", \"output_lut\"");
}

// Positions and the matrix factor that let the kernel map straight into table units.
void prepare_scales(TransformColorParams* p) {
    const float n_out_1 = p->has_out ? static_cast<float>(p->out_table.n - 1) : 0.0f;
    if (p->has_in) p->in_pos_scale = static_cast<float>(p->in_table.n - 1) * p->in_scale;
    p->out_pos_scale = n_out_1 * p->in_scale;
    p->chain_pos_scale = n_out_1;
    if (p->has_matrix && p->has_out) {
        const float factor = p->has_in ? n_out_1 : n_out_1 * p->in_scale;
        for (float& v : p->m) v *= factor;
    }
}

}  // namespace

Status precheck_transform_color(const TensorDesc* input, const TensorDesc&, Diagnostic* diag) {
    return input->channels == 3 ? OK : refuse_channels(diag, "input", *input, 3);
}

Status build_transform_color(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                             KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    const int32_t src_bits = attrs.i32("src_bits"), dst_bits = attrs.i32("dst_bits");
    auto p = std::make_shared<TransformColorParams>();
    p->hue_preserving = attrs.flag("hue_preserving");
    PYXA_TRY(read_parts(attrs, p.get()));
    float in_max = 0.0f, out_max = 0.0f;
    PYXA_TRY(type_maximum(input->dtype, src_bits, &in_max, diag, "src_bits"));
    PYXA_TRY(type_maximum(output.dtype, dst_bits, &out_max, diag, "dst_bits"));
    p->in_scale = 1.0f / in_max;
    p->out_scale = out_max;
    const bool integers = output.dtype == UINT8 || output.dtype == UINT16;
    const float top = output.dtype == UINT8 ? 255.0f : 65535.0f;
    p->out_unclamped = p->has_out && integers && store_needs_no_clamps(p->out_table, out_max, top);
    prepare_scales(p.get());

    TransformShape shape{p->has_in, p->has_matrix, p->has_out, false};
    PointwiseRun run = nullptr;
    if (p->hue_preserving) {
        if (input->dtype == FLOAT32) run = hue_preserving_routine(output.dtype, shape);
    } else {
        shape.fast = input->dtype == UINT8 && p->has_in && p->in_table.n == 256;
        run = transform_color_routine(input->dtype, output.dtype, shape);
    }
    if (run == nullptr) return refuse_pair(diag, *input, output);
    PYXA_TRY(check_output_shape(*input, output, 3, diag));
    return finish_pointwise(step, run, std::move(p));
}

}  // namespace pyxa
