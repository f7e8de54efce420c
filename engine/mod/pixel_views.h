/* Pixel records handed between the runner, the kernels and native callers:
 * a rectangle (TileView), a row segment with its position (SpanView) and a bare
 * run of pixels (PixelRun). Plain C so the exported process functions can use them. */
#ifndef PYXA_PIXEL_VIEWS_H
#define PYXA_PIXEL_VIEWS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Coordinates are those of the image the memory belongs to, not of a tile. */
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

#ifdef __cplusplus
}
#endif

#endif /* PYXA_PIXEL_VIEWS_H */
