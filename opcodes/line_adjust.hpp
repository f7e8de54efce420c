// What the four per-line opcodes share ("delta_per_row", "delta_per_column",
// "scale_per_row", "scale_per_column"): the k-th selected row or column of the
// area, counted from the area's first in pitch steps, has value k added to or
// multiplied into every selected sample of it, clamped to [0, 1] (NaN to 0).
#pragma once

#include <cstdint>
#include <span>

#include "core/status.hpp"
#include "opcodes/schema.hpp"
#include "tarnimg_opcodes.h"

namespace tarnimg {

using pyxa::Status;

enum class LineAxis { Row, Column };
enum class LineOp { Add, Multiply };

// The whole opcode: `schema` (the area rows, then "deltas" for Add or "scales"
// for Multiply), scheme B (same shape and dtype), the copy step, then the
// checks (values present, float32, rows that fit, the area, at least one value
// per selected line) and the adjustment.
Status run_line_adjust(std::span<const ParamSpec> schema, LineAxis axis, LineOp op, const ImageView* inputs,
                       uint64_t input_count,
                       const ImageView* outputs, uint64_t output_count, const AttrItem* items,
                       uint64_t item_count);

}  // namespace tarnimg
