/* Exported span and tile kernels of the geometric ops (crop, pad, fill,
 * orientation) with their parameter blocks and the pixel records they take,
 * for native callers. Self-contained: includes nothing but the C library. */
#ifndef TARNIMG_PROCESS_H
#define TARNIMG_PROCESS_H

#include <stdint.h>

/* Word for word the definition in tarnimg_opcodes.h (an identical redefinition
 * is allowed), so the two headers may be included in either order. */
#if defined(_WIN32)
#define TARNIMG_EXPORT __declspec(dllexport)
#else
#define TARNIMG_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Pixel records handed between the runner, the kernels and native callers:
 * a rectangle (TileView), a row segment with its position (SpanView) and a bare
 * run of pixels (PixelRun). Coordinates are those of the image the memory belongs to, not of a tile. */
typedef struct TileView {
    void* data; /* first byte of pixel (x0, y0) */
    int64_t x0;
    int64_t y0;
    uint64_t width;
    uint64_t height;
    uint64_t channels;
    uint32_t dtype;
    int64_t row_stride;
} TileView;

typedef struct SpanView {
    void* data; /* first byte of the segment */
    int64_t x0;
    int64_t y;
    uint64_t len;
    uint64_t channels;
    uint32_t dtype;
} SpanView;

typedef struct PixelRun {
    void* data;
    uint64_t len;
    uint64_t channels;
    uint32_t dtype;
} PixelRun;

/* Output pixel (r, c) is input pixel (r + top, c + left). */
typedef struct ViewParams {
    int64_t top;
    int64_t left;
    int64_t width;
    int64_t height;
    uint8_t oob_valid; /* 0: the output region is clipped to the window */
} ViewParams;

/* A byte vector: `len` bytes at `ptr`, `capacity` of them allocated. */
typedef struct ByteVec {
    uint64_t capacity;
    uint8_t* ptr;
    uint64_t len;
} ByteVec;

/* Border modes: 0 reflect, 1 symmetric, 2 edge, 3 constant. */
typedef struct PadParams {
    ByteVec top_fill; /* empty, or one element encoded in the tensor's dtype */
    ByteVec bottom_fill;
    ByteVec left_fill;
    ByteVec right_fill;
    int64_t top;
    int64_t bottom;
    int64_t left;
    int64_t right;
    int64_t src_width;
    int64_t src_height;
    uint8_t mode;
} PadParams;

typedef struct FillParams {
    ByteVec pattern; /* the fill values encoded one after another in the output dtype */
} FillParams;

typedef struct OrientationParams {
    uint32_t orientation; /* 1..8, the TIFF/EXIF Orientation values */
    uint64_t src_width;
    uint64_t src_height;
    uint64_t dst_width;
    uint64_t dst_height;
} OrientationParams;

/* Copies out->len pixels of `in` (positioned at the window's source) to `out`.
 * `params` (a ViewParams) is not read. */
TARNIMG_EXPORT void tarnimg_process_crop_span1to1_spatial(void* params, const SpanView* in,
                                                          const SpanView* out);

/* Writes one output span of a padded image from the source span `in` (which
 * must hold every source column the output span maps to; columns it lacks
 * are written as zeros). `params` is a PadParams. */
TARNIMG_EXPORT void tarnimg_process_pad_span1to1_spatial(void* params, const SpanView* in,
                                                         const SpanView* out);

/* Fills the output span from the FillParams pattern; `in` is not read. */
TARNIMG_EXPORT void tarnimg_process_fill_span1to1_spatial(void* params, const SpanView* in,
                                                          const SpanView* out);

/* Writes every pixel of the `out` rectangle from `in`, which must cover the
 * source region of `out`; otherwise, or when the pixel sizes differ, nothing
 * is written. `params` is an OrientationParams. */
TARNIMG_EXPORT void tarnimg_process_orientation_tile1to1(void* params, const TileView* in,
                                                         const TileView* out);

#ifdef __cplusplus
}
#endif

#endif /* TARNIMG_PROCESS_H */
