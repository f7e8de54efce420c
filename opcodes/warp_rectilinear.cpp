// "warp_rectilinear": removes radial and tangential lens distortion by
// resampling each plane of a float32 input into the output, bilinear or
// bicubic (through the precomputed weight table).
#include <cstdint>
#include <iterator>

#include "core/isa.hpp"
#include "opcodes/entries.h"
#include "opcodes/guard.hpp"
#include "opcodes/isa_entries.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"
#include "opcodes/warp_chunks.hpp"
#include "opcodes/warp_resample.hpp"

namespace tarnimg {
namespace {

WarpParams read_params(const AttrItem* const (&s)[7]) {
    return {attr_f64s(s[0]), s[0]->count,    attr_i32(s[1]),      attr_i32(s[2]),
            s[3],            attr_f64(s[4]), attr_f64(s[5]),      attr_i32(s[6]) != 0};
}

Status run(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
           uint64_t output_count, const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[std::size(schemas::warp_rectilinear)];
    PYXA_TRY(check_schema(schemas::warp_rectilinear, items, item_count, slots));
    const WarpParams p = read_params(slots);
    const WarpMaps maps{warp_map_for(isa, p.num_coeffs, false), warp_map_for(isa, p.num_coeffs, true)};
    return run_warp(isa, inputs, input_count, outputs, output_count, p, maps);
}

}  // namespace
}  // namespace tarnimg

namespace tarnimg {

int32_t warp_rectilinear_with(pyxa::Isa isa, const ImageView* inputs, uint64_t input_count,
                              const ImageView* outputs, uint64_t output_count, const AttrItem* items,
                              uint64_t item_count) {
    return guarded([&] { return run(isa, inputs, input_count, outputs, output_count, items, item_count); });
}

}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_warp_rectilinear) {
    return tarnimg::warp_rectilinear_with(pyxa::best_isa(), inputs, input_count, outputs, output_count, items,
                                          item_count);
}
