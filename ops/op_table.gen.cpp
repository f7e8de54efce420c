// The built-in ops: attribute rows and definitions.
// Generated from python/pyxa/_opdefs.py by `python tools/generate_ops.py`; do not edit.
#include "ops/op_definitions.hpp"

namespace pyxa {

Status build_sub_scalar(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_mul_scalar(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_matrix_3x3(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_convert_dtype(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_lut(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_mono_lut(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_transform_color(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status precheck_transform_color(const TensorDesc*, const TensorDesc&, Diagnostic*);
Status build_clip_and_transform_color(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status precheck_clip_and_transform_color(const TensorDesc*, const TensorDesc&, Diagnostic*);
Status build_apply_hue_sat_map(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_apply_hue_sat_val_map(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_normalize_raw(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status precheck_normalize_raw(const TensorDesc*, const TensorDesc&, Diagnostic*);
Status build_view(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_pad(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_fill(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_bilinear_demosaic(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status precheck_bilinear_demosaic(const TensorDesc*, const TensorDesc&, Diagnostic*);
Status build_ea_demosaic(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status precheck_ea_demosaic(const TensorDesc*, const TensorDesc&, Diagnostic*);
Status build_half_demosaic(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status precheck_half_demosaic(const TensorDesc*, const TensorDesc&, Diagnostic*);
Status build_orientation(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);

namespace {

constexpr AttrRow kSubScalar[] = {
    {.name = "value", .kind = AttrKind::Float, .required = true},
};
constexpr AttrRow kMulScalar[] = {
    {.name = "value", .kind = AttrKind::Float, .required = true},
};
constexpr AttrRow kMatrix3x3[] = {
    {.name = "matrix", .kind = AttrKind::Floats, .required = true, .exact_count = 9},
};
constexpr const char* kConvertDtype_dest_dtype_choices[] = {"uint8", "uint16", "float32"};
constexpr AttrRow kConvertDtype[] = {
    {.name = "dest_dtype", .kind = AttrKind::DType, .required = true, .choices = kConvertDtype_dest_dtype_choices,
     .choices_text = "\"uint8\", \"uint16\" or \"float32\""},
    {.name = "src_bits", .kind = AttrKind::Int, .required = true, .has_maximum = true, .maximum = 31,
     .range_text = "at most 31"},
    {.name = "dst_bits", .kind = AttrKind::Int, .required = true, .has_maximum = true, .maximum = 31,
     .range_text = "at most 31"},
    {.name = "clip_max", .kind = AttrKind::Float, .required = true},
};
constexpr AttrRow kLut[] = {
    {.name = "lut", .kind = AttrKind::Floats, .required = true, .min_count = 2},
};
constexpr const char* kMonoLut_dest_dtype_choices[] = {"uint8", "uint16", "float32"};
constexpr AttrRow kMonoLut[] = {
    {.name = "dest_dtype", .kind = AttrKind::DType, .required = true, .choices = kMonoLut_dest_dtype_choices,
     .choices_text = "\"uint8\", \"uint16\" or \"float32\""},
    {.name = "src_bits", .kind = AttrKind::Int, .required = true, .has_maximum = true, .maximum = 31,
     .range_text = "at most 31"},
    {.name = "dst_bits", .kind = AttrKind::Int, .required = true, .has_maximum = true, .maximum = 31,
     .range_text = "at most 31"},
    {.name = "lut", .kind = AttrKind::Floats, .required = true, .min_count = 2},
};
constexpr const char* kTransformColor_dest_dtype_choices[] = {"uint8", "uint16", "float32"};
constexpr AttrRow kTransformColor[] = {
    {.name = "dest_dtype", .kind = AttrKind::DType, .required = true, .choices = kTransformColor_dest_dtype_choices,
     .choices_text = "\"uint8\", \"uint16\" or \"float32\""},
    {.name = "src_bits", .kind = AttrKind::Int, .required = true, .has_maximum = true, .maximum = 31,
     .range_text = "at most 31"},
    {.name = "dst_bits", .kind = AttrKind::Int, .required = true, .has_maximum = true, .maximum = 31,
     .range_text = "at most 31"},
    {.name = "hue_preserving", .kind = AttrKind::Flag, .required = true},
    {.name = "input_lut", .kind = AttrKind::Floats, .required = false, .min_count = 2},
    {.name = "matrix", .kind = AttrKind::Floats, .required = false, .exact_count = 9},
    {.name = "output_lut", .kind = AttrKind::Floats, .required = false, .min_count = 2},
};
constexpr AttrRow kClipAndTransformColor[] = {
    {.name = "clip_max", .kind = AttrKind::Floats, .required = true, .exact_count = 3},
    {.name = "matrix", .kind = AttrKind::Floats, .required = true, .exact_count = 9},
};
constexpr const char* kApplyHueSatMap_engine_opts_choices[] = {"chroma_lut"};
constexpr AttrRow kApplyHueSatMap[] = {
    {.name = "hue_divs", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 1,
     .range_text = "positive"},
    {.name = "sat_divs", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 2,
     .range_text = "at least 2"},
    {.name = "map_data", .kind = AttrKind::Floats, .required = true},
    {.name = "engine_opts", .kind = AttrKind::Switches, .required = false,
     .choices = kApplyHueSatMap_engine_opts_choices, .choices_text = "chroma_lut"},
};
constexpr const char* kApplyHueSatValMap_engine_opts_choices[] = {"prism_lut"};
constexpr AttrRow kApplyHueSatValMap[] = {
    {.name = "hue_divs", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 1,
     .range_text = "positive"},
    {.name = "sat_divs", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 2,
     .range_text = "at least 2"},
    {.name = "val_divs", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 2,
     .range_text = "at least 2"},
    {.name = "map_data", .kind = AttrKind::Floats, .required = true},
    {.name = "engine_opts", .kind = AttrKind::Switches, .required = false,
     .choices = kApplyHueSatValMap_engine_opts_choices, .choices_text = "prism_lut"},
};
constexpr AttrRow kNormalizeRaw[] = {
    {.name = "black_repeat_rows", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 1,
     .range_text = "positive"},
    {.name = "black_repeat_cols", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 1,
     .range_text = "positive"},
    {.name = "samples_per_pixel", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 1,
     .range_text = "positive"},
    {.name = "black_level", .kind = AttrKind::Floats, .required = true},
    {.name = "white_level", .kind = AttrKind::Floats, .required = true},
    {.name = "black_delta_h", .kind = AttrKind::Floats, .required = false, .empty_is_absent = true},
    {.name = "black_delta_v", .kind = AttrKind::Floats, .required = false, .empty_is_absent = true},
    {.name = "linearization_table", .kind = AttrKind::Ints, .required = false, .empty_is_absent = true},
};
constexpr AttrRow kView[] = {
    {.name = "top", .kind = AttrKind::Int, .required = true},
    {.name = "left", .kind = AttrKind::Int, .required = true},
    {.name = "width", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 1,
     .range_text = "positive"},
    {.name = "height", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 1,
     .range_text = "positive"},
    {.name = "oob_valid", .kind = AttrKind::Flag, .required = false, .flag_default = true},
};
constexpr const char* kPad_mode_choices[] = {"reflect", "symmetric", "edge", "constant"};
constexpr AttrRow kPad[] = {
    {.name = "top", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 0,
     .range_text = "at least 0"},
    {.name = "bottom", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 0,
     .range_text = "at least 0"},
    {.name = "left", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 0,
     .range_text = "at least 0"},
    {.name = "right", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 0,
     .range_text = "at least 0"},
    {.name = "mode", .kind = AttrKind::Choice, .required = false, .choices = kPad_mode_choices,
     .choices_text = "reflect, symmetric, edge or constant"},
    {.name = "constant_values", .kind = AttrKind::Floats, .required = false, .exact_count = 4},
};
constexpr AttrRow kFill[] = {
    {.name = "value", .kind = AttrKind::Floats, .required = true},
};
constexpr const char* kBilinearDemosaic_cfa_pattern_choices[] = {"RGGB", "BGGR", "GRBG", "GBRG"};
constexpr AttrRow kBilinearDemosaic[] = {
    {.name = "cfa_pattern", .kind = AttrKind::Cfa, .required = true,
     .choices = kBilinearDemosaic_cfa_pattern_choices, .choices_text = "RGGB, BGGR, GRBG or GBRG"},
};
constexpr const char* kEaDemosaic_cfa_pattern_choices[] = {"RGGB", "BGGR", "GRBG", "GBRG"};
constexpr const char* kEaDemosaic_engine_opts_choices[] = {"neon"};
constexpr AttrRow kEaDemosaic[] = {
    {.name = "cfa_pattern", .kind = AttrKind::Cfa, .required = true, .choices = kEaDemosaic_cfa_pattern_choices,
     .choices_text = "RGGB, BGGR, GRBG or GBRG"},
    {.name = "fast", .kind = AttrKind::Flag, .required = false},
    {.name = "engine_opts", .kind = AttrKind::Switches, .required = false,
     .choices = kEaDemosaic_engine_opts_choices, .choices_text = "neon"},
};
constexpr const char* kHalfDemosaic_cfa_pattern_choices[] = {"RGGB", "BGGR", "GRBG", "GBRG"};
constexpr AttrRow kHalfDemosaic[] = {
    {.name = "cfa_pattern", .kind = AttrKind::Cfa, .required = true, .choices = kHalfDemosaic_cfa_pattern_choices,
     .choices_text = "RGGB, BGGR, GRBG or GBRG"},
};
constexpr AttrRow kOrientation[] = {
    {.name = "orientation", .kind = AttrKind::Int, .required = true, .has_minimum = true, .has_maximum = true,
     .minimum = 1, .maximum = 8, .range_text = "1..8"},
};

constexpr OpDefinition kOps[] = {
    {"sub_scalar", KernelKind::Pointwise, true, kSubScalar, nullptr, build_sub_scalar},
    {"mul_scalar", KernelKind::Pointwise, true, kMulScalar, nullptr, build_mul_scalar},
    {"matrix_3x3", KernelKind::Pointwise, true, kMatrix3x3, nullptr, build_matrix_3x3},
    {"convert_dtype", KernelKind::Pointwise, true, kConvertDtype, nullptr, build_convert_dtype},
    {"lut", KernelKind::Pointwise, true, kLut, nullptr, build_lut},
    {"mono_lut", KernelKind::Pointwise, true, kMonoLut, nullptr, build_mono_lut},
    {"transform_color", KernelKind::Pointwise, true, kTransformColor, precheck_transform_color,
     build_transform_color},
    {"clip_and_transform_color", KernelKind::Pointwise, true, kClipAndTransformColor,
     precheck_clip_and_transform_color, build_clip_and_transform_color},
    {"apply_hue_sat_map", KernelKind::Pointwise, true, kApplyHueSatMap, nullptr, build_apply_hue_sat_map},
    {"apply_hue_sat_val_map", KernelKind::Pointwise, true, kApplyHueSatValMap, nullptr, build_apply_hue_sat_val_map},
    {"normalize_raw", KernelKind::Span, true, kNormalizeRaw, precheck_normalize_raw, build_normalize_raw},
    {"view", KernelKind::Span, true, kView, nullptr, build_view},
    {"pad", KernelKind::Span, true, kPad, nullptr, build_pad},
    {"fill", KernelKind::Span, false, kFill, nullptr, build_fill},
    {"bilinear_demosaic", KernelKind::Demosaic, true, kBilinearDemosaic, precheck_bilinear_demosaic,
     build_bilinear_demosaic},
    {"ea_demosaic", KernelKind::Demosaic, true, kEaDemosaic, precheck_ea_demosaic, build_ea_demosaic},
    {"half_demosaic", KernelKind::Demosaic, true, kHalfDemosaic, precheck_half_demosaic, build_half_demosaic},
    {"orientation", KernelKind::Orientation, true, kOrientation, nullptr, build_orientation},
};

constexpr const char* kInPlaceOpcodes[] = {
    "apply_profile_gain_table_map",
    "fix_vignette",
    "apply_gain_map",
    "apply_gain_map_cfa",
    "apply_flat_gain_map",
    "map_polynomial",
    "map_table",
    "delta_per_row",
    "delta_per_column",
    "scale_per_row",
    "scale_per_column",
};

}  // namespace

std::span<const OpDefinition> op_definitions() { return kOps; }

std::span<const char* const> in_place_opcodes() { return kInPlaceOpcodes; }

}  // namespace pyxa
