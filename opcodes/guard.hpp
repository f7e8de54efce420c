// The boundary of every entry function: no exception leaves the library; an
// allocation failure becomes OUT_OF_MEMORY.
#pragma once

#include <cstdint>
#include <new>

#include "core/status.hpp"

namespace tarnimg {

template <class Body>
int32_t guarded(Body&& body) noexcept {
    try {
        return static_cast<int32_t>(body());
    } catch (const std::bad_alloc&) {
        return static_cast<int32_t>(pyxa::OUT_OF_MEMORY);
    } catch (...) {
        return static_cast<int32_t>(pyxa::INTERNAL);
    }
}

}  // namespace tarnimg
