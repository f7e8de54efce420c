/* The correction opcodes in lookup order.
 * Generated from python/pyxa/_opdefs.py by `python tools/generate_ops.py`; do not edit. */
#ifndef TARNIMG_OPCODE_LIST_GEN_H
#define TARNIMG_OPCODE_LIST_GEN_H

/* X(name) for every opcode; its entry function is tarnimg_<name>. */
#define TARNIMG_FOR_EACH_OPCODE(X) \
    X(apply_profile_gain_table_map) \
    X(fix_vignette) \
    X(warp_rectilinear) \
    X(apply_gain_map) \
    X(apply_gain_map_cfa) \
    X(apply_flat_gain_map) \
    X(map_polynomial) \
    X(fix_bad_pixels_constant) \
    X(warp_fisheye) \
    X(fix_bad_pixels_list) \
    X(trim_bounds) \
    X(map_table) \
    X(delta_per_row) \
    X(delta_per_column) \
    X(scale_per_row) \
    X(scale_per_column)

#endif
