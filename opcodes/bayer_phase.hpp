// The site classes of the two bad-pixel opcodes. A site's class is
// (parity + y + x) AND 1, where the parity of a mosaic phase is 0 for phases 0
// and 3 and 1 for phases 1 and 2 (only the two low bits of the phase count).
// Class 1 sites take neighbours 2k away in their row and column, class 0 sites
// the diagonal neighbours k away.
#pragma once

#include <cstdint>

namespace tarnimg {

inline uint32_t phase_parity(int32_t bayer_phase) {
    const uint32_t bits = uint32_t(bayer_phase);
    return (bits ^ (bits >> 1)) & 1u;
}

}  // namespace tarnimg
