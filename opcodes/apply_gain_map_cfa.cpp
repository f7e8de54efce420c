// "apply_gain_map_cfa": the gain grid on plane 0 of a single-channel float32
// mosaic; the pitch selects mosaic sites.
#include "opcodes/entries.h"
#include "opcodes/gain_map_grid.hpp"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

constexpr ParamSpec kSchema[] = {
    {"gain_values", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
    {"points_v", TARNIMG_ATTR_INT32, 1, 0},
    {"points_h", TARNIMG_ATTR_INT32, 1, 0},
    {"map_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"top", TARNIMG_ATTR_INT32, 1, 0},
    {"left", TARNIMG_ATTR_INT32, 1, 0},
    {"bottom", TARNIMG_ATTR_INT32, 1, 0},
    {"right", TARNIMG_ATTR_INT32, 1, 0},
    {"row_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"col_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"spacing_v", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"spacing_h", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"origin_v", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"origin_h", TARNIMG_ATTR_FLOAT64, 1, 0},
};

GainGridParams read_params(const AttrItem* const (&s)[14]) {
    GainGridParams p;
    p.gains = attr_f32s(s[0]);
    p.gain_count = s[0]->count;
    p.points_v = attr_i32(s[1]);
    p.points_h = attr_i32(s[2]);
    p.map_planes = attr_i32(s[3]);
    p.top = attr_i32(s[4]);
    p.left = attr_i32(s[5]);
    p.bottom = attr_i32(s[6]);
    p.right = attr_i32(s[7]);
    p.start_plane = 0;  // always plane 0, read with gain plane 0
    p.num_planes = 1;
    p.row_pitch = attr_i32(s[8]);
    p.col_pitch = attr_i32(s[9]);
    p.spacing_v = attr_f64(s[10]);
    p.spacing_h = attr_f64(s[11]);
    p.origin_v = attr_f64(s[12]);
    p.origin_h = attr_f64(s[13]);
    return p;
}

Status run(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, uint64_t output_count,
           const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[14];
    PYXA_TRY(check_schema(kSchema, items, item_count, slots));
    const ImageView* in = first_view(inputs, input_count);
    const ImageView* out = first_view(outputs, output_count);
    return run_gain_grid(in, out, 1, read_params(slots));
}

}  // namespace
}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_apply_gain_map_cfa) {
    return tarnimg::guarded([&] { return tarnimg::run(inputs, input_count, outputs, output_count, items, item_count); });
}
