// "warp_fisheye": resamples each plane of a float32 image through a fisheye
// lens model. For an output pixel at normalised offset (dx, dy) from the
// optical centre (the farthest corner at distance 1), r = sqrt(dx^2 + dy^2)
// and theta = atan(r); the source lies at the same angle, at radius
// rs = kr0 theta + kr1 theta^3 + kr2 theta^5 + kr3 theta^7 (ratio rs / r, kr0 at
// r = 0), clamped into the image and sampled exactly as warp_rectilinear does.
// The map, like the sampling, has AVX2 and AVX-512 copies with the baseline's
// bytes. Checks: schema, then scheme B (same shape and dtype), then the warp's
// own; no copy step.
#include <cmath>
#include <cstdint>
#include <iterator>

#include "core/isa.hpp"
#include "opcodes/entries.h"
#include "opcodes/fisheye_atan.hpp"
#include "opcodes/guard.hpp"
#include "opcodes/isa_entries.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"
#include "opcodes/warp_chunks.hpp"
#include "opcodes/warp_resample.hpp"

namespace tarnimg {
namespace {

WarpParams read_params(const AttrItem* const (&s)[6]) {
    return {attr_f64s(s[0]), s[0]->count, attr_i32(s[1]), attr_i32(s[2]), nullptr,
            attr_f64(s[3]),  attr_f64(s[4]), attr_i32(s[5]) != 0};
}

// Terms is how many coefficients count (1 to 4). The powers of theta are
// built by repeated multiplication by theta^2 and the terms summed from kr0
// up.
template <int Terms>
void fisheye_chunk(const RowMap& m, const double* __restrict offset, const double* __restrict d, int64_t n,
                   double* __restrict xs, double* __restrict ys) {
    const double k0 = m.c[0];
    const double k1 = Terms > 1 ? m.c[1] : 0.0;
    const double k2 = Terms > 2 ? m.c[2] : 0.0;
    const double k3 = Terms > 3 ? m.c[3] : 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double dx = d[i];
        const double r = std::sqrt(dx * dx + m.dy * m.dy);
        const double theta = atan_nonnegative(r);
        const double t2 = theta * theta;
        const double t3 = theta * t2;
        const double t5 = t3 * t2;
        const double t7 = t5 * t2;
        double rs = k0 * theta;
        if (Terms > 1) rs += k1 * t3;
        if (Terms > 2) rs += k2 * t5;
        if (Terms > 3) rs += k3 * t7;
        // At the centre itself the ratio's limit, kr0 (theta / r tends to 1).
        const double ratio = r > 0.0 ? rs / r : k0;
        xs[i] = clamp_coord(m.cx + ratio * offset[i], m.hi_x);
        ys[i] = clamp_coord(m.cy + ratio * m.offset_y, m.hi_y);
    }
}

WarpMap fisheye_map_for(pyxa::Isa isa, int32_t num_coeffs) {
    switch (num_coeffs) {
        case 1: return pyxa::routine_for<fisheye_chunk<1>>(isa);
        case 2: return pyxa::routine_for<fisheye_chunk<2>>(isa);
        case 3: return pyxa::routine_for<fisheye_chunk<3>>(isa);
        default: return pyxa::routine_for<fisheye_chunk<4>>(isa);
    }
}

Status run(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
           uint64_t output_count, const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[std::size(schemas::warp_fisheye)];
    PYXA_TRY(check_schema(schemas::warp_fisheye, items, item_count, slots));
    const WarpParams p = read_params(slots);
    const WarpMap map = fisheye_map_for(isa, p.num_coeffs);
    return run_warp(isa, inputs, input_count, outputs, output_count, p, WarpMaps{map, map});
}

}  // namespace

int32_t warp_fisheye_with(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
                          uint64_t output_count, const AttrItem* items, uint64_t item_count) {
    return guarded([&] { return run(isa, inputs, input_count, outputs, output_count, items, item_count); });
}

}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_warp_fisheye) {
    return tarnimg::warp_fisheye_with(pyxa::best_isa(), inputs, input_count, outputs, output_count, items,
                                      item_count);
}
