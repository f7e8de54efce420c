// Refusal of output arrays whose memory overlaps an input or another output,
// found from the bound arrays' rows before any pixel work.
#pragma once

#include <vector>

#include "core/records.hpp"

namespace pyxa {

// Raises ValueError naming both tensors when an output shares a byte with an
// input or with another output. An output on exactly an input's memory and
// layout is allowed where the engine computes it element by element.
void refuse_overlaps(const Graph& graph, const std::vector<TensorBinding>& inputs,
                     const std::vector<TensorBinding>& outputs);

}  // namespace pyxa
