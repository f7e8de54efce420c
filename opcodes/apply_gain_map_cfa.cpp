// "apply_gain_map_cfa": the gain grid on plane 0 of a single-channel float32
// mosaic; the pitch selects mosaic sites.
#include "opcodes/entries.h"
#include "opcodes/gain_map_grid.hpp"
#include "opcodes/guard.hpp"

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_apply_gain_map_cfa) {
    return tarnimg::guarded([&] {
        return tarnimg::run_gain_map_opcode(false, inputs, input_count, outputs, output_count, items, item_count);
    });
}
