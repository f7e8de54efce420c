// Builder of "apply_hue_sat_map" and "apply_hue_sat_val_map": checks the grid
// and the map, then prepares either the colour table (default) or the
// fixed-point map of the direct routine.

#include "kernels/hsv/hsv_routines.hpp"
#include "kernels/hsv/hsv_tables.hpp"
#include "ops/pointwise_family.hpp"

namespace pyxa {
namespace {

struct Grid {
    int32_t hues = 0, sats = 0, vals = 1;
    uint64_t map_count = 0;  // H * S * V * 3
};

// H * 3 * S * V must fit a signed 32-bit integer (each is in its range already).
Status check_grid(Grid* g, Diagnostic* diag) {
    uint64_t n = 0;
    if (!checked_mul(static_cast<uint64_t>(g->hues) * 3, static_cast<uint64_t>(g->sats), &n) ||
        !checked_mul(n, static_cast<uint64_t>(g->vals), &n) || n > static_cast<uint64_t>(INT32_MAX))
        return fail(diag, INVALID_ARGUMENT, "hue_divs * sat_divs * val_divs * 3 exceeds 2^31 - 1");
    g->map_count = n;
    return OK;
}

Status build(bool with_value, const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
             KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    Grid g;
    g.hues = attrs.i32("hue_divs");
    g.sats = attrs.i32("sat_divs");
    g.vals = with_value ? attrs.i32("val_divs") : 1;
    const bool use_table = attrs.switch_on("engine_opts", true);
    if (input->channels != 3) return refuse_channels(diag, "input", *input, 3);
    if (input->dtype != FLOAT32) return refuse_dtype(diag, INVALID_ARGUMENT, "input", *input, "float32");
    if (output.dtype != FLOAT32) return refuse_dtype(diag, INVALID_ARGUMENT, "output", output, "float32");
    PYXA_TRY(check_grid(&g, diag));
    const std::span<const float> map = attrs.floats("map_data");
    if (map.size() != g.map_count)
        return fail(diag, INVALID_ARGUMENT, "\"map_data\" needs ", g.map_count, " values, got ", map.size());
    PYXA_TRY(check_output_shape(*input, output, 3, diag));
    auto p = std::make_shared<HueSatMapParams>();
    const bool cells = with_value && !use_table && best_isa() == Isa::Avx512;  // what the routine reads
    PYXA_TRY(prepare_hsv_map(map, g.hues, g.sats, g.vals, p.get(), cells));
    if (use_table) PYXA_TRY(build_hsv_table(p.get(), with_value ? kPrismLutSize : kChromaLutSize));
    const PointwiseRun run = use_table ? hsv_table_routine(with_value) : hsv_direct_routine(with_value);
    return finish_pointwise(step, run, std::move(p));
}

}  // namespace

Status build_apply_hue_sat_map(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                               KernelStep* step) {
    return build(false, attrs, input, output, step);
}

Status build_apply_hue_sat_val_map(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                                   KernelStep* step) {
    return build(true, attrs, input, output, step);
}

}  // namespace pyxa
