// Builder of "transform_color": optional input table, matrix and output table,
// with the output-table factor folded into the matrix once, here.
#include <algorithm>

#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "ops/pointwise_family.hpp"

namespace pyxa {
namespace {

// A table that is present must have at least two entries.
Status read_optional_table(const AttrList& attrs, const char* name, bool* present, LookupTable* table) {
    *present = attrs.find(name) != nullptr;
    if (!*present) return OK;
    std::vector<float> given;
    PYXA_TRY(attrs.float_array_min(name, 2, &given));
    return make_lookup_table(std::move(given), table);
}

Status read_parts(const AttrList& attrs, TransformColorParams* p) {
    PYXA_TRY(read_optional_table(attrs, "input_lut", &p->has_in, &p->in_table));
    p->has_matrix = attrs.find("matrix") != nullptr;
    if (p->has_matrix) {
        std::vector<float> m;
        PYXA_TRY(attrs.float_array_exact("matrix", 9, &m));
        std::copy(m.begin(), m.end(), p->m);
    }
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

Status build_transform_color(const AttrList& attrs, const TensorDesc* input, const TensorDesc& output,
                             KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    PYXA_TRY(require_input(input, diag));
    if (input->channels != 3) return refuse_channels(diag, "input", *input, 3);
    int32_t dest = 0, src_bits = 0, dst_bits = 0, hue = 0;
    PYXA_TRY(read_dest_dtype(attrs, &dest));
    PYXA_TRY(attrs.required_int("src_bits", &src_bits));
    PYXA_TRY(attrs.required_int("dst_bits", &dst_bits));
    PYXA_TRY(attrs.required_int("hue_preserving", &hue));
    auto p = std::make_shared<TransformColorParams>();
    p->hue_preserving = hue != 0;
    PYXA_TRY(read_parts(attrs, p.get()));
    float in_max = 0.0f, out_max = 0.0f;
    PYXA_TRY(type_maximum(input->dtype, src_bits, &in_max, diag, "src_bits"));
    PYXA_TRY(type_maximum(output.dtype, dst_bits, &out_max, diag, "dst_bits"));
    p->in_scale = 1.0f / in_max;
    p->out_scale = out_max;
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
