// The rows a step has fetched from its producer: a first-in first-out window
// over one contiguous range of producer rows, all with one column layout.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/kernel_chain/row_pool.hpp"

namespace pyxa {

struct CachedRow {
    int64_t y = 0;
    uint8_t* base = nullptr;  // column `base_x` of the row
    RowBuf buf;               // empty for rows used in place
};

struct RowCache {
    // Column layout: the request's columns and the columns each row holds.
    bool has_layout = false;
    int64_t req_x = 0;
    uint64_t req_w = 0;
    int64_t base_x = 0;
    uint64_t base_w = 0;
    int64_t src_lo = 0, src_hi = 0;  // producer columns copied or produced into each row
    bool in_place = false;           // rows point into the run's input image

    std::vector<CachedRow> rows;  // ascending, consecutive y
    RowBuf constant_row;          // a `constant` edge row for this layout
    bool constant_ready = false;

    int64_t begin() const { return rows.empty() ? 0 : rows.front().y; }
    int64_t end() const { return rows.empty() ? 0 : rows.back().y + 1; }

    // Returns every buffer to the pool and forgets the layout.
    void clear(RowPool& pool) {
        drop_rows(pool);
        pool.give(constant_row);
        constant_row = RowBuf{};
        constant_ready = false;
        has_layout = false;
    }
    void drop_rows(RowPool& pool) {
        for (CachedRow& r : rows) pool.give(r.buf);
        rows.clear();
    }
    // Releases rows before y.
    void drop_before(RowPool& pool, int64_t y) {
        size_t n = 0;
        while (n < rows.size() && rows[n].y < y) pool.give(rows[n++].buf);
        rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(n));
    }
};

}  // namespace pyxa
