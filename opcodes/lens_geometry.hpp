// The optical-centre geometry shared by the lens opcodes: the centre in pixels
// and the normaliser, the distance from the centre to the farthest corner.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tarnimg {

struct LensGeometry {
    double cx, cy, radius;
};

inline LensGeometry lens_geometry(uint64_t height, uint64_t width, double center_x, double center_y) {
    const double w = double(width);
    const double h = double(height);
    const double cx = w * center_x;
    const double cy = h * center_y;
    double r = std::sqrt(cx * cx + cy * cy);
    r = std::max(r, std::sqrt((w - cx) * (w - cx) + cy * cy));
    r = std::max(r, std::sqrt(cx * cx + (h - cy) * (h - cy)));
    r = std::max(r, std::sqrt((w - cx) * (w - cx) + (h - cy) * (h - cy)));
    // At least 1 (a NaN centre also ends here, through the comparison).
    r = r > 1.0 ? r : 1.0;
    return {cx, cy, r};
}

}  // namespace tarnimg
