// The attributes of the two gain-grid opcodes, read once for both: the mosaic
// form ("apply_gain_map_cfa") lacks the plane range and works on plane 0.
#include <iterator>

#include "opcodes/gain_map_grid.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

constexpr size_t kPlaneRows = 8;  // where "start_plane" and "num_planes" stand in apply_gain_map's rows

GainGridParams read_params(const AttrItem* const* s, bool with_planes) {
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
    size_t k = kPlaneRows;
    if (with_planes) {
        p.start_plane = attr_i32(s[k++]);
        p.num_planes = attr_i32(s[k++]);
    } else {
        p.start_plane = 0;  // always plane 0, read with gain plane 0
        p.num_planes = 1;
    }
    p.row_pitch = attr_i32(s[k++]);
    p.col_pitch = attr_i32(s[k++]);
    p.spacing_v = attr_f64(s[k++]);
    p.spacing_h = attr_f64(s[k++]);
    p.origin_v = attr_f64(s[k++]);
    p.origin_h = attr_f64(s[k]);
    return p;
}

}  // namespace

Status run_gain_map_opcode(bool with_planes, const ImageView* inputs, uint64_t input_count,
                           const ImageView* outputs, uint64_t output_count, const AttrItem* items,
                           uint64_t item_count) {
    const AttrItem* slots[std::size(schemas::apply_gain_map)];
    if (with_planes) {
        PYXA_TRY(check_schema(schemas::apply_gain_map, items, item_count, slots));
    } else {
        PYXA_TRY(check_schema(schemas::apply_gain_map_cfa, std::size(schemas::apply_gain_map_cfa), items, item_count,
                              slots));
    }
    const ImageView* in = first_view(inputs, input_count);
    const ImageView* out = first_view(outputs, output_count);
    return run_gain_grid(in, out, with_planes ? 3 : 1, read_params(slots, with_planes));
}

}  // namespace tarnimg
