// Whether an output may be written over exactly the memory of an input: only
// where every element is read before the element at its place is written.
#pragma once

#include <cstdint>

#include "core/records.hpp"
#include "core/status.hpp"

namespace pyxa {

// Sets `allowed` when the only use of `input` is a path of one-input,
// one-output pointwise nodes ending at `output`, each tensor on it read by the
// next node alone: the chain then reads each input element before writing the
// output element at its place. Also set when a node on the path does not
// resolve, since the engine then refuses the call before any pixel work.
Status in_place_allowed(const Graph& g, uint32_t input, uint32_t output, bool* allowed);

}  // namespace pyxa
