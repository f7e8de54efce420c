// The clamp of float results to [0, 1] that the kernels and the opcode library
// share: NaN, negatives and -0 become +0, 1 and above become 1.
#pragma once

namespace pyxa {

inline float unit_clamp(float v) { return v >= 1.0f ? 1.0f : (v > 0.0f ? v : 0.0f); }

}  // namespace pyxa
