// The instruction-set copies of the hot routines are defined in the bottom
// layer (core/isa.hpp), where the opcode library takes them too.
#pragma once

#include "core/isa.hpp"
