// Column and rect border fills by a step's edge rule.
#include "engine/kernel_chain/border_fill.hpp"

#include <cstring>

namespace pyxa {

void fill_constant(uint8_t* row, uint64_t pixels, const EdgeRule& e) {
    const std::vector<uint8_t>* p = e.pattern;
    fill_with_pattern(row, pixels * e.pixel, p && !p->empty() ? p->data() : nullptr, p ? p->size() : 0, e.pixel,
                      e.element);
}

namespace {

void fill_columns(uint8_t* row, int64_t base_x, int64_t from, int64_t to, int64_t lo, int64_t hi,
                  const EdgeRule& e) {
    if (to <= from) return;
    if (e.mode == static_cast<uint8_t>(PadMode::Constant)) {
        fill_constant(row + static_cast<uint64_t>(from - base_x) * e.pixel, static_cast<uint64_t>(to - from), e);
        return;
    }
    for (int64_t c = from; c < to; ++c) {
        const int64_t m = *map_coordinate(static_cast<PadMode>(e.mode), c, lo, hi);
        std::memcpy(row + static_cast<uint64_t>(c - base_x) * e.pixel, row + static_cast<uint64_t>(m - base_x) * e.pixel,
                    e.pixel);
    }
}

}  // namespace

void fill_row_edges(uint8_t* row, int64_t base_x, uint64_t base_w, int64_t have_lo, int64_t have_hi, int64_t lo,
                    int64_t hi, const EdgeRule& e) {
    const int64_t end = base_x + static_cast<int64_t>(base_w);
    fill_columns(row, base_x, base_x, have_lo, lo, hi, e);
    fill_columns(row, base_x, have_hi, end, lo, hi, e);
}

void fill_rect_border(uint8_t* buf, const Rect& b, uint64_t stride, const Rect& v, const EdgeRule& e) {
    const int64_t v_end = v.y + static_cast<int64_t>(v.height);
    const int64_t b_end = b.y + static_cast<int64_t>(b.height);
    auto row = [&](int64_t y) { return buf + static_cast<uint64_t>(y - b.y) * stride; };
    for (int64_t y = v.y; y < v_end; ++y)
        fill_row_edges(row(y), b.x, b.width, v.x, v.x + static_cast<int64_t>(v.width), v.x,
                       v.x + static_cast<int64_t>(v.width), e);
    for (int64_t y = b.y; y < b_end; ++y) {
        if (y >= v.y && y < v_end) continue;
        if (e.mode == static_cast<uint8_t>(PadMode::Constant)) {
            fill_constant(row(y), b.width, e);
        } else {
            const int64_t m = *map_coordinate(static_cast<PadMode>(e.mode), y, v.y, v_end);
            std::memcpy(row(y), row(m), b.width * e.pixel);
        }
    }
}

}  // namespace pyxa
