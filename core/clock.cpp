// Monotonic clock: the performance counter on Windows, clock_gettime elsewhere.
#include "core/clock.hpp"

#include "core/checked.hpp"

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

namespace pyxa {

#if defined(_WIN32)
uint64_t monotonic_ns() {
    LARGE_INTEGER count, freq;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&freq);
    const uint64_t f = static_cast<uint64_t>(freq.QuadPart);
    const uint64_t c = static_cast<uint64_t>(count.QuadPart);
    if (f == 0) return 0;
    // Split into whole seconds and the remainder so the product cannot wrap.
    const uint64_t secs = c / f;
    const uint64_t rest = (c % f) * 1000000000ull / f;
    return saturating_add(saturating_mul(secs, 1000000000ull), rest);
}
#else
uint64_t monotonic_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t secs = ts.tv_sec < 0 ? 0 : static_cast<uint64_t>(ts.tv_sec);
    const uint64_t nanos = ts.tv_nsec < 0 ? 0 : static_cast<uint64_t>(ts.tv_nsec);
    return saturating_add(saturating_mul(secs, 1000000000ull), nanos);
}
#endif

}  // namespace pyxa
