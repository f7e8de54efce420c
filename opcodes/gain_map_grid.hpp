// The gain-grid application shared by "apply_gain_map" (3 channels, a plane
// range) and "apply_gain_map_cfa" (plane 0 of a mosaic).
#pragma once

#include <cstdint>

#include "core/isa.hpp"
#include "core/status.hpp"
#include "tarnimg_opcodes.h"

namespace tarnimg {

using pyxa::Status;

struct GainGridParams {
    const float* gains = nullptr;
    uint64_t gain_count = 0;
    int32_t points_v = 0, points_h = 0, map_planes = 0;
    int32_t top = 0, left = 0, bottom = 0, right = 0;
    int32_t start_plane = 0, num_planes = 1;
    int32_t row_pitch = 1, col_pitch = 1;
    double spacing_v = 0, spacing_h = 0, origin_v = 0, origin_h = 0;
};

// The kernel checks after the copy step; `channels` is the count the opcode
// works on (3 or 1).
Status check_gain_grid(const ImageView& out, const GainGridParams& p, uint64_t channels);

// Multiplies the selected samples of the output by the grid gain, clamped to
// [0, 1]; fails only when its row buffers cannot be allocated. One copy per
// instruction set (the vector copies form the gains and scale the samples in
// vector lanes); every copy gives the same bytes.
using GainGridApply = Status (*)(const ImageView&, const GainGridParams&);
GainGridApply gain_grid_routine(pyxa::Isa isa);

// What both gain-grid opcodes do after their schema check: the image checks
// for `channels`, the copy step, the grid checks and the application.
Status run_gain_grid(const ImageView* in, const ImageView* out, uint64_t channels, const GainGridParams& p);

// The whole opcode (gain_map_attrs.cpp): schema check, attribute reading and
// run_gain_grid; `with_planes` is "apply_gain_map" (3 channels and a plane
// range), otherwise "apply_gain_map_cfa" (plane 0 of a mosaic).
Status run_gain_map_opcode(bool with_planes, const ImageView* inputs, uint64_t input_count,
                           const ImageView* outputs, uint64_t output_count, const AttrItem* items,
                           uint64_t item_count);

}  // namespace tarnimg
