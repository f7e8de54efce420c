// Parameter records of the pointwise colour kernels, owned by their steps and
// read-only while the kernels run.
#pragma once

#include <cstdint>

#include "kernels/pointwise/lookup_table.hpp"

namespace pyxa {

struct ScalarParams {
    float value = 0.0f;
};

struct MatrixParams {
    float m[9] = {};  // row-major
};

struct ClipMatrixParams {
    float clip_max[3] = {};
    float m[9] = {};
};

struct ConvertParams {
    float scale = 1.0f;  // output maximum / input maximum
    float clip = -1.0f;  // negative: no clip
    int32_t src_bits = 0;
    int32_t dst_bits = 0;
};

struct LutParams {
    LookupTable table;
    float in_scale = 1.0f;   // 1 / input maximum
    float out_scale = 1.0f;  // output maximum
    float pos_scale = 0.0f;  // (n - 1) * in_scale: input value -> table position
    int32_t src_bits = -1;
    int32_t dst_bits = -1;
    // The direct routine's 256 results in the output type, one per input
    // byte (make_direct_results).
    alignas(alignof(float)) uint8_t direct[256 * sizeof(float)] = {};
};

struct TransformColorParams {
    bool has_in = false;
    bool has_out = false;
    bool has_matrix = false;
    bool hue_preserving = false;
    LookupTable in_table;
    LookupTable out_table;
    float m[9] = {};           // already multiplied by the output-table factor
    float in_scale = 1.0f;     // 1 / input maximum
    float out_scale = 1.0f;    // output maximum
    float in_pos_scale = 0.0f;   // (n_in - 1) * in_scale
    float out_pos_scale = 0.0f;  // (n_out - 1) * in_scale: single output table on input values
    float chain_pos_scale = 0.0f;  // n_out - 1: output table on input-table results
    // store_needs_no_clamps of the output table and out_scale, decided once
    // per step: the lone output table's routines then leave out the clamps.
    bool out_unclamped = false;
};

}  // namespace pyxa
