// The engine's single entry: runs a parsed graph over bound arrays.
#pragma once

#include <cstddef>

#include "core/diagnostic.hpp"
#include "core/records.hpp"

namespace pyxa {

// Checks, plans and runs `graph`; never throws. `profile` may be null; when
// given it is emptied first and filled with one entry per executed node.
// `diag` may be null; when given, a refusal records there what is at fault.
Status engine_execute(const Graph& graph, const TensorBinding* inputs, size_t input_count,
                      const TensorBinding* outputs, size_t output_count, ProfileList* profile,
                      Diagnostic* diag = nullptr);

}  // namespace pyxa
