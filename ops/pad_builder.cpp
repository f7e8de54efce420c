// Builder of "pad": border widths, mode and the four constant fills, checked
// against the input and output descriptions.
#include <memory>

#include "ops/builders.hpp"
#include "ops/pad_common.hpp"

namespace pyxa {
namespace {

// PadParams with the storage its four fill vectors point into.
struct PadBlock {
    PadParams params{};
    uint8_t fills[4][4] = {};
};

Status read_fills(const AttrValues& attrs, int32_t dtype, PadBlock* block) {
    ByteVec* vecs[4] = {&block->params.top_fill, &block->params.bottom_fill, &block->params.left_fill,
                        &block->params.right_fill};
    if (!attrs.has("constant_values")) return OK;  // all four fills stay empty (zero)
    const std::span<const float> values = attrs.floats("constant_values");
    for (int i = 0; i < 4; ++i) {
        uint64_t len = 0;
        PYXA_TRY(encode_value(dtype, values[i], block->fills[i], &len));
        *vecs[i] = ByteVec{sizeof(block->fills[i]), block->fills[i], len};
    }
    return OK;
}

}  // namespace

Status build_pad(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output, KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    auto block = std::make_shared<PadBlock>();
    PadParams& p = block->params;
    p.top = attrs.i32("top");
    p.bottom = attrs.i32("bottom");
    p.left = attrs.i32("left");
    p.right = attrs.i32("right");
    if (input->width == 0 || input->height == 0 || !fits_i64(input->width) || !fits_i64(input->height))
        return INVALID_ARGUMENT;
    // Borders are below 2^31 each, so these sums cannot wrap.
    // The kernel copies input pixels into the output row: same pixel layout.
    PYXA_TRY(check_output_size(output, input->height + static_cast<uint64_t>(p.top + p.bottom),
                               input->width + static_cast<uint64_t>(p.left + p.right), input->channels, diag));
    if (output.dtype != input->dtype) return refuse_dtype(diag, INVALID_ARGUMENT, "output", output, dtype_name(input->dtype));
    p.mode = static_cast<uint8_t>(attrs.choice("mode", static_cast<int32_t>(PadMode::Constant)));
    PYXA_TRY(read_fills(attrs, output.dtype, block.get()));
    p.src_width = static_cast<int64_t>(input->width);
    p.src_height = static_cast<int64_t>(input->height);
    return finish_span(step, tarnimg_process_pad_span1to1_spatial, std::shared_ptr<void>(block, &block->params),
                       pad_row_request, pad_forward);
}

}  // namespace pyxa
