// The opcodes whose kernels have instruction-set copies, run with a chosen
// copy: the exported entries take the widest the processor has, and the tests
// compare every copy with the baseline.
#pragma once

#include <cstdint>

#include "core/isa.hpp"
#include "tarnimg_opcodes.h"

namespace tarnimg {

int32_t warp_rectilinear_with(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count,
                              const ImageView* outputs, uint64_t output_count, const AttrItem* items,
                              uint64_t item_count);

int32_t warp_fisheye_with(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
                          uint64_t output_count, const AttrItem* items, uint64_t item_count);

int32_t fix_vignette_with(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
                          uint64_t output_count, const AttrItem* items, uint64_t item_count);

int32_t apply_profile_gain_table_map_with(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count,
                                          const ImageView* outputs, uint64_t output_count, const AttrItem* items,
                                          uint64_t item_count);

}  // namespace tarnimg
