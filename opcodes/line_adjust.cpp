// The per-line adjustment behind the four per-row and per-column opcodes. The
// number of selected lines counts the area's rows (or columns) whatever its
// plane range, so a list too short for the area is refused even when no plane
// is selected.
#include "opcodes/line_adjust.hpp"

#include <iterator>

#include "opcodes/area.hpp"
#include "opcodes/float_math.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

constexpr size_t kRows = kAreaRows + 1;  // the area, then the values
static_assert(std::size(schemas::delta_per_row) == kRows && std::size(schemas::delta_per_column) == kRows &&
              std::size(schemas::scale_per_row) == kRows && std::size(schemas::scale_per_column) == kRows);

struct LineValues {
    const float* values;
    uint64_t count;
};

Status check_lines(const ImageView& out, const Area& area, const LineValues& v, LineAxis axis) {
    if (out.data == nullptr || v.values == nullptr) return pyxa::INVALID_ARGUMENT;
    if (out.dtype != kFloat32) return pyxa::UNSUPPORTED_DTYPE;
    if (!float_rows_fit(out, out.channels)) return pyxa::INVALID_ARGUMENT;
    PYXA_TRY(check_area(area, out));
    const AreaSpan a = area_span(area, out);
    const uint64_t lines =
        axis == LineAxis::Row ? steps_below(a.y0, a.y1, a.row_pitch) : steps_below(a.x0, a.x1, a.col_pitch);
    if (v.count < lines) return pyxa::INVALID_ARGUMENT;
    return pyxa::OK;
}

struct Add {
    float operator()(float sample, float value) const { return unit_clamp(sample + value); }
};

struct Multiply {
    float operator()(float sample, float value) const { return unit_clamp(sample * value); }
};

// The packed run of a row's selected samples, one value for the whole row.
template <class Op>
void adjust_run(float* __restrict run, int64_t n, float value) {
    const Op op;
    for (int64_t i = 0; i < n; ++i) run[i] = op(run[i], value);
}

// A packed one-channel run, value i for sample i.
template <class Op>
void adjust_each(float* __restrict run, int64_t n, const float* __restrict values) {
    const Op op;
    for (int64_t i = 0; i < n; ++i) run[i] = op(run[i], values[i]);
}

// Row k of the area takes values[k] (ByRow) or column k does (otherwise).
// Rows whose selected samples are one packed run take the loops above, which
// run in vector lanes.
template <bool ByRow, class Op>
void adjust(const ImageView& out, const AreaSpan& a, const float* values) {
    const int64_t channels = int64_t(out.channels);
    const bool packed = whole_pixels(a, out.channels) && (ByRow || channels == 1);
    const Op op;
    auto* base = static_cast<unsigned char*>(out.data);
    uint64_t row_k = 0;
    for (int64_t y = a.y0; y < a.y1; y += a.row_pitch, ++row_k) {
        float* row = reinterpret_cast<float*>(base + uint64_t(y) * out.row_stride);
        if (packed) {
            float* run = row + a.x0 * channels;
            const int64_t n = (a.x1 - a.x0) * channels;
            if (ByRow) {
                adjust_run<Op>(run, n, values[row_k]);
            } else {
                adjust_each<Op>(run, n, values);
            }
            continue;
        }
        uint64_t col_k = 0;
        for (int64_t x = a.x0; x < a.x1; x += a.col_pitch, ++col_k) {
            const float value = values[ByRow ? row_k : col_k];
            float* px = row + x * channels;
            for (int64_t c = a.plane0; c < a.plane1; ++c) px[c] = op(px[c], value);
        }
    }
}

template <class Op>
void adjust_along(LineAxis axis, const ImageView& out, const AreaSpan& a, const float* values) {
    if (axis == LineAxis::Row) {
        adjust<true, Op>(out, a, values);
    } else {
        adjust<false, Op>(out, a, values);
    }
}

}  // namespace

Status run_line_adjust(std::span<const ParamSpec> schema, LineAxis axis, LineOp op, const ImageView* inputs,
                       uint64_t input_count, const ImageView* outputs, uint64_t output_count, const AttrItem* items,
                       uint64_t item_count) {
    const AttrItem* slots[kRows];
    PYXA_TRY(check_schema(schema.data(), schema.size(), items, item_count, slots));
    PYXA_TRY(check_scheme_b(inputs, input_count, outputs, output_count, SchemeB::SameImage));
    PYXA_TRY(copy_input_to_output(inputs, outputs));
    const ImageView& out = *outputs;
    const Area area = read_area(slots);
    const LineValues values{attr_f32s(slots[kAreaRows]), slots[kAreaRows]->count};
    PYXA_TRY(check_lines(out, area, values, axis));
    const AreaSpan span = area_span(area, out);
    if (op == LineOp::Add) {
        adjust_along<Add>(axis, out, span, values.values);
    } else {
        adjust_along<Multiply>(axis, out, span, values.values);
    }
    return pyxa::OK;
}

}  // namespace tarnimg
