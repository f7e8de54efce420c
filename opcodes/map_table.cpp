// "map_table": looks the selected samples (area rows, as map_polynomial) up
// in a table of 16-bit entries (the low 16 bits of each Int32 element). uint16
// samples index it directly, the last entry serving every larger value;
// float32 samples in [0, 1] (clamped, NaN as 0) span the whole table and are
// interpolated linearly between neighbouring entries, then divided by 65535.
// Checks: schema, scheme B (same shape and dtype), the copy step, then the
// table, dtype (uint16 or float32) and area.
#include <cstdint>
#include <iterator>

#include "opcodes/area.hpp"
#include "opcodes/entries.h"
#include "opcodes/float_math.hpp"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

constexpr auto& kSchema = schemas::map_table;

struct Table {
    const int32_t* entries;
    uint64_t count;
    uint16_t at(uint64_t i) const { return uint16_t(uint32_t(entries[i])); }
};

Status check_table(const ImageView& out, const Table& t, const Area& area) {
    if (out.data == nullptr || t.entries == nullptr || t.count == 0) return pyxa::INVALID_ARGUMENT;
    // No memory holds more entries; the index arithmetic stays in int64.
    if (t.count > uint64_t(kFarPosition)) return pyxa::INVALID_ARGUMENT;
    if (out.dtype != kUint16 && out.dtype != kFloat32) return pyxa::UNSUPPORTED_DTYPE;
    if (!stride_fits(out, out.dtype == kUint16 ? 2 : 4)) return pyxa::INVALID_ARGUMENT;
    return check_area(area, out);
}

struct Uint16Lookup {
    const Table& t;
    uint16_t operator()(uint16_t v) const { return t.at(v < t.count ? v : t.count - 1); }
};

// All in float32: the position, the two entries, the blend and the scaling.
// The position is clamped in float before it becomes an index (at most
// float(count - 1), below 2^62); a table too long for float32 to hold its last
// index exactly could round it past that index, so the index is clamped to
// the last entry as well.
struct FloatLookup {
    const Table& t;
    float last;  // float(count - 1)
    float operator()(float v) const {
        const float p = unit_clamp(v) * last;
        const uint64_t truncated = uint64_t(p);
        const uint64_t i = truncated < t.count - 1 ? truncated : t.count - 1;
        const float f = p - float(i);
        const uint64_t j = i + 1 < t.count ? i + 1 : t.count - 1;
        return ((1.0f - f) * float(t.at(i)) + f * float(t.at(j))) / 65535.0f;
    }
};

template <class T, class Lookup>
void map_area(const ImageView& out, const AreaSpan& a, const Lookup& lookup) {
    const int64_t channels = int64_t(out.channels);
    const bool packed = whole_pixels(a, out.channels);
    auto* base = static_cast<unsigned char*>(out.data);
    for (int64_t y = a.y0; y < a.y1; y += a.row_pitch) {
        T* row = reinterpret_cast<T*>(base + uint64_t(y) * out.row_stride);
        if (packed) {
            for (int64_t i = a.x0 * channels; i < a.x1 * channels; ++i) row[i] = lookup(row[i]);
            continue;
        }
        for (int64_t x = a.x0; x < a.x1; x += a.col_pitch) {
            T* px = row + x * channels;
            for (int64_t c = a.plane0; c < a.plane1; ++c) px[c] = lookup(px[c]);
        }
    }
}

Status run(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, uint64_t output_count,
           const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[std::size(kSchema)];
    PYXA_TRY(check_schema(kSchema, items, item_count, slots));
    PYXA_TRY(check_scheme_b(inputs, input_count, outputs, output_count, SchemeB::SameImage));
    PYXA_TRY(copy_input_to_output(inputs, outputs));
    const ImageView& out = *outputs;
    const Area area = read_area(slots);
    const Table table{static_cast<const int32_t*>(slots[kAreaRows]->value.ptr), slots[kAreaRows]->count};
    PYXA_TRY(check_table(out, table, area));
    const AreaSpan span = area_span(area, out);
    if (out.dtype == kUint16) {
        map_area<uint16_t>(out, span, Uint16Lookup{table});
    } else {
        map_area<float>(out, span, FloatLookup{table, float(table.count - 1)});
    }
    return pyxa::OK;
}

}  // namespace
}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_map_table) {
    return tarnimg::guarded([&] { return tarnimg::run(inputs, input_count, outputs, output_count, items, item_count); });
}
