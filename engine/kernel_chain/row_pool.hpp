// Row buffers shared by a chain run's pipeline: released rows return to a free
// list and are reused before anything new is allocated.
#pragma once

#include <cstdint>
#include <vector>

#include "core/status.hpp"

namespace pyxa {

struct RowBuf {
    uint8_t* data = nullptr;
    uint64_t capacity = 0;
};

class RowPool {
public:
    RowPool() = default;
    RowPool(const RowPool&) = delete;
    RowPool& operator=(const RowPool&) = delete;
    ~RowPool();

    // A zero-initialised buffer of at least `bytes` (reused buffers keep old bytes).
    Status take(uint64_t bytes, RowBuf* out);
    void give(RowBuf buf);

private:
    std::vector<RowBuf> free_;
    std::vector<uint8_t*> owned_;
};

}  // namespace pyxa
