// Builder of "pad": border widths, mode and the four constant fills, checked
// against the input and output descriptions.
#include <cstring>
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

Status read_mode(const AttrList& attrs, uint8_t* mode) {
    static constexpr const char* kNames[] = {"reflect", "symmetric", "edge", "constant"};
    const char* s = nullptr;
    PYXA_TRY(attrs.optional_string("mode", &s));
    *mode = static_cast<uint8_t>(PadMode::Constant);
    if (s == nullptr) return OK;
    for (uint8_t i = 0; i < 4; ++i) {
        if (std::strcmp(s, kNames[i]) == 0) {
            *mode = i;
            return OK;
        }
    }
    return fail(attrs.diag(), INVALID_ARGUMENT, "\"mode\" must be reflect, symmetric, edge or constant, got \"", s,
                '"');
}

Status read_fills(const AttrList& attrs, int32_t dtype, PadBlock* block) {
    ByteVec* vecs[4] = {&block->params.top_fill, &block->params.bottom_fill, &block->params.left_fill,
                        &block->params.right_fill};
    if (attrs.find("constant_values") == nullptr) return OK;  // all four fills stay empty (zero)
    std::vector<float> values;
    PYXA_TRY(attrs.float_array_exact("constant_values", 4, &values));
    for (int i = 0; i < 4; ++i) {
        uint64_t len = 0;
        PYXA_TRY(encode_value(dtype, values[i], block->fills[i], &len));
        *vecs[i] = ByteVec{sizeof(block->fills[i]), block->fills[i], len};
    }
    return OK;
}

Status read_border(const AttrList& attrs, const char* name, int64_t* out) {
    int32_t v = 0;
    PYXA_TRY(attrs.required_int(name, &v));
    if (v < 0) return refuse_value(attrs.diag(), name, "at least 0", v);
    *out = v;
    return OK;
}

}  // namespace

Status build_pad(const AttrList& attrs, const TensorDesc* input, const TensorDesc& output,
                 KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    PYXA_TRY(require_input(input, diag));
    if (attrs.empty()) return attrs.missing("top");
    auto block = std::make_shared<PadBlock>();
    PadParams& p = block->params;
    PYXA_TRY(read_border(attrs, "top", &p.top));
    PYXA_TRY(read_border(attrs, "bottom", &p.bottom));
    PYXA_TRY(read_border(attrs, "left", &p.left));
    PYXA_TRY(read_border(attrs, "right", &p.right));
    if (input->width == 0 || input->height == 0 || !fits_i64(input->width) || !fits_i64(input->height))
        return INVALID_ARGUMENT;
    // Borders are below 2^31 each, so these sums cannot wrap.
    // The kernel copies input pixels into the output row: same pixel layout.
    PYXA_TRY(check_output_size(output, input->height + static_cast<uint64_t>(p.top + p.bottom),
                               input->width + static_cast<uint64_t>(p.left + p.right), input->channels, diag));
    if (output.dtype != input->dtype) return refuse_dtype(diag, INVALID_ARGUMENT, "output", output, dtype_name(input->dtype));
    PYXA_TRY(read_mode(attrs, &p.mode));
    PYXA_TRY(read_fills(attrs, output.dtype, block.get()));
    p.src_width = static_cast<int64_t>(input->width);
    p.src_height = static_cast<int64_t>(input->height);
    return finish_span(step, tarnimg_process_pad_span1to1_spatial, std::shared_ptr<void>(block, &block->params),
                       pad_row_request, pad_forward);
}

}  // namespace pyxa
