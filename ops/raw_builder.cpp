// Builder of "normalize_raw": reads the black/white levels, deltas and
// linearization table, checks them against the tensors and picks the variant.
#include <memory>

#include "ops/builders.hpp"
#include "kernels/raw/normalize_raw.hpp"

namespace pyxa {
namespace {

Status positive_int(const AttrList& attrs, const char* name, uint64_t* out) {
    int32_t v = 0;
    PYXA_TRY(attrs.required_int(name, &v));
    if (v <= 0) return refuse_value(attrs.diag(), name, "positive", v);
    *out = static_cast<uint64_t>(v);
    return OK;
}

// Optional float array: absent or empty -> no elements; another type -> INVALID_ARGUMENT.
Status optional_floats(const AttrList& attrs, const char* name, std::vector<float>* out) {
    const AttrItem* it = attrs.find(name);
    out->clear();
    if (it == nullptr || (it->type == ATTR_FLOAT32_ARRAY && it->count == 0)) return OK;
    if (it->type != ATTR_FLOAT32_ARRAY || it->value.ptr == nullptr) return attrs.wrong_type(*it, ATTR_FLOAT32_ARRAY);
    const float* v = static_cast<const float*>(it->value.ptr);
    out->assign(v, v + it->count);
    return OK;
}

// Optional integer array whose elements' low 16 bits are the table entries.
Status optional_table(const AttrList& attrs, std::vector<uint16_t>* out) {
    const AttrItem* it = attrs.find("linearization_table");
    out->clear();
    if (it == nullptr || (it->type == ATTR_INT32_ARRAY && it->count == 0)) return OK;
    if (it->type != ATTR_INT32_ARRAY || it->value.ptr == nullptr) return attrs.wrong_type(*it, ATTR_INT32_ARRAY);
    const int32_t* v = static_cast<const int32_t*>(it->value.ptr);
    out->resize(it->count);
    for (uint64_t i = 0; i < it->count; ++i) (*out)[i] = static_cast<uint16_t>(static_cast<uint32_t>(v[i]) & 0xFFFFu);
    return OK;
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
void place_levels(NormalizeRawParams& p, const std::vector<float>& black, const std::vector<float>& white,
                  const std::vector<float>& dh, const std::vector<float>& dv) {
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

Status build_normalize_raw(const AttrList& attrs, const TensorDesc* input, const TensorDesc& output,
                           KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    PYXA_TRY(require_input(input, diag));
    if (output.dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "output", output, "float32");
    if (input->dtype != UINT16 && input->dtype != FLOAT32)
        return refuse_dtype(diag, UNSUPPORTED_DTYPE, "input", *input, "uint16 or float32");
    auto p = std::make_shared<NormalizeRawParams>();
    PYXA_TRY(positive_int(attrs, "black_repeat_rows", &p->rows));
    PYXA_TRY(positive_int(attrs, "black_repeat_cols", &p->cols));
    PYXA_TRY(positive_int(attrs, "samples_per_pixel", &p->samples));
    if (p->samples != input->channels)
        return fail(diag, INVALID_ARGUMENT, "\"samples_per_pixel\" is ", p->samples, " but input tensor ", input->id,
                    " has ", input->channels, " channel(s)");
    std::vector<float> black, white, dh, dv;
    PYXA_TRY(attrs.float_array_min("black_level", 1, &black));
    PYXA_TRY(attrs.float_array_min("white_level", 1, &white));
    PYXA_TRY(optional_floats(attrs, "black_delta_h", &dh));
    PYXA_TRY(optional_floats(attrs, "black_delta_v", &dv));
    PYXA_TRY(optional_table(attrs, &p->linearization));
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
