// Builder of "fill": the constant pattern encoded in the output dtype.
#include <memory>

#include "ops/builders.hpp"
#include "tarnimg_process.h"

namespace pyxa {
namespace {

// FillParams with the storage its pattern points into.
struct FillBlock {
    FillParams params{};
    std::vector<uint8_t> bytes;
};

Status fill_request(const void*, int64_t, int64_t, uint64_t, RowRequest* out) {
    *out = RowRequest{};  // a constant image reads no input
    return OK;
}

}  // namespace

Status build_fill(const AttrList& attrs, const TensorDesc*, const TensorDesc& output,
                  KernelStep* step) {
    std::vector<float> values;
    PYXA_TRY(attrs.float_array_min("value", 1, &values));
    auto block = std::make_shared<FillBlock>();
    block->bytes.reserve(values.size() * sizeof(float));  // at most 4 bytes per value: no wrap
    for (float v : values) {
        uint8_t e[4];
        uint64_t len = 0;
        if (encode_value(output.dtype, v, e, &len) != OK)  // float16 has no encoding
            return refuse_dtype(attrs.diag(), UNSUPPORTED_DTYPE, "output", output, "uint8, uint16 or float32");
        block->bytes.insert(block->bytes.end(), e, e + len);
    }
    block->params.pattern = ByteVec{block->bytes.capacity(), block->bytes.data(), block->bytes.size()};
    return finish_span(step, tarnimg_process_fill_span1to1_spatial, std::shared_ptr<void>(block, &block->params),
                       fill_request, same_rect_forward);
}

}  // namespace pyxa
