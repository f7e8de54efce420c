// Builder of "fill": the constant pattern encoded in the output dtype.
#include <memory>

#include "kernels/geometry/fill_row.hpp"
#include "ops/builders.hpp"

namespace pyxa {
namespace {

// The step's parameters with the storage its pattern points into.
struct FillBlock {
    FillRows rows{};
    std::vector<uint8_t> bytes;
};

Status fill_request(const void*, int64_t, int64_t, uint64_t, RowRequest* out) {
    *out = RowRequest{};  // a constant image reads no input
    return OK;
}

}  // namespace

Status build_fill(const AttrValues& attrs, const TensorDesc*, const TensorDesc& output, KernelStep* step) {
    const std::span<const float> values = attrs.floats("value");
    auto block = std::make_shared<FillBlock>();
    block->bytes.reserve(values.size() * sizeof(float));  // at most 4 bytes per value: no wrap
    for (float v : values) {
        uint8_t e[4];
        uint64_t len = 0;
        if (encode_value(output.dtype, v, e, &len) != OK)  // float16 has no encoding
            return refuse_dtype(attrs.diag(), UNSUPPORTED_DTYPE, "output", output, "uint8, uint16 or float32");
        block->bytes.insert(block->bytes.end(), e, e + len);
    }
    block->rows.params.pattern = ByteVec{block->bytes.capacity(), block->bytes.data(), block->bytes.size()};
    // A constant image this large leaves the caches anyway; streamed stores
    // skip reading every output line before writing it. (A fill feeding
    // another op of its chain then streams into that op's row buffer, which
    // is read back from memory: a constant seldom feeds an op.)
    if (saturating_mul(output.height, output.stride) >= kStreamMinBytes)
        plan_fill_streaming(&block->rows, output.pixel_size(), element_size(output.dtype), output.height);
    return finish_span(step, fill_rows_span, std::shared_ptr<void>(block, &block->rows), fill_request,
                       same_rect_forward);
}

}  // namespace pyxa
