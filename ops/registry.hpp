// Op resolution: turns one graph node into a KernelStep through its op's
// definition, or through the opcode library for correction opcodes.
#pragma once

#include <cstddef>

#include "core/diagnostic.hpp"
#include "core/kernel_step.hpp"
#include "core/records.hpp"

namespace pyxa {

// Resolves one node into a step. `input` is null when the node has no inputs.
// A refusal records its reason in `diag` when one is given.
Status resolve_kernel_step(const char* op, size_t op_len, const AttrItem* attrs, size_t attr_count,
                           const TensorDesc* input, const TensorDesc& output, KernelStep* step,
                           Diagnostic* diag = nullptr);

}  // namespace pyxa
