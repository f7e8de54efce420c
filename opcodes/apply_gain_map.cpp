// "apply_gain_map": a gain grid with one plane per image plane over a
// rectangle, a plane range and a pitch of a 3-channel float32 image.
#include "opcodes/entries.h"
#include "opcodes/gain_map_grid.hpp"
#include "opcodes/guard.hpp"

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_apply_gain_map) {
    return tarnimg::guarded([&] {
        return tarnimg::run_gain_map_opcode(true, inputs, input_count, outputs, output_count, items, item_count);
    });
}
