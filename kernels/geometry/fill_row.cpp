// Fill rows: the pattern reduced to its shortest repeating unit, a byte when
// every byte is the same (a memset), stored plainly or streamed.
#include "kernels/geometry/fill_row.hpp"

#include <cstring>

namespace pyxa {
namespace {

// The unit each pixel repeats, as fill_with_pattern would write it: the
// pattern when it holds one pixel or one element, a zero byte otherwise.
struct Unit {
    const uint8_t* bytes;
    uint64_t len;
};

Unit unit_of(const FillParams& p, uint64_t px, uint64_t es) {
    static const uint8_t kZero = 0;
    const uint64_t len = p.pattern.ptr != nullptr ? p.pattern.len : 0;
    if (len == 0 || (len != px && len != es)) return Unit{&kZero, 1};
    for (uint64_t i = 1; i < len; ++i)
        if (p.pattern.ptr[i] != p.pattern.ptr[0]) return Unit{p.pattern.ptr, len};
    return Unit{p.pattern.ptr, 1};  // one byte repeated (zeros among them)
}

}  // namespace

void plan_fill_streaming(FillRows* f, uint64_t pixel, uint64_t element, uint64_t height) {
    f->stream = false;
    if (pixel == 0 || height == 0) return;
    const Unit u = unit_of(f->params, pixel, element);
    make_stream_pattern(u.bytes, u.len, &f->lines);
    f->stream = f->lines.period != 0;
    f->pixel = pixel;
    f->last_row = fits_i64(height - 1) ? static_cast<int64_t>(height - 1) : 0;
}

void fill_row(const FillParams& p, const SpanView& out) {
    if (out.data == nullptr) return;
    const uint64_t px = pixel_size(out.dtype, out.channels);
    const uint64_t n = saturating_mul(out.len, px);
    if (n == 0) return;
    auto* d = static_cast<uint8_t*>(out.data);
    const Unit u = unit_of(p, px, element_size(out.dtype));
    if (u.len == 1) std::memset(d, u.bytes[0], n);
    else fill_with_pattern(d, n, u.bytes, u.len, px, element_size(out.dtype));
}

void fill_rows_span(void* ctx, const SpanView*, const SpanView* out) {
    if (ctx == nullptr || out == nullptr) return;
    const FillRows& f = *static_cast<const FillRows*>(ctx);
    if (!f.stream || out->data == nullptr || pixel_size(out->dtype, out->channels) != f.pixel) {
        fill_row(f.params, *out);
        return;
    }
    stream_repeat(static_cast<uint8_t*>(out->data), saturating_mul(out->len, f.pixel), f.lines);
    if (out->y >= f.last_row) stream_fence();
}

}  // namespace pyxa
