// The three-row ring of green rows of the full edge-aware demosaic: which row
// sits in which slot and which rows must still be computed.
#include "kernels/demosaic/green_cache.hpp"

namespace pyxa {

float* green_slot(GreenCache& cache, int64_t row, int64_t x0, uint64_t n, bool* fresh) {
    if (cache.col0 != x0 - 1 || cache.cols != n + 2) {
        cache.col0 = x0 - 1;
        cache.cols = n + 2;
        cache.count = 0;
    }
    const __int128 offset = __int128(row) - cache.first_row;
    float* slot = cache.buf.get() + cache.row_capacity * static_cast<uint64_t>(((row % 3) + 3) % 3);
    *fresh = false;
    if (cache.count > 0 && offset >= 0 && offset < __int128(cache.count)) return slot;
    if (cache.count > 0 && offset == __int128(cache.count)) {
        if (cache.count == 3) ++cache.first_row;  // the oldest row shares this slot
        else ++cache.count;
    } else {
        cache.first_row = row;
        cache.count = 1;
    }
    *fresh = true;
    return slot;
}

}  // namespace pyxa
