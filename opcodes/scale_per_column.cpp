// "scale_per_column": multiplies one scale per selected column of the area
// into a float32 image, results clamped to [0, 1] (line_adjust.hpp).
#include "opcodes/entries.h"
#include "opcodes/guard.hpp"
#include "opcodes/line_adjust.hpp"
#include "opcodes/opcode_schemas.gen.hpp"

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_scale_per_column) {
    return tarnimg::guarded([&] {
        using namespace tarnimg;
        return run_line_adjust(schemas::scale_per_column, LineAxis::Column, LineOp::Multiply,
                               inputs, input_count, outputs, output_count, items, item_count);
    });
}
