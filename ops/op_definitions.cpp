// The table of built-in ops: each op's attribute rows stand right above its
// definition, so an op reads in one place (its builder and kernel are named by
// the definition).
#include "ops/op_definitions.hpp"

namespace pyxa {
namespace {

constexpr bool kRequired = true;
constexpr bool kOptional = false;

constexpr AttrRow kScalar[] = {{"value", ATTR_FLOAT32, kRequired, ""}};
constexpr AttrRow kMatrix3x3[] = {{"matrix", ATTR_FLOAT32_ARRAY, kRequired, "9 values, row-major"}};

// The output type and the bit depths that scale integer input and output.
#define PYXA_SCALED_TYPES                                                                   \
    {"dest_dtype", ATTR_STRING, kRequired, "uint8, uint16 or float32"},                     \
        {"src_bits", ATTR_INT32, kRequired, "at most 31; 0 or less: all bits of the type"}, \
        {"dst_bits", ATTR_INT32, kRequired, "at most 31; 0 or less: all bits of the type"}

constexpr AttrRow kConvertDtype[] = {PYXA_SCALED_TYPES, {"clip_max", ATTR_FLOAT32, kRequired, ""}};
constexpr AttrRow kLut[] = {{"lut", ATTR_FLOAT32_ARRAY, kRequired, "at least 2 values"}};
constexpr AttrRow kMonoLut[] = {PYXA_SCALED_TYPES, {"lut", ATTR_FLOAT32_ARRAY, kRequired, "at least 2 values"}};
constexpr AttrRow kTransformColor[] = {
    PYXA_SCALED_TYPES,
    {"hue_preserving", ATTR_INT32, kRequired, "0 or 1"},
    {"input_lut", ATTR_FLOAT32_ARRAY, kOptional, "at least 2 values"},
    {"matrix", ATTR_FLOAT32_ARRAY, kOptional, "9 values"},
    {"output_lut", ATTR_FLOAT32_ARRAY, kOptional, "at least 2 values; one of the three parts at least"},
};
#undef PYXA_SCALED_TYPES
constexpr AttrRow kClipAndTransform[] = {
    {"clip_max", ATTR_FLOAT32_ARRAY, kRequired, "3 values"},
    {"matrix", ATTR_FLOAT32_ARRAY, kRequired, "9 values"},
};
constexpr AttrRow kHueSatMap[] = {
    {"hue_divs", ATTR_INT32, kRequired, "positive"},
    {"sat_divs", ATTR_INT32, kRequired, "at least 2"},
    {"map_data", ATTR_FLOAT32_ARRAY, kRequired, "hue_divs * sat_divs * 3 values"},
    {"engine_opts", ATTR_STRING, kOptional, "JSON object: chroma_lut"},
};
constexpr AttrRow kHueSatValMap[] = {
    {"hue_divs", ATTR_INT32, kRequired, "positive"},
    {"sat_divs", ATTR_INT32, kRequired, "at least 2"},
    {"val_divs", ATTR_INT32, kRequired, "at least 2"},
    {"map_data", ATTR_FLOAT32_ARRAY, kRequired, "hue_divs * sat_divs * val_divs * 3 values"},
    {"engine_opts", ATTR_STRING, kOptional, "JSON object: prism_lut"},
};
constexpr AttrRow kNormalizeRaw[] = {
    {"black_repeat_rows", ATTR_INT32, kRequired, "positive"},
    {"black_repeat_cols", ATTR_INT32, kRequired, "positive"},
    {"samples_per_pixel", ATTR_INT32, kRequired, "the input's channel count"},
    {"black_level", ATTR_FLOAT32_ARRAY, kRequired, "rows * cols * samples values"},
    {"white_level", ATTR_FLOAT32_ARRAY, kRequired, "1 or samples values"},
    {"black_delta_h", ATTR_FLOAT32_ARRAY, kOptional, "the input's width"},
    {"black_delta_v", ATTR_FLOAT32_ARRAY, kOptional, "the input's height"},
    {"linearization_table", ATTR_INT32_ARRAY, kOptional, "low 16 bits of each value"},
};
constexpr AttrRow kView[] = {
    {"top", ATTR_INT32, kRequired, ""},
    {"left", ATTR_INT32, kRequired, ""},
    {"width", ATTR_INT32, kRequired, "positive"},
    {"height", ATTR_INT32, kRequired, "positive"},
    {"oob_valid", ATTR_INT32, kOptional, "0 or 1, default 1"},
};
constexpr AttrRow kPad[] = {
    {"top", ATTR_INT32, kRequired, "at least 0"},
    {"bottom", ATTR_INT32, kRequired, "at least 0"},
    {"left", ATTR_INT32, kRequired, "at least 0"},
    {"right", ATTR_INT32, kRequired, "at least 0"},
    {"mode", ATTR_STRING, kOptional, "reflect, symmetric, edge or constant (default)"},
    {"constant_values", ATTR_FLOAT32_ARRAY, kOptional, "4 values: top, bottom, left, right"},
};
constexpr AttrRow kFill[] = {{"value", ATTR_FLOAT32_ARRAY, kRequired, "1 or channels values"}};
constexpr AttrRow kBilinearDemosaic[] = {{"cfa_pattern", ATTR_STRING, kRequired, "RGGB, BGGR, GRBG or GBRG"}};
constexpr AttrRow kEaDemosaic[] = {
    {"cfa_pattern", ATTR_STRING, kRequired, "RGGB, BGGR, GRBG or GBRG"},
    {"fast", ATTR_INT32, kOptional, "0 or 1, default 0"},
    {"engine_opts", ATTR_STRING, kOptional, "JSON object: neon"},
};
constexpr AttrRow kOrientation[] = {{"orientation", ATTR_INT32, kRequired, "1..8"}};

constexpr OpDefinition kOps[] = {
    {"sub_scalar", KernelKind::Pointwise, kScalar, build_sub_scalar},
    {"mul_scalar", KernelKind::Pointwise, kScalar, build_mul_scalar},
    {"matrix_3x3", KernelKind::Pointwise, kMatrix3x3, build_matrix_3x3},
    {"convert_dtype", KernelKind::Pointwise, kConvertDtype, build_convert_dtype},
    {"lut", KernelKind::Pointwise, kLut, build_lut},
    {"mono_lut", KernelKind::Pointwise, kMonoLut, build_mono_lut},
    {"transform_color", KernelKind::Pointwise, kTransformColor, build_transform_color},
    {"clip_and_transform_color", KernelKind::Pointwise, kClipAndTransform, build_clip_and_transform},
    {"apply_hue_sat_map", KernelKind::Pointwise, kHueSatMap, build_hue_sat_map},
    {"apply_hue_sat_val_map", KernelKind::Pointwise, kHueSatValMap, build_hue_sat_val_map},
    {"normalize_raw", KernelKind::Span, kNormalizeRaw, build_normalize_raw},
    {"view", KernelKind::Span, kView, build_view},
    {"pad", KernelKind::Span, kPad, build_pad},
    {"fill", KernelKind::Span, kFill, build_fill},
    {"bilinear_demosaic", KernelKind::Demosaic, kBilinearDemosaic, build_bilinear_demosaic},
    {"ea_demosaic", KernelKind::Demosaic, kEaDemosaic, build_ea_demosaic},
    {"orientation", KernelKind::Orientation, kOrientation, build_orientation},
};

}  // namespace

std::span<const OpDefinition> op_definitions() { return kOps; }

}  // namespace pyxa
