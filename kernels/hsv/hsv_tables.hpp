// Resolution-time preparation of the hue/saturation(/value) maps: the
// fixed-point map with its wrap row, and the colour tables built from it.
#pragma once

#include <cstdint>
#include <span>

#include "core/status.hpp"
#include "core/isa.hpp"
#include "kernels/hsv/hsv_params.hpp"

namespace pyxa {

inline constexpr int32_t kChromaLutSize = 256;
inline constexpr int32_t kPrismLutSize = 65;

// map_data holds V slabs of H rows of S points of (hue shift in degrees,
// saturation scale, value scale). Fills params->data with the prepared map,
// and with `cells` and value divisions params->cells with its per-cell
// records (only the direct routine's AVX-512 copy reads them; elsewhere they
// would cost 24 numbers a cell, 64 MB for a 90 x 30 x 512 map, per call).
// OUT_OF_MEMORY when the map cannot be allocated.
Status prepare_hsv_map(std::span<const float> map_data, int32_t hue_divs, int32_t sat_divs, int32_t val_divs,
                       HueSatMapParams* params, bool cells = true);

// Regroups the prepared map (with value divisions) into params->cells, the
// per-cell records of the direct routine's AVX-512 copy. OUT_OF_MEMORY when
// they cannot be allocated.
Status prepare_hsv_cells(HueSatMapParams* params);

// Replaces the prepared map in params with the colour table of N = 256
// (val_divs 1) or N = 65 entries per face axis and V value levels, and sets the
// grid sizes to N. OUT_OF_MEMORY when the table cannot be allocated.
Status build_hsv_table(HueSatMapParams* params, int32_t faces_size, Isa isa = best_isa());

}  // namespace pyxa
