/* The opcode entry functions, reached through tarnimg_lookup_opcode.
 * C linkage so that the lookup table holds plain OpcodeFn pointers. */
#ifndef TARNIMG_ENTRIES_H
#define TARNIMG_ENTRIES_H

#include "opcodes/opcode_list.gen.h"
#include "tarnimg_opcodes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TARNIMG_OPCODE_ENTRY(name)                                                        \
    int32_t name(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, \
                 uint64_t output_count, const AttrItem* items, uint64_t item_count)

#define TARNIMG_DECLARE_ENTRY(name) TARNIMG_OPCODE_ENTRY(tarnimg_##name);
TARNIMG_FOR_EACH_OPCODE(TARNIMG_DECLARE_ENTRY)
#undef TARNIMG_DECLARE_ENTRY

#ifdef __cplusplus
}
#endif

#endif /* TARNIMG_ENTRIES_H */
