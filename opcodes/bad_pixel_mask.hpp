// The mask of listed bad pixels: one byte per pixel, 1 where a listed point or
// any pixel of a listed rectangle lies.
#pragma once

#include <cstdint>
#include <memory>

#include "core/status.hpp"

namespace tarnimg {

using pyxa::Status;

// Checked lists: points as (row, col) pairs and rectangles as (top, left,
// bottom, right) quads with exclusive bottom and right, all inside the image.
struct BadPixelList {
    const int32_t* points;
    uint64_t point_count;
    const int32_t* rects;
    uint64_t rect_count;
};

// Allocates and fills the height x width mask (row-major, no padding);
// OUT_OF_MEMORY when it or the rectangle sweep's buffers cannot be had.
Status build_bad_pixel_mask(const BadPixelList& list, uint64_t height, uint64_t width,
                            std::unique_ptr<uint8_t[]>* mask);

}  // namespace tarnimg
