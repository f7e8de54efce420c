// Builds the bicubic weight table once per process, guarded against
// concurrent first use; each entry's weights are normalised to sum to 1.
#include "opcodes/bicubic_table.hpp"

#include <cmath>
#include <mutex>
#include <new>

namespace tarnimg {
namespace {

// Cubic convolution kernel with a = -0.75, for t >= 0.
double cubic_kernel(double t) {
    if (t < 1.0) return 1.25 * t * t * t - 2.25 * t * t + 1.0;
    if (t < 2.0) return -0.75 * t * t * t + 3.75 * t * t - 6.0 * t + 3.0;
    return 0.0;
}

void fill_entry(float* entry, int jy, int jx) {
    const double fy = jy / double(kBicubicBins);
    const double fx = jx / double(kBicubicBins);
    double sum = 0.0;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const float w = float(cubic_kernel(std::fabs(r - 1 - fy)) * cubic_kernel(std::fabs(c - 1 - fx)));
            entry[4 * r + c] = w;
            sum += double(w);
        }
    }
    const float norm = float(1.0 / sum);
    for (int i = 0; i < kBicubicTaps; ++i) entry[i] = entry[i] * norm;
}

float* g_table = nullptr;
std::once_flag g_once;

void build() {
    float* t = new (std::nothrow) float[kBicubicBins * kBicubicBins * kBicubicTaps];
    // Throwing leaves the flag unset, so a later call retries the build.
    if (t == nullptr) throw std::bad_alloc();
    for (int jy = 0; jy < kBicubicBins; ++jy) {
        for (int jx = 0; jx < kBicubicBins; ++jx) fill_entry(t + (jy * kBicubicBins + jx) * kBicubicTaps, jy, jx);
    }
    g_table = t;
}

}  // namespace

const float* bicubic_table() {
    try {
        std::call_once(g_once, build);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return g_table;
}

}  // namespace tarnimg
