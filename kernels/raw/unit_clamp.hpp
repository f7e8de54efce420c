// The clamp of normalised and demosaiced values to [0, 1]: NaN becomes 0.
#pragma once

namespace pyxa {

inline float unit_clamp(float v) { return v >= 1.0f ? 1.0f : (v > 0.0f ? v : 0.0f); }

}  // namespace pyxa
