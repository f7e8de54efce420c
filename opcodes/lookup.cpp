// The opcode table in lookup order, the lookup by exact name and the version.
#include <cstring>

#include "opcodes/entries.h"

namespace {

struct OpcodeEntry {
    const char* name;
    OpcodeFn fn;
};

constexpr OpcodeEntry kOpcodes[] = {
    {"apply_profile_gain_table_map", tarnimg_apply_profile_gain_table_map},
    {"fix_vignette", tarnimg_fix_vignette},
    {"warp_rectilinear", tarnimg_warp_rectilinear},
    {"apply_gain_map", tarnimg_apply_gain_map},
    {"apply_gain_map_cfa", tarnimg_apply_gain_map_cfa},
    {"apply_flat_gain_map", tarnimg_apply_flat_gain_map},
    {"map_polynomial", tarnimg_map_polynomial},
    {"fix_bad_pixels_constant", tarnimg_fix_bad_pixels_constant},
    {"warp_fisheye", tarnimg_warp_fisheye},
    {"fix_bad_pixels_list", tarnimg_fix_bad_pixels_list},
    {"trim_bounds", tarnimg_trim_bounds},
    {"map_table", tarnimg_map_table},
    {"delta_per_row", tarnimg_delta_per_row},
    {"delta_per_column", tarnimg_delta_per_column},
    {"scale_per_row", tarnimg_scale_per_row},
    {"scale_per_column", tarnimg_scale_per_column},
};

}  // namespace

extern "C" TARNIMG_EXPORT OpcodeFn tarnimg_lookup_opcode(const char* name) {
    if (name == nullptr) return nullptr;
    for (const OpcodeEntry& e : kOpcodes) {
        if (std::strcmp(e.name, name) == 0) return e.fn;
    }
    return nullptr;
}

extern "C" TARNIMG_EXPORT const char* tarnimg_version(void) { return "1.0.0"; }
