// Pointwise routines are picked per instruction set (see core/isa.hpp);
// tables of pickers stand for routines.
#pragma once

#include "core/isa.hpp"
#include "core/kernel_step.hpp"

namespace pyxa {

using RoutinePick = PointwiseRun (*)(Isa);

}  // namespace pyxa
