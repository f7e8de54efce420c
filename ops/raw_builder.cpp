// Builder of "normalize_raw": reads the black/white levels, deltas and
// linearization table, checks them against the tensors and picks the variant.
#include <memory>

#include "kernels/raw/normalize_raw.hpp"
#include "ops/builders.hpp"

namespace pyxa {
namespace {

// The table entries are the low 16 bits of each element.
std::vector<uint16_t> linearization_of(std::span<const int32_t> table) {
    std::vector<uint16_t> out(table.size());
    for (size_t i = 0; i < table.size(); ++i) out[i] = static_cast<uint16_t>(static_cast<uint32_t>(table[i]) & 0xFFFFu);
    return out;
}

float scale_of(float white, float black) { return white - black > 0.0f ? 1.0f / (white - black) : 0.0f; }

RawVariant choose_variant(NormalizeRawParams& p) {
    const bool plain = p.delta_h == nullptr && p.delta_v == nullptr && p.linearization.empty();
    const bool mosaic_pattern = (p.rows == 2 && p.cols == 2) || (p.rows == 1 && p.cols == 1);
    if (plain && p.samples == 1 && mosaic_pattern) {
        for (int site = 0; site < 4; ++site) {
            p.fast_black[site] = p.rows == 2 ? p.black[site] : p.black[0];
            p.fast_scale[site] = scale_of(p.white[0], p.fast_black[site]);
        }
        return RawVariant::FastMosaic;
    }
    if (plain && p.samples == 3 && p.rows == 1 && p.cols == 1) {
        for (int c = 0; c < 3; ++c) {
            p.fast_black[c] = p.black[c];
            p.fast_scale[c] = scale_of(p.white[c % p.n_white], p.black[c]);
        }
        return RawVariant::FastThreeSample;
    }
    return RawVariant::General;
}

// Lays the four level arrays out in one buffer and points the views into it.
void place_levels(NormalizeRawParams& p, std::span<const float> black, std::span<const float> white,
                  std::span<const float> dh, std::span<const float> dv) {
    p.levels.reserve(black.size() + white.size() + dh.size() + dv.size());
    for (const auto* part : {&black, &white, &dh, &dv}) p.levels.insert(p.levels.end(), part->begin(), part->end());
    const float* base = p.levels.data();
    p.black = base;
    p.n_black = black.size();
    p.white = base + black.size();
    p.n_white = white.size();
    p.delta_h = dh.empty() ? nullptr : p.white + white.size();
    p.n_delta_h = dh.size();
    p.delta_v = dv.empty() ? nullptr : p.white + white.size() + dh.size();
    p.n_delta_v = dv.size();
    p.white_by_sample.resize(p.samples);
    for (uint64_t j = 0; j < p.samples; ++j) p.white_by_sample[j] = p.white[j % p.n_white];
}

}  // namespace

// The element types are checked before the attributes.
Status precheck_normalize_raw(const TensorDesc* input, const TensorDesc& output, Diagnostic* diag) {
    if (output.dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "output", output, "float32");
    if (input->dtype != UINT16 && input->dtype != FLOAT32)
        return refuse_dtype(diag, UNSUPPORTED_DTYPE, "input", *input, "uint16 or float32");
    return OK;
}

Status build_normalize_raw(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                           KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    auto p = std::make_shared<NormalizeRawParams>();
    p->rows = static_cast<uint64_t>(attrs.i32("black_repeat_rows"));
    p->cols = static_cast<uint64_t>(attrs.i32("black_repeat_cols"));
    p->samples = static_cast<uint64_t>(attrs.i32("samples_per_pixel"));
    if (p->samples != input->channels)
        return fail(diag, INVALID_ARGUMENT, "\"samples_per_pixel\" is ", p->samples, " but input tensor ", input->id,
                    " has ", input->channels, " channel(s)");
    const std::span<const float> black = attrs.floats("black_level"), white = attrs.floats("white_level");
    const std::span<const float> dh = attrs.floats("black_delta_h"), dv = attrs.floats("black_delta_v");
    p->linearization = linearization_of(attrs.ints("linearization_table"));
    uint64_t needed = 0;
    if (!checked_mul(p->rows, p->cols, &needed) || !checked_mul(needed, p->samples, &needed) ||
        black.size() < needed)
        return fail(diag, INVALID_ARGUMENT, "\"black_level\" needs black_repeat_rows * black_repeat_cols * "
                    "samples_per_pixel = ", needed, " values, got ", black.size());
    // The routine writes one float per input sample at the input's position.
    PYXA_TRY(check_output_size(output, input->height, input->width, p->samples, diag));
    place_levels(*p, black, white, dh, dv);
    p->in_dtype = input->dtype;
    p->routine = pick_normalize_raw(input->dtype, choose_variant(*p));
    return finish_span(step, normalize_raw_span, p, same_row_request, same_rect_forward);
}

}  // namespace pyxa
