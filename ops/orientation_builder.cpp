// Builder of "orientation": the TIFF/EXIF orientation value and both tensor
// sizes, with the region rules the chain planner tiles by.
#include <memory>

#include "kernels/orientation/orient_map.hpp"
#include "ops/builders.hpp"

namespace pyxa {

Status build_orientation(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                         KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    const int32_t o = attrs.i32("orientation");
    if (input->width == 0 || input->height == 0 || output.width == 0 || output.height == 0)
        return INVALID_ARGUMENT;
    const bool transposing = o >= 5;
    const uint64_t want_w = transposing ? input->height : input->width;
    const uint64_t want_h = transposing ? input->width : input->height;
    // The kernel moves input pixels as raw bytes into output rows.
    PYXA_TRY(check_output_size(output, want_h, want_w, input->channels, diag));
    if (output.dtype != input->dtype) return refuse_dtype(diag, INVALID_ARGUMENT, "output", output, dtype_name(input->dtype));

    step->params = std::make_shared<OrientationParams>(
        OrientationParams{static_cast<uint32_t>(o), input->width, input->height, output.width, output.height});
    step->tile = tarnimg_process_orientation_tile1to1;
    step->source_region = orient_source_region;
    step->output_region = orient_output_region;
    step->tile_copy = o == 1;
    return OK;
}

}  // namespace pyxa
