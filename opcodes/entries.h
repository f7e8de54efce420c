/* The opcode entry functions, reached through tarnimg_lookup_opcode.
 * C linkage so that the lookup table holds plain OpcodeFn pointers. */
#ifndef TARNIMG_ENTRIES_H
#define TARNIMG_ENTRIES_H

#include "tarnimg_opcodes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TARNIMG_OPCODE_ENTRY(name)                                                        \
    int32_t name(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, \
                 uint64_t output_count, const AttrItem* items, uint64_t item_count)

TARNIMG_OPCODE_ENTRY(tarnimg_apply_profile_gain_table_map);
TARNIMG_OPCODE_ENTRY(tarnimg_fix_vignette);
TARNIMG_OPCODE_ENTRY(tarnimg_warp_rectilinear);
TARNIMG_OPCODE_ENTRY(tarnimg_apply_gain_map);
TARNIMG_OPCODE_ENTRY(tarnimg_apply_gain_map_cfa);
TARNIMG_OPCODE_ENTRY(tarnimg_apply_flat_gain_map);
TARNIMG_OPCODE_ENTRY(tarnimg_map_polynomial);
TARNIMG_OPCODE_ENTRY(tarnimg_fix_bad_pixels_constant);
TARNIMG_OPCODE_ENTRY(tarnimg_warp_fisheye);
TARNIMG_OPCODE_ENTRY(tarnimg_fix_bad_pixels_list);
TARNIMG_OPCODE_ENTRY(tarnimg_trim_bounds);
TARNIMG_OPCODE_ENTRY(tarnimg_map_table);
TARNIMG_OPCODE_ENTRY(tarnimg_delta_per_row);
TARNIMG_OPCODE_ENTRY(tarnimg_delta_per_column);
TARNIMG_OPCODE_ENTRY(tarnimg_scale_per_row);
TARNIMG_OPCODE_ENTRY(tarnimg_scale_per_column);

#ifdef __cplusplus
}
#endif

#endif /* TARNIMG_ENTRIES_H */
