// Pad kernel: splits the output span into left border, interior and right
// border, and fills each from the source span, the border rule or a constant.
#include "kernels/geometry/pad_row.hpp"

#include <cstring>

namespace pyxa {
namespace {

using i128 = __int128;

i128 clamp128(i128 v, i128 lo, i128 hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The source span and the output span as byte ranges with their positions.
struct RowIo {
    const uint8_t* src = nullptr;  // null when the input cannot be read
    i128 src_x0 = 0;
    i128 src_len = 0;
    uint8_t* dst = nullptr;
    uint64_t px = 0;
    uint64_t es = 0;

    // Output pixels [i, i + count) from source columns [col, col + count);
    // columns the source span lacks become zeros.
    void copy(uint64_t i, uint64_t count, i128 col) const {
        uint8_t* d = dst + i * px;
        if (src == nullptr) {
            std::memset(d, 0, count * px);
            return;
        }
        const i128 lo = clamp128(src_x0 - col, 0, count);                  // first readable pixel
        const i128 hi = clamp128(src_x0 + src_len - col, lo, count);       // end of readable pixels
        const uint64_t a = static_cast<uint64_t>(lo), b = static_cast<uint64_t>(hi);
        std::memset(d, 0, a * px);
        if (b > a) std::memcpy(d + a * px, src + static_cast<uint64_t>(col + a - src_x0) * px, (b - a) * px);
        std::memset(d + b * px, 0, (count - b) * px);
    }

    void fill(uint64_t i, uint64_t count, const ByteVec& v) const {
        fill_with_pattern(dst + i * px, count * px, v.ptr, v.ptr ? v.len : 0, px, es);
    }

    // Border pixels [i, i + count) whose output column i maps, relative to the
    // interior start, to column `rel` of the source row.
    void mirror(PadMode mode, uint64_t i, uint64_t count, i128 rel, int64_t width) const {
        for (uint64_t k = 0; k < count; ++k) {
            const i128 a = rel + k;
            std::optional<int64_t> col;
            if (a >= INT64_MIN && a <= INT64_MAX) col = map_coordinate(mode, static_cast<int64_t>(a), 0, width);
            uint8_t* d = dst + (i + k) * px;
            if (!col) std::memset(d, 0, px);
            else if (src != nullptr && *col >= src_x0 && *col < src_x0 + src_len)
                std::memcpy(d, src + static_cast<uint64_t>(*col - src_x0) * px, px);  // the usual case: one pixel
            else copy(i + k, 1, *col);
        }
    }
};

}  // namespace

void pad_row(const PadParams& p, const SpanView& in, const SpanView& out) {
    RowIo io;
    io.px = pixel_size(out.dtype, out.channels);
    io.es = element_size(out.dtype);
    const uint64_t n = out.len;
    if (n == 0 || io.px == 0 || out.data == nullptr) return;
    io.dst = static_cast<uint8_t*>(out.data);
    if (p.src_width < 1 || p.src_height < 1) {
        std::memset(io.dst, 0, n * io.px);
        return;
    }
    if (in.data != nullptr && pixel_size(in.dtype, in.channels) == io.px) {
        io.src = static_cast<const uint8_t*>(in.data);
        io.src_x0 = in.x0;
        io.src_len = in.len;
    }
    const PadMode mode = static_cast<PadMode>(p.mode);
    const i128 c = out.x0;
    // [0, a) left border, [a, b) interior, [b, n) right border.
    const uint64_t a = static_cast<uint64_t>(clamp128(i128(p.left) - c, 0, n));
    const uint64_t b = static_cast<uint64_t>(clamp128(i128(p.left) + p.src_width - c, a, n));
    const i128 rel0 = c - p.left;  // source column of output index 0
    const bool inside = out.y >= p.top && i128(out.y) < i128(p.top) + p.src_height;

    if (mode == PadMode::Constant) {
        io.fill(0, a, p.left_fill);
        if (inside) io.copy(a, b - a, rel0 + a);
        else io.fill(a, b - a, out.y < p.top ? p.top_fill : p.bottom_fill);
        io.fill(b, n - b, p.right_fill);
        return;
    }
    io.copy(a, b - a, rel0 + a);
    io.mirror(mode, 0, a, rel0, p.src_width);
    io.mirror(mode, b, n - b, rel0 + b, p.src_width);
}

}  // namespace pyxa
