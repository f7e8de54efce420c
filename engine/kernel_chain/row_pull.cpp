// The pull stack of a row run: an output row asks its step's producer for
// rows, which asks its own producer, and so on down the chain; each waiting
// call is a frame on a heap stack, so a chain of any length runs on a small C stack.
#include "engine/kernel_chain/chain_runner.hpp"

namespace pyxa {

Status ChainRunner::produce(size_t k, int64_t y, uint8_t* dest) {
    frames.clear();
    PullFrame top;
    top.k = k;
    top.produce = true;
    top.y = y;
    top.dest = dest;
    frames.push_back(top);
    while (!frames.empty()) {
        const Status s = advance();
        if (s != OK) {
            abandon_frames();
            return s;
        }
    }
    return OK;
}

// Row buffers taken for rows the failed pull never finished go back to the pool.
void ChainRunner::abandon_frames() {
    for (PullFrame& f : frames) pool.give(f.row.buf);
    frames.clear();
}

Status ChainRunner::advance() {
    const size_t f = frames.size() - 1;
    PullFrame& fr = frames[f];
    switch (fr.at) {
        case PullFrame::At::Begin:
            return begin(f);
        case PullFrame::At::Rows:
            return make_rows(f);
        case PullFrame::At::AfterProducerRow:
            end_row(fr.k, &fr.row);
            plan.stages[fr.k].cache.rows.push_back(fr.row);
            fr.row = CachedRow{};
            ++fr.next_row;
            return make_rows(f);
        case PullFrame::At::AfterPassThrough:
            take_passed_rows(fr.k, fr.req);
            return complete(f);
    }
    return INTERNAL;
}

// A frame's first run: its request, then either a pass-through request to the
// producer's producer or the layout of its row cache.
Status ChainRunner::begin(size_t f) {
    PullFrame& fr = frames[f];
    if (fr.produce) {
        PYXA_TRY(row_request(fr.k, fr.y, &fr.req));
        if (fr.req.empty()) return complete(f);
    }
    bool col_edges = false, row_edges = false;
    PYXA_TRY(check_fetch(fr.k, fr.req, &col_edges, &row_edges));
    if (fr.k != run_first && !col_edges && !row_edges) {
        if (const auto inner = pass_through_request(fr.k, fr.req)) {
            fr.at = PullFrame::At::AfterPassThrough;
            PullFrame child;
            child.k = fr.k - 1;
            child.req = *inner;
            frames.push_back(child);  // `fr` is not used past this point
            return OK;
        }
    }
    PYXA_TRY(start_rows(fr.k, fr.req, col_edges, &fr.next_row, &fr.end_row));
    fr.at = PullFrame::At::Rows;
    return make_rows(f);
}

// Makes the frame's missing cache rows in order; a row its producer must make
// suspends the frame under a frame producing that row.
Status ChainRunner::make_rows(size_t f) {
    while (frames[f].next_row < frames[f].end_row) {
        PullFrame& fr = frames[f];
        uint8_t* into = nullptr;
        PYXA_TRY(begin_row(fr.k, fr.next_row, &fr.row, &into));
        if (into != nullptr) {
            fr.at = PullFrame::At::AfterProducerRow;
            PullFrame child;
            child.k = fr.k - 1;
            child.produce = true;
            child.y = fr.next_row;
            child.dest = into;
            frames.push_back(child);  // `fr` is not used past this point
            return OK;
        }
        plan.stages[fr.k].cache.rows.push_back(fr.row);
        fr.row = CachedRow{};
        ++fr.next_row;
    }
    PYXA_TRY(fill_fetched(frames[f].k, frames[f].req));
    return complete(f);
}

// The top frame's rows are fetched: a produce frame makes its row, then the frame ends.
Status ChainRunner::complete(size_t f) {
    const size_t k = frames[f].k;
    const bool produce_row = frames[f].produce;
    const int64_t y = frames[f].y;
    uint8_t* const dest = frames[f].dest;
    const RowRequest req = frames[f].req;
    frames.pop_back();
    return produce_row ? finish_produce(k, y, dest, req) : OK;
}

}  // namespace pyxa
