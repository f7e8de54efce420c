// The attributes of the two gain-grid opcodes, read once for both: the mosaic
// form ("apply_gain_map_cfa") lacks the plane range and works on plane 0.
#include "opcodes/gain_map_grid.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

// Schema order, which is also the order of the refusal names: the plane range
// sits between the rectangle and the pitch.
constexpr ParamSpec kWithPlanes[] = {
    {"gain_values", TARNIMG_ATTR_FLOAT32_ARRAY, 0, 0},
    {"points_v", TARNIMG_ATTR_INT32, 1, 0},
    {"points_h", TARNIMG_ATTR_INT32, 1, 0},
    {"map_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"top", TARNIMG_ATTR_INT32, 1, 0},
    {"left", TARNIMG_ATTR_INT32, 1, 0},
    {"bottom", TARNIMG_ATTR_INT32, 1, 0},
    {"right", TARNIMG_ATTR_INT32, 1, 0},
    {"start_plane", TARNIMG_ATTR_INT32, 1, 0},
    {"num_planes", TARNIMG_ATTR_INT32, 1, 0},
    {"row_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"col_pitch", TARNIMG_ATTR_INT32, 1, 0},
    {"spacing_v", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"spacing_h", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"origin_v", TARNIMG_ATTR_FLOAT64, 1, 0},
    {"origin_h", TARNIMG_ATTR_FLOAT64, 1, 0},
};
constexpr size_t kRows = sizeof(kWithPlanes) / sizeof(kWithPlanes[0]);
constexpr size_t kPlaneRows = 8;  // "start_plane" and "num_planes"

// The same rows without the plane range.
struct PlaneZeroSchema {
    ParamSpec rows[kRows - 2];
    constexpr PlaneZeroSchema() : rows{} {
        for (size_t i = 0, j = 0; i < kRows; ++i) {
            if (i != kPlaneRows && i != kPlaneRows + 1) rows[j++] = kWithPlanes[i];
        }
    }
};
constexpr PlaneZeroSchema kPlaneZero;

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
    const AttrItem* slots[kRows];
    const ParamSpec* schema = with_planes ? kWithPlanes : kPlaneZero.rows;
    PYXA_TRY(check_schema(schema, with_planes ? kRows : kRows - 2, items, item_count, slots));
    const ImageView* in = first_view(inputs, input_count);
    const ImageView* out = first_view(outputs, output_count);
    return run_gain_grid(in, out, with_planes ? 3 : 1, read_params(slots, with_planes));
}

}  // namespace tarnimg
