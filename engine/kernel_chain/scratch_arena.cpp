// Growth of scratch slots.
#include "engine/kernel_chain/scratch_arena.hpp"

#include <cstdlib>
#include <cstring>

namespace pyxa {

Status ScratchSlot::reserve(uint64_t bytes) {
    if (bytes <= size) return OK;
    const uint64_t grown = std::max(bytes, saturating_mul(size, 2));
    if (grown > static_cast<uint64_t>(PTRDIFF_MAX)) return OUT_OF_MEMORY;
    uint8_t* p = static_cast<uint8_t*>(std::realloc(data.get(), grown));
    if (p == nullptr) return OUT_OF_MEMORY;
    (void)data.release();
    data.reset(p);
    std::memset(p + size, 0, grown - size);
    size = grown;
    return OK;
}

}  // namespace pyxa
