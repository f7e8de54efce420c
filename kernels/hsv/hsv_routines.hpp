// Routines of the hue/saturation(/value) map kernels on three-channel float32
// pixels; `with_value` selects the map with value divisions.
#pragma once

#include "core/isa.hpp"
#include "core/kernel_step.hpp"

namespace pyxa {

// Converts each pixel to hue/saturation/value and interpolates the prepared map.
PointwiseRun hsv_direct_routine(bool with_value, Isa isa = best_isa());
// Interpolates the precomputed colour table.
PointwiseRun hsv_table_routine(bool with_value, Isa isa = best_isa());

}  // namespace pyxa
