// Builder of "apply_hue_sat_map" and "apply_hue_sat_val_map": checks the grid
// and the map, then prepares either the colour table (default) or the
// fixed-point map of the direct routine.
#include <limits>

#include "kernels/hsv/hsv_routines.hpp"
#include "kernels/hsv/hsv_tables.hpp"
#include "ops/pointwise_family.hpp"

namespace pyxa {
namespace {

struct Grid {
    int32_t hues = 0, sats = 0, vals = 1;
    uint64_t map_count = 0;  // H * S * V * 3
};

Status read_grid(const AttrList& attrs, bool with_value, const char* opt_key, bool* use_table, Grid* g) {
    PYXA_TRY(attrs.required_int("hue_divs", &g->hues));
    PYXA_TRY(attrs.required_int("sat_divs", &g->sats));
    if (with_value) PYXA_TRY(attrs.required_int("val_divs", &g->vals));
    PYXA_TRY(read_engine_opts(attrs, opt_key, true, use_table));
    if (with_value && g->vals < 2) return refuse_value(attrs.diag(), "val_divs", "at least 2", g->vals);
    return OK;
}

// H > 0, S > 1, and H * 3 * S * V must fit a signed 32-bit integer.
Status check_grid(Grid* g, Diagnostic* diag) {
    if (g->hues <= 0) return refuse_value(diag, "hue_divs", "positive", g->hues);
    if (g->sats <= 1) return refuse_value(diag, "sat_divs", "at least 2", g->sats);
    if (g->vals <= 0) return refuse_value(diag, "val_divs", "positive", g->vals);
    uint64_t n = 0;
    if (!checked_mul(static_cast<uint64_t>(g->hues) * 3, static_cast<uint64_t>(g->sats), &n) ||
        !checked_mul(n, static_cast<uint64_t>(g->vals), &n) || n > static_cast<uint64_t>(INT32_MAX))
        return fail(diag, INVALID_ARGUMENT, "hue_divs * sat_divs * val_divs * 3 exceeds 2^31 - 1");
    g->map_count = n;
    return OK;
}

Status build(bool with_value, const AttrList& attrs, const TensorDesc* input, const TensorDesc& output,
             KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    PYXA_TRY(require_input(input, diag));
    Grid g;
    bool use_table = true;
    PYXA_TRY(read_grid(attrs, with_value, with_value ? "prism_lut" : "chroma_lut", &use_table, &g));
    if (input->channels != 3) return refuse_channels(diag, "input", *input, 3);
    if (input->dtype != FLOAT32) return refuse_dtype(diag, INVALID_ARGUMENT, "input", *input, "float32");
    if (output.dtype != FLOAT32) return refuse_dtype(diag, INVALID_ARGUMENT, "output", output, "float32");
    PYXA_TRY(check_grid(&g, diag));
    std::vector<float> map;
    PYXA_TRY(attrs.float_array_exact("map_data", g.map_count, &map));
    PYXA_TRY(check_output_shape(*input, output, 3, diag));
    auto p = std::make_shared<HueSatMapParams>();
    const bool cells = with_value && !use_table && best_isa() == Isa::Avx512;  // what the routine reads
    PYXA_TRY(prepare_hsv_map(map, g.hues, g.sats, g.vals, p.get(), cells));
    if (use_table) PYXA_TRY(build_hsv_table(p.get(), with_value ? kPrismLutSize : kChromaLutSize));
    const PointwiseRun run = use_table ? hsv_table_routine(with_value) : hsv_direct_routine(with_value);
    return finish_pointwise(step, run, std::move(p));
}

}  // namespace

Status build_hue_sat_map(const AttrList& attrs, const TensorDesc* input, const TensorDesc& output, KernelStep* step) {
    return build(false, attrs, input, output, step);
}

Status build_hue_sat_val_map(const AttrList& attrs, const TensorDesc* input, const TensorDesc& output,
                             KernelStep* step) {
    return build(true, attrs, input, output, step);
}

}  // namespace pyxa
