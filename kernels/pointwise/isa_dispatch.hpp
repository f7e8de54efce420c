// Pointwise routines are picked per instruction set (see kernels/isa.hpp);
// tables of pickers stand for routines.
#pragma once

#include "kernels/isa.hpp"
#include "core/kernel_step.hpp"

namespace pyxa {

using RoutinePick = PointwiseRun (*)(Isa);

}  // namespace pyxa
