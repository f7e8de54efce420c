// Orientation loops, instantiated per common pixel size so each pixel moves as
// one fixed-size copy; the routine is picked once per call.
#include "kernels/orientation/orient_copy.hpp"

#include <algorithm>
#include <cstring>

#include "kernels/geometry/stream_store.hpp"
#include "kernels/orientation/reverse_row.hpp"
#include "kernels/orientation/transpose_blocks.hpp"

namespace pyxa {
namespace {

// Pixels of 3, 6 or 12 bytes may also move as one 4-, 8- or 16-byte copy that
// carries the first bytes of the next pixel along (`kWide`; 0 where none).
template <uint64_t PX>
struct FixedPixel {
    static constexpr uint64_t kWide = PX == 3 ? 4 : PX == 6 ? 8 : PX == 12 ? 16 : 0;
    static void move(uint8_t* __restrict d, const uint8_t* __restrict s, uint64_t) { std::memcpy(d, s, PX); }
    static void move_wide(uint8_t* __restrict d, const uint8_t* __restrict s) { std::memcpy(d, s, kWide); }
};
struct AnyPixel {
    static constexpr uint64_t kWide = 0;
    static void move(uint8_t* __restrict d, const uint8_t* __restrict s, uint64_t px) { std::memcpy(d, s, px); }
    static void move_wide(uint8_t*, const uint8_t*) {}
};

void plain_copy(uint8_t* d, const uint8_t* s, uint64_t n) { std::memcpy(d, s, n); }

// The output row whose wide copies would read past the job's source: the
// next pixel in a source row is the source of the neighbouring output row, so
// wide copies are safe in every other row. Rows without that layout get none
// (returns height).
uint64_t row_without_wide_copies(const OrientCopy& j) {
    if (j.src_row_step == static_cast<int64_t>(j.px)) return j.height - 1;
    if (j.src_row_step == -static_cast<int64_t>(j.px)) return 0;
    return j.height;
}

template <class Pixel>
void copy_rows(const OrientCopy& j, uint64_t r0, uint64_t r1, uint64_t c0, uint64_t c1) {
    if (j.src_col_step == static_cast<int64_t>(j.px)) {
        // The source pixels of an output row lie side by side: one copy per row.
        void (*copy)(uint8_t*, const uint8_t*, uint64_t) = j.stream ? stream_copy : plain_copy;
        for (uint64_t r = r0; r < r1; ++r)
            copy(j.dst + static_cast<int64_t>(r) * j.dst_stride + c0 * j.px,
                 j.src + static_cast<int64_t>(r) * j.src_row_step + static_cast<int64_t>(c0 * j.px), (c1 - c0) * j.px);
        return;
    }
    // Rows go in output order even where each starts at a lower source
    // address than the one before (orientations 7 and 8): walking such a
    // block from its last row, to read the source in rising address order,
    // measured 15-25% slower on Zen 3 (orientation 8 at 1.03-1.26x OpenCV's
    // time against 0.84-1.01x).
    const uint64_t narrow_row = Pixel::kWide != 0 ? row_without_wide_copies(j) : j.height;
    for (uint64_t r = r0; r < r1; ++r) {
        uint8_t* d = j.dst + static_cast<int64_t>(r) * j.dst_stride + c0 * j.px;
        const uint8_t* s = j.src + static_cast<int64_t>(r) * j.src_row_step + static_cast<int64_t>(c0) * j.src_col_step;
        uint64_t c = c0;
        if (Pixel::kWide != 0 && r != narrow_row && narrow_row != j.height) {
            // The spare bytes written belong to the next output pixel of the
            // row, which this loop or the next block writes again; the row's
            // last pixel is copied exactly.
            for (const uint64_t end = std::min(c1, j.width - 1); c < end; ++c) {
                Pixel::move_wide(d, s);
                d += j.px;
                s += j.src_col_step;
            }
        }
        for (; c < c1; ++c) {
            Pixel::move(d, s, j.px);
            d += j.px;
            s += j.src_col_step;
        }
    }
}

// One block of a transpose: whole square pieces by the vector routine where
// there is one, the right and bottom edges pixel by pixel. Each row's edge
// pixels come after its vector pieces, so the spare bytes of wide copies only
// land on pixels still to be written.
template <class Pixel>
void transpose_block(const OrientCopy& j, TransposeRoutine vec, uint64_t r0, uint64_t r1, uint64_t c0, uint64_t c1) {
    const uint64_t side = vec.side;
    const uint64_t blocks = vec.run != nullptr ? (c1 - c0) / side : 0;
    const uint64_t edge = c0 + blocks * side;
    uint64_t r = r0;
    for (; blocks > 0 && r1 - r >= side; r += side) {
        vec.run(j.dst + static_cast<int64_t>(r) * j.dst_stride + c0 * j.px, j.dst_stride,
                j.src + static_cast<int64_t>(r) * j.src_row_step + static_cast<int64_t>(c0) * j.src_col_step,
                j.src_col_step, blocks);
        if (edge < c1) copy_rows<Pixel>(j, r, r + side, edge, c1);
    }
    copy_rows<Pixel>(j, r, r1, c0, c1);
}

// Rows whose source pixels run right to left (the horizontal flips).
bool mirrored_rows(const OrientCopy& j, ReverseRow reverse) {
    if (reverse == nullptr || j.src_col_step != -static_cast<int64_t>(j.px)) return false;
    for (uint64_t r = 0; r < j.height; ++r)
        reverse(j.dst + static_cast<int64_t>(r) * j.dst_stride, j.src + static_cast<int64_t>(r) * j.src_row_step,
                j.width);
    return true;
}

// Side of a transpose block in bytes of one pixel row: each output row of a
// block reads one pixel from each of its source rows, and the lines of those
// rows stay cached until the block's last output row has used them.
constexpr uint64_t kBlockBytes = 192;

// A streamed transpose moves each band of `b` output rows, up to this many
// bytes of it at a time, into a buffer that stays cached, then streams the
// buffer's rows out whole: the output lines are written without first being
// read, and the blocks keep the same source walk.
constexpr uint64_t kStageBytes = 48 * 1024;

// Output pixels of a band staged at once: whole blocks (0 when not one pixel fits).
uint64_t staged_columns(uint64_t b, uint64_t px) {
    const uint64_t cols = kStageBytes / (b * px);
    return cols >= b ? cols - cols % b : cols;
}

template <class Pixel>
void transpose_streamed(const OrientCopy& j, TransposeRoutine vec, uint64_t b, uint64_t cols) {
    alignas(64) uint8_t stage[kStageBytes];
    for (uint64_t r = 0; r < j.height; r += b) {
        const uint64_t rows = std::min(b, j.height - r);
        for (uint64_t c = 0; c < j.width; c += cols) {
            const uint64_t n = std::min(cols, j.width - c);
            const uint64_t row_bytes = n * j.px;
            // The band's piece as a job of its own, written to the buffer; its
            // rows end at the buffer row's end (a row's last pixel is exact).
            const OrientCopy piece{stage, static_cast<int64_t>(row_bytes),
                                   j.src + static_cast<int64_t>(r) * j.src_row_step + static_cast<int64_t>(c) * j.src_col_step,
                                   j.src_row_step, j.src_col_step, n, rows, j.px};
            for (uint64_t k = 0; k < n; k += b) transpose_block<Pixel>(piece, vec, 0, rows, k, std::min(k + b, n));
            for (uint64_t i = 0; i < rows; ++i)
                stream_copy(j.dst + static_cast<int64_t>(r + i) * j.dst_stride + c * j.px, stage + i * row_bytes,
                            row_bytes);
        }
    }
}

template <class Pixel>
void run(const OrientCopy& j, bool transposing) {
    if (!transposing) {
        if (mirrored_rows(j, reverse_row_for(j.px))) return;
        copy_rows<Pixel>(j, 0, j.height, 0, j.width);
        return;
    }
    const uint64_t b = j.px <= kBlockBytes ? kBlockBytes / j.px : 1;
    const uint64_t cols = staged_columns(b, j.px);
    const TransposeRoutine vec = transpose_blocks_for(j.px, j.src_row_step);
    if (j.stream && cols > 0) {
        transpose_streamed<Pixel>(j, vec, b, cols);
        return;
    }
    for (uint64_t r = 0; r < j.height; r += b)
        for (uint64_t c = 0; c < j.width; c += b)
            transpose_block<Pixel>(j, vec, r, std::min(r + b, j.height), c, std::min(c + b, j.width));
}

using Routine = void (*)(const OrientCopy&, bool);

Routine pick(uint64_t px) {
    switch (px) {
        case 1: return run<FixedPixel<1>>;
        case 2: return run<FixedPixel<2>>;
        case 3: return run<FixedPixel<3>>;
        case 4: return run<FixedPixel<4>>;
        case 6: return run<FixedPixel<6>>;
        case 8: return run<FixedPixel<8>>;
        case 12: return run<FixedPixel<12>>;
        case 16: return run<FixedPixel<16>>;
        default: return run<AnyPixel>;
    }
}

}  // namespace

void orient_copy(const OrientCopy& job, bool transposing) {
    pick(job.px)(job, transposing);
    if (job.stream) stream_fence();
}

}  // namespace pyxa
