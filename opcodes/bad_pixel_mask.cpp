// Building the bad-pixel mask. Rectangles are marked by a sweep down the rows
// rather than one by one: a hostile list of many large, overlapping
// rectangles then costs one pass over the image plus one step per rectangle,
// never rectangles times their area.
#include "opcodes/bad_pixel_mask.hpp"

#include <new>

#include "core/checked.hpp"

namespace tarnimg {
namespace {

template <class T>
std::unique_ptr<T[]> zeroed(uint64_t count, uint64_t extra, bool* ok) {
    uint64_t n = 0, bytes = 0;
    if (!pyxa::checked_add(count, extra, &n) || !pyxa::checked_mul(n, sizeof(T), &bytes)) {
        *ok = false;
        return nullptr;
    }
    std::unique_ptr<T[]> p(new (std::nothrow) T[n]());
    *ok = p != nullptr;
    return p;
}

struct Rect {
    int64_t top, left, bottom, right;
};

Rect rect_at(const BadPixelList& list, uint64_t i) {
    const int32_t* q = list.rects + 4 * i;
    return {q[0], q[1], q[2], q[3]};
}

// Rectangle events bucketed by row: a rectangle opens at its top row and
// closes at its bottom row (which may be the height itself). first[y] ..
// first[y + 1] - 1 index the events of row y; an event is 2 * rectangle + 1
// when it opens and 2 * rectangle when it closes.
struct RowEvents {
    std::unique_ptr<uint64_t[]> first, events;
};

bool bucket_events(const BadPixelList& list, uint64_t height, RowEvents* e) {
    const uint64_t rects = list.rect_count / 4;
    bool ok = false;
    e->first = zeroed<uint64_t>(height, 2, &ok);  // rows 0 .. height, and the end
    if (!ok) return false;
    e->events = zeroed<uint64_t>(rects, rects, &ok);
    if (!ok) return false;
    uint64_t* first = e->first.get();
    for (uint64_t i = 0; i < rects; ++i) {
        const Rect r = rect_at(list, i);
        ++first[r.top + 1];
        ++first[r.bottom + 1];
    }
    for (uint64_t y = 1; y <= height + 1; ++y) first[y] += first[y - 1];
    // Written through first[y] as a cursor, which leaves it at row y + 1's
    // start; one shift puts every row's start back.
    for (uint64_t i = 0; i < rects; ++i) {
        const Rect r = rect_at(list, i);
        e->events[first[r.top]++] = 2 * i + 1;
        e->events[first[r.bottom]++] = 2 * i;
    }
    for (uint64_t y = height + 1; y > 0; --y) first[y] = first[y - 1];
    first[0] = 0;
    return true;
}

// Row by row: the events change the running column differences of the open
// rectangles, and their running sum is how many rectangles cover each column.
// Rows where no rectangle is open are skipped.
bool sweep_rects(const BadPixelList& list, uint64_t height, uint64_t width, uint8_t* mask) {
    RowEvents e;
    if (!bucket_events(list, height, &e)) return false;
    bool ok = false;
    std::unique_ptr<int64_t[]> diff = zeroed<int64_t>(width, 1, &ok);
    if (!ok) return false;
    uint64_t open = 0;
    for (uint64_t y = 0; y < height; ++y) {
        for (uint64_t k = e.first[y]; k < e.first[y + 1]; ++k) {
            const uint64_t ev = e.events[k];
            const Rect r = rect_at(list, ev / 2);
            const bool opens = (ev & 1u) != 0;
            const int64_t step = opens ? 1 : -1;
            open = opens ? open + 1 : open - 1;
            diff[r.left] += step;
            diff[r.right] -= step;
        }
        if (open == 0) continue;
        int64_t cover = 0;
        uint8_t* row = mask + y * width;
        for (uint64_t x = 0; x < width; ++x) {
            cover += diff[x];
            if (cover > 0) row[x] = 1;
        }
    }
    return true;
}

}  // namespace

Status build_bad_pixel_mask(const BadPixelList& list, uint64_t height, uint64_t width,
                            std::unique_ptr<uint8_t[]>* mask) {
    uint64_t pixels = 0;
    if (!pyxa::checked_mul(height, width, &pixels)) return pyxa::OUT_OF_MEMORY;
    bool ok = false;
    *mask = zeroed<uint8_t>(pixels, 0, &ok);
    if (!ok) return pyxa::OUT_OF_MEMORY;
    uint8_t* m = mask->get();
    if (list.rect_count != 0 && !sweep_rects(list, height, width, m)) return pyxa::OUT_OF_MEMORY;
    for (uint64_t i = 0; i + 1 < list.point_count; i += 2)
        m[uint64_t(list.points[i]) * width + uint64_t(list.points[i + 1])] = 1;
    return pyxa::OK;
}

}  // namespace tarnimg
