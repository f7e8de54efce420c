// What the two lens warps share: their parameters and checks, and the loop
// that maps and samples every plane of every row chunk by chunk. A warp brings
// only its map of output pixels to source coordinates.
#pragma once

#include <cstdint>

#include "core/isa.hpp"
#include "core/status.hpp"
#include "opcodes/warp_chunks.hpp"
#include "tarnimg_opcodes.h"

namespace tarnimg {

using pyxa::Status;

struct WarpParams {
    const double* radial;
    uint64_t radial_count;
    int32_t num_planes, num_coeffs;
    const AttrItem* tangential;  // null when absent (always for the fisheye warp)
    double center_x, center_y;
    bool bicubic;
};

// The maps of a warp: `tangential` serves the planes whose tangential
// coefficients are not both zero, `plain` every other plane.
struct WarpMaps {
    WarpMap plain, tangential;
};

// Everything after the schema check: scheme B, the parameter checks, then the
// resampling of min(num_planes, channels) planes into the output.
Status run_warp(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
                uint64_t output_count, const WarpParams& p, const WarpMaps& maps);

}  // namespace tarnimg
