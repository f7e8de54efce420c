// Row buffer free list.
#include "engine/kernel_chain/row_pool.hpp"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace pyxa {

RowPool::~RowPool() {
    for (uint8_t* p : owned_) std::free(p);
}

Status RowPool::take(uint64_t bytes, RowBuf* out) {
    if (bytes == 0) bytes = 1;
    // Best fit keeps wide buffers for wide rows when row widths differ by step.
    size_t best = free_.size();
    for (size_t i = 0; i < free_.size(); ++i) {
        if (free_[i].capacity >= bytes && (best == free_.size() || free_[i].capacity < free_[best].capacity))
            best = i;
    }
    if (best != free_.size()) {
        *out = free_[best];
        free_[best] = free_.back();
        free_.pop_back();
        return OK;
    }
    if (bytes > static_cast<uint64_t>(PTRDIFF_MAX)) return OUT_OF_MEMORY;
    uint8_t* p = static_cast<uint8_t*>(std::calloc(bytes, 1));
    if (p == nullptr) return OUT_OF_MEMORY;
    try {
        owned_.push_back(p);
        free_.reserve(owned_.size());  // give() never allocates
    } catch (const std::bad_alloc&) {
        if (!owned_.empty() && owned_.back() == p) owned_.pop_back();
        std::free(p);
        return OUT_OF_MEMORY;
    }
    *out = RowBuf{p, bytes};
    return OK;
}

void RowPool::give(RowBuf buf) {
    if (buf.data != nullptr) free_.push_back(buf);
}

}  // namespace pyxa
