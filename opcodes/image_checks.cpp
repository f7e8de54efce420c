// Image checks shared by the opcode entries: well-formed views, the two check
// schemes and the layout checks that the float32 kernels repeat.
#include "opcodes/image_checks.hpp"

#include "core/checked.hpp"
#include "core/row_layout.hpp"

namespace tarnimg {

bool stride_fits(const ImageView& v, uint64_t element_size) {
    const uint64_t packed = pyxa::saturating_mul(pyxa::saturating_mul(v.width, v.channels), element_size);
    return pyxa::row_layout(v.row_stride, packed, element_size) == pyxa::RowLayout::Fits;
}

const ImageView* first_view(const ImageView* views, uint64_t count) {
    // A count of zero means the pointer may point at nothing; reading it would
    // read past the caller's list.
    return count == 0 ? nullptr : views;
}

namespace {

bool well_formed(const ImageView* v) {
    if (v == nullptr || v->data == nullptr) return false;
    const uint64_t es = pyxa::element_size(v->dtype);
    return es != 0 && stride_fits(*v, es);
}

Status check_view_a(const ImageView* v, uint64_t channels) {
    if (!well_formed(v)) return pyxa::INVALID_ARGUMENT;
    if (v->dtype != kFloat32) return pyxa::UNSUPPORTED_DTYPE;
    if (v->channels != channels) return pyxa::DIMENSION_MISMATCH;
    return pyxa::OK;
}

bool same_shape(const ImageView& a, const ImageView& b) {
    return a.height == b.height && a.width == b.width && a.channels == b.channels && a.dtype == b.dtype;
}

}  // namespace

Status check_scheme_a(const ImageView* in, const ImageView* out, uint64_t channels) {
    PYXA_TRY(check_view_a(in, channels));
    PYXA_TRY(check_view_a(out, channels));
    if (!same_shape(*in, *out)) return pyxa::DIMENSION_MISMATCH;
    return pyxa::OK;
}

Status check_scheme_b(const ImageView* inputs, uint64_t input_count, const ImageView* outputs,
                      uint64_t output_count, SchemeB kind) {
    if (input_count != 1 || output_count != 1) return pyxa::INVALID_ARGUMENT;
    if (!well_formed(inputs) || !well_formed(outputs)) return pyxa::INVALID_ARGUMENT;
    const ImageView& in = *inputs;
    const ImageView& out = *outputs;
    if (kind == SchemeB::Trimmed) {
        // The sizes are the trim's own check, after its bounds.
        return in.channels == out.channels && in.dtype == out.dtype ? pyxa::OK : pyxa::DIMENSION_MISMATCH;
    }
    if (in.height != out.height || in.width != out.width) return pyxa::DIMENSION_MISMATCH;
    if (kind == SchemeB::BadPixels) {
        if (in.channels != 1 || out.channels != 1) return pyxa::DIMENSION_MISMATCH;
        if (in.dtype != kUint16 || out.dtype != kUint16) return pyxa::UNSUPPORTED_DTYPE;
        return pyxa::OK;
    }
    if (kind == SchemeB::BadPixelList) {
        if (in.channels != 1 || out.channels != 1) return pyxa::DIMENSION_MISMATCH;
        if (in.dtype != out.dtype || (in.dtype != kUint16 && in.dtype != kFloat32)) return pyxa::UNSUPPORTED_DTYPE;
        return pyxa::OK;
    }
    if (!same_shape(in, out)) return pyxa::DIMENSION_MISMATCH;
    return pyxa::OK;
}

bool float_rows_fit(const ImageView& v, uint64_t channels) {
    return stride_fits(ImageView{v.data, v.height, v.width, channels, v.dtype, v.row_stride}, 4);
}

}  // namespace tarnimg
