// The correction opcodes' parameter schemas.
// Generated from python/pyxa/_opdefs.py by `python tools/generate_ops.py`; do not edit.
#pragma once

#include "opcodes/schema.hpp"

namespace tarnimg::schemas {

inline constexpr ParamSpec apply_profile_gain_table_map[] = {
    {"gains", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
    {"points_v", TARNIMG_ATTR_INT32, 1, 0},
    {"points_h", TARNIMG_ATTR_INT32, 1, 0},
    {"spacing_v", TARNIMG_ATTR_FLOAT32, 1, 0},
    {"spacing_h", TARNIMG_ATTR_FLOAT32, 1, 0},
    {"origin_v", TARNIMG_ATTR_FLOAT32, 1, 0},
    {"origin_h", TARNIMG_ATTR_FLOAT32, 1, 0},
    {"num_table_points", TARNIMG_ATTR_INT32, 1, 0},
    {"weights", TARNIMG_ATTR_FLOAT32_ARRAY, 5, 0},
    {"gamma", TARNIMG_ATTR_FLOAT32, 1, 0},
    {"exposure_weight_gain", TARNIMG_ATTR_FLOAT32, 1, 0},
};

inline constexpr ParamSpec fix_vignette[] = {
    {"params", TARNIMG_ATTR_FLOAT64_ARRAY, 0, 0},
    {"center_x", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"center_y", TARNIMG_ATTR_FLOAT64, 1, 0},
};

inline constexpr ParamSpec warp_rectilinear[] = {
    {"radial_params", TARNIMG_ATTR_FLOAT64_ARRAY, 0, 0},
    {"num_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"num_coeffs", TARNIMG_ATTR_INT32, 1, 0},
    {"tangential_params", TARNIMG_ATTR_FLOAT64_ARRAY, 0, 1},
    {"center_x", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"center_y", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"use_bicubic", TARNIMG_ATTR_INT32, 1, 0},
};

inline constexpr ParamSpec apply_gain_map[] = {
    {"gain_values", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
    {"points_v", TARNIMG_ATTR_INT32, 1, 0},
    {"points_h", TARNIMG_ATTR_INT32, 1, 0},
    {"map_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"top", TARNIMG_ATTR_INT32, 1, 0},
    {"left", TARNIMG_ATTR_INT32, 1, 0},
    {"bottom", TARNIMG_ATTR_INT32, 1, 0},
    {"right", TARNIMG_ATTR_INT32, 1, 0},
    {"start_plane", TARNIMG_ATTR_INT32, 1, 0},
    {"num_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"row_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"col_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"spacing_v", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"spacing_h", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"origin_v", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"origin_h", TARNIMG_ATTR_FLOAT64, 1, 0},
};

inline constexpr ParamSpec apply_gain_map_cfa[] = {
    {"gain_values", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
    {"points_v", TARNIMG_ATTR_INT32, 1, 0},
    {"points_h", TARNIMG_ATTR_INT32, 1, 0},
    {"map_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"top", TARNIMG_ATTR_INT32, 1, 0},
    {"left", TARNIMG_ATTR_INT32, 1, 0},
    {"bottom", TARNIMG_ATTR_INT32, 1, 0},
    {"right", TARNIMG_ATTR_INT32, 1, 0},
    {"row_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"col_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"spacing_v", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"spacing_h", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"origin_v", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"origin_h", TARNIMG_ATTR_FLOAT64, 1, 0},
};

inline constexpr ParamSpec apply_flat_gain_map[] = {
    {"gain_map", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
    {"gain_h", TARNIMG_ATTR_INT32, 1, 0},
    {"gain_w", TARNIMG_ATTR_INT32, 1, 0},
};

inline constexpr ParamSpec map_polynomial[] = {
    {"top", TARNIMG_ATTR_INT32, 1, 0},
    {"left", TARNIMG_ATTR_INT32, 1, 0},
    {"bottom", TARNIMG_ATTR_INT32, 1, 0},
    {"right", TARNIMG_ATTR_INT32, 1, 0},
    {"start_plane", TARNIMG_ATTR_INT32, 1, 0},
    {"num_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"row_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"col_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"coefficients", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
    {"degree", TARNIMG_ATTR_INT32, 1, 0},
};

inline constexpr ParamSpec fix_bad_pixels_constant[] = {
    {"constant", TARNIMG_ATTR_INT32, 1, 0},
    {"bayer_phase", TARNIMG_ATTR_INT32, 1, 0},
};

inline constexpr ParamSpec warp_fisheye[] = {
    {"radial_params", TARNIMG_ATTR_FLOAT64_ARRAY, 0, 0},
    {"num_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"num_coeffs", TARNIMG_ATTR_INT32, 1, 0},
    {"center_x", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"center_y", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"use_bicubic", TARNIMG_ATTR_INT32, 1, 0},
};

inline constexpr ParamSpec fix_bad_pixels_list[] = {
    {"bayer_phase", TARNIMG_ATTR_INT32, 1, 0},
    {"points", TARNIMG_ATTR_INT32_ARRAY, 0, 1},
    {"rects", TARNIMG_ATTR_INT32_ARRAY, 0, 1},
};

inline constexpr ParamSpec trim_bounds[] = {
    {"top", TARNIMG_ATTR_INT32, 1, 0},
    {"left", TARNIMG_ATTR_INT32, 1, 0},
    {"bottom", TARNIMG_ATTR_INT32, 1, 0},
    {"right", TARNIMG_ATTR_INT32, 1, 0},
};

inline constexpr ParamSpec map_table[] = {
    {"top", TARNIMG_ATTR_INT32, 1, 0},
    {"left", TARNIMG_ATTR_INT32, 1, 0},
    {"bottom", TARNIMG_ATTR_INT32, 1, 0},
    {"right", TARNIMG_ATTR_INT32, 1, 0},
    {"start_plane", TARNIMG_ATTR_INT32, 1, 0},
    {"num_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"row_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"col_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"table", TARNIMG_ATTR_INT32_ARRAY, 0, 0},
};

inline constexpr ParamSpec delta_per_row[] = {
    {"top", TARNIMG_ATTR_INT32, 1, 0},
    {"left", TARNIMG_ATTR_INT32, 1, 0},
    {"bottom", TARNIMG_ATTR_INT32, 1, 0},
    {"right", TARNIMG_ATTR_INT32, 1, 0},
    {"start_plane", TARNIMG_ATTR_INT32, 1, 0},
    {"num_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"row_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"col_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"deltas", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
};

inline constexpr ParamSpec delta_per_column[] = {
    {"top", TARNIMG_ATTR_INT32, 1, 0},
    {"left", TARNIMG_ATTR_INT32, 1, 0},
    {"bottom", TARNIMG_ATTR_INT32, 1, 0},
    {"right", TARNIMG_ATTR_INT32, 1, 0},
    {"start_plane", TARNIMG_ATTR_INT32, 1, 0},
    {"num_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"row_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"col_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"deltas", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
};

inline constexpr ParamSpec scale_per_row[] = {
    {"top", TARNIMG_ATTR_INT32, 1, 0},
    {"left", TARNIMG_ATTR_INT32, 1, 0},
    {"bottom", TARNIMG_ATTR_INT32, 1, 0},
    {"right", TARNIMG_ATTR_INT32, 1, 0},
    {"start_plane", TARNIMG_ATTR_INT32, 1, 0},
    {"num_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"row_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"col_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"scales", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
};

inline constexpr ParamSpec scale_per_column[] = {
    {"top", TARNIMG_ATTR_INT32, 1, 0},
    {"left", TARNIMG_ATTR_INT32, 1, 0},
    {"bottom", TARNIMG_ATTR_INT32, 1, 0},
    {"right", TARNIMG_ATTR_INT32, 1, 0},
    {"start_plane", TARNIMG_ATTR_INT32, 1, 0},
    {"num_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"row_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"col_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"scales", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
};

}  // namespace tarnimg::schemas
