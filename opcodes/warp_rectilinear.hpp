// The warp opcode run with a chosen instruction-set copy; the exported entry
// takes the widest the processor has, and the tests compare every copy.
#pragma once

#include <cstdint>

#include "core/isa.hpp"
#include "tarnimg_opcodes.h"

namespace tarnimg {

int32_t warp_rectilinear_with(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count,
                              const ImageView* outputs, uint64_t output_count, const AttrItem* items,
                              uint64_t item_count);

}  // namespace tarnimg
