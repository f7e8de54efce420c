// The pieces of a row run: a step's output row is made from the rows its
// request names, which its producer makes on demand (or which are read in place
// from the run's input image), kept in the step's row cache while they slide.
#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/kernel_chain/chain_runner.hpp"
#include "engine/kernel_chain/rect_math.hpp"
#include "core/clock.hpp"

namespace pyxa {

namespace {

uint8_t* at_column(uint8_t* base, int64_t base_x, int64_t x, uint64_t pixel) {
    return base + static_cast<uint64_t>(x - base_x) * pixel;
}

}  // namespace

ChainRunner::~ChainRunner() { clear_caches(); }

void ChainRunner::clear_caches() {
    for (StepStage& st : plan.stages) st.cache.clear(pool);
}

// When the steps after `ln` in a run only copy whole rows of ln's output,
// the first row of ln that lands in the run's first output row; else none.
std::optional<int64_t> ChainRunner::folded_first_row(size_t ln, size_t last) const {
    const Rect out = plan.stages[last].out_rect;
    int64_t x = out.x, y = out.y;
    for (size_t j = last; j > ln; --j) {
        const StepStage& s = plan.stages[j];
        if (s.requests.empty() || y != s.first_row) return std::nullopt;
        x = s.requests[0].x + (x - s.out_rect.x);
        y = s.requests[0].y;
    }
    const Rect& made = plan.stages[ln].out_rect;
    if (x != made.x || out.width != made.width || plan.formats[ln].pixel != plan.formats[last].pixel)
        return std::nullopt;
    if (y < made.y || !contains(made, Rect{x, y, out.width, out.height})) return std::nullopt;
    return y;
}

Status ChainRunner::run_rows(const ChainSegment& seg, const RectBuffer& src, uint8_t* dest, uint64_t dest_stride,
                             size_t last_needed) {
    run_first = seg.first;
    source = src;
    const Rect out = plan.stages[seg.last].out_rect;
    size_t step = seg.last;
    int64_t y0 = out.y;
    if (last_needed >= seg.first && last_needed < seg.last) {
        // Trailing copies cost nothing: the last needed step writes where they would.
        if (const auto y = folded_first_row(last_needed, seg.last)) {
            step = last_needed;
            y0 = *y;
        }
    }
    for (uint64_t i = 0; i < out.height; ++i) {
        if (row_sampling) timed = profile->decide();
        PYXA_TRY(produce(step, y0 + static_cast<int64_t>(i), dest + i * dest_stride));
    }
    return OK;
}

Status ChainRunner::row_request(size_t k, int64_t y, RowRequest* req) const {
    const StepStage& st = plan.stages[k];
    const int64_t i = y - st.first_row;
    if (i < 0 || static_cast<uint64_t>(i) >= st.requests.size()) return INTERNAL;
    *req = st.requests[static_cast<size_t>(i)];
    return OK;
}

const PixelFormat& ChainRunner::read_format(size_t k) const {
    return k == run_first ? source.format : plan.formats[k - 1];
}

Rect ChainRunner::producer_rect(size_t k) const { return k == run_first ? source.rect : plan.stages[k - 1].out_rect; }

// Row y of step k from the rows fetched for `req` (none when it is empty).
Status ChainRunner::finish_produce(size_t k, int64_t y, uint8_t* dest, const RowRequest& req) {
    const StepStage& st = plan.stages[k];
    const PixelFormat& of = plan.formats[k];
    const SpanView out{dest, st.out_rect.x, y, st.out_rect.width, of.channels, of.dtype};
    const PixelFormat& pf = read_format(k);
    const SpanView placeholder{nullptr, 0, 0, 0, pf.channels, pf.dtype};
    const SpanView* rows = req.empty() ? &placeholder : st.fetched.data();
    if (req.copy) {
        // The output row is exactly the fetched row: no kernel call.
        if (rows[0].len < out.len || pf.pixel != of.pixel) return INTERNAL;
        std::memcpy(dest, rows[0].data, out.len * of.pixel);
        return OK;
    }
    return call_kernel(k, req, rows, out);
}

Status ChainRunner::call_kernel(size_t k, const RowRequest& req, const SpanView* rows, const SpanView& out) {
    const KernelStep& s = plan.step(k);
    void* ctx = s.context();
    const uint64_t t0 = timed ? monotonic_ns() : 0;
    switch (s.kind) {
        case KernelKind::Pointwise: {
            if (rows[0].len != out.len) return INTERNAL;
            const PixelRun in{rows[0].data, rows[0].len, rows[0].channels, rows[0].dtype};
            const PixelRun o{out.data, out.len, out.channels, out.dtype};
            s.pointwise(ctx, &in, &o);
            break;
        }
        case KernelKind::Span:
            s.span(ctx, rows, &out);
            break;
        case KernelKind::Demosaic:
            s.demosaic(ctx, rows, req.empty() ? 1 : req.rows, &out);
            break;
        default:
            return INTERNAL;
    }
    if (timed) profile->add(k, elapsed_ns(t0, monotonic_ns()));
    return OK;
}

std::optional<int64_t> ChainRunner::map_row(size_t k, int64_t y, const Rect& p) const {
    const int64_t end = p.y + static_cast<int64_t>(p.height);
    if (y >= p.y && y < end) return y;
    return map_coordinate(static_cast<PadMode>(plan.stages[k].edge_mode), y, p.y, end);
}

// Only a step with an edge rule may reach beyond what its producer makes,
// and never wholly beside it.
Status ChainRunner::check_fetch(size_t k, const RowRequest& req, bool* col_edges, bool* row_edges) const {
    const Rect p = producer_rect(k);
    if (p.empty() || (k == run_first && source.data == nullptr)) return INTERNAL;
    const Rect want = request_rect(req);
    *col_edges = want.x < p.x || rect_right(want) > rect_right(p);
    *row_edges = want.y < p.y || rect_bottom(want) > rect_bottom(p);
    if ((*col_edges || *row_edges) && plan.stages[k].edge_mode == kNoEdgeMode) return INTERNAL;
    if (want.x >= rect_right(p) || rect_right(want) <= p.x) return INTERNAL;
    return OK;
}

// Rows that the producer only copies are handed on from the producer's own
// input, relabelled; the producer does not run. This is the request to make
// of the producer's producer, or none when the rows are not plain copies.
std::optional<RowRequest> ChainRunner::pass_through_request(size_t k, const RowRequest& req) const {
    const StepStage& sp = plan.stages[k - 1];
    const Rect& p = sp.out_rect;
    if (sp.edge_mode != kNoEdgeMode) return std::nullopt;
    const int64_t i0 = req.y - sp.first_row;
    if (i0 < 0 || static_cast<uint64_t>(i0) + req.rows > sp.requests.size()) return std::nullopt;
    const RowRequest& r0 = sp.requests[static_cast<size_t>(i0)];
    const uint64_t need = static_cast<uint64_t>(req.x - p.x) + req.width;
    for (uint64_t i = 0; i < req.rows; ++i) {
        const RowRequest& r = sp.requests[static_cast<size_t>(i0) + i];
        if (!r.copy || r.x != r0.x || r.y != r0.y + static_cast<int64_t>(i) || r.width < need) return std::nullopt;
    }
    if (plan.producer_format(k - 1).pixel != plan.formats[k - 1].pixel) return std::nullopt;
    return RowRequest{r0.x + (req.x - p.x), r0.y, req.width, req.rows, 0};
}

// The rows the producer fetched for a pass-through request become step k's rows.
void ChainRunner::take_passed_rows(size_t k, const RowRequest& req) {
    const SpanView* got = plan.stages[k - 1].fetched.data();
    StepStage& st = plan.stages[k];
    st.cache.clear(pool);
    st.fetched.assign(got, got + req.rows);
    for (uint64_t i = 0; i < req.rows; ++i) {
        st.fetched[i].x0 = req.x;
        st.fetched[i].y = req.y + static_cast<int64_t>(i);
    }
}

// Lays out step k's cache for `req` and slides its window: the producer rows
// [start, hi) are still to be made (none when start == hi).
Status ChainRunner::start_rows(size_t k, const RowRequest& req, bool col_edges, int64_t* start, int64_t* hi) {
    const Rect p = producer_rect(k);
    PYXA_TRY(set_layout(k, req, p, k == run_first, col_edges));
    int64_t lo = std::numeric_limits<int64_t>::max(), top = std::numeric_limits<int64_t>::min();
    for (uint64_t i = 0; i < req.rows; ++i) {
        const auto m = map_row(k, req.y + static_cast<int64_t>(i), p);
        if (!m) continue;
        lo = std::min(lo, *m);
        top = std::max(top, *m + 1);
    }
    *start = *hi = 0;
    if (lo >= top) return OK;
    RowCache& c = plan.stages[k].cache;
    *start = lo;
    *hi = top;
    if (!c.rows.empty() && lo >= c.begin() && lo < c.end()) {
        // The window slides: keep the overlap, make only the new rows.
        c.drop_before(pool, lo);
        *start = c.end();
    } else {
        c.drop_rows(pool);
    }
    return OK;
}

// The rows handed to step k's kernel for `req`, once the cache holds them.
Status ChainRunner::fill_fetched(size_t k, const RowRequest& req) {
    StepStage& st = plan.stages[k];
    const Rect p = producer_rect(k);
    const PixelFormat& pf = read_format(k);
    RowCache& c = st.cache;
    st.fetched.resize(req.rows);
    for (uint64_t i = 0; i < req.rows; ++i) {
        const int64_t y = req.y + static_cast<int64_t>(i);
        const auto m = map_row(k, y, p);
        uint8_t* base = nullptr;
        if (m) {
            base = c.rows[static_cast<size_t>(*m - c.begin())].base;  // mirrored rows share one buffer
        } else {
            PYXA_TRY(constant_row(k, pf, &base));
        }
        st.fetched[i] = SpanView{at_column(base, c.base_x, req.x, pf.pixel), req.x, y, req.width, pf.channels,
                                 pf.dtype};
    }
    return OK;
}

// Decides which columns each cached row holds. Rows read in place need no
// buffer; rows with column edges get a buffer wide enough for the request and
// for every producer column the edge rule mirrors.
Status ChainRunner::set_layout(size_t k, const RowRequest& req, const Rect& p, bool from_image, bool col_edges) {
    RowCache& c = plan.stages[k].cache;
    const bool in_place = from_image && !col_edges && !input_shares_output;
    if (c.has_layout && c.req_x == req.x && c.req_w == req.width && c.in_place == in_place) return OK;
    c.clear(pool);
    const int64_t p_lo = p.x, p_hi = p.x + static_cast<int64_t>(p.width);
    const int64_t r_lo = req.x, r_hi = req.x + static_cast<int64_t>(req.width);
    int64_t s_lo = p_lo, s_hi = p_hi;
    if (in_place) {
        s_lo = r_lo;
        s_hi = r_hi;
    } else if (from_image) {
        // Copy only the overlap, widened to the columns the edge rule maps onto.
        s_lo = std::max(r_lo, p_lo);
        s_hi = std::min(r_hi, p_hi);
        const auto mode = static_cast<PadMode>(plan.stages[k].edge_mode);
        for (int64_t x = r_lo; x < r_hi; ++x) {
            if (x >= p_lo && x < p_hi) {
                x = p_hi - 1;
                continue;
            }
            const auto m = map_coordinate(mode, x, p_lo, p_hi);
            if (!m) continue;
            if (s_lo >= s_hi) {
                s_lo = *m;
                s_hi = *m + 1;
            }
            s_lo = std::min(s_lo, *m);
            s_hi = std::max(s_hi, *m + 1);
        }
    }
    c.src_lo = s_lo;
    c.src_hi = s_hi;
    c.base_x = s_lo < s_hi ? std::min(r_lo, s_lo) : r_lo;
    const int64_t base_end = s_lo < s_hi ? std::max(r_hi, s_hi) : r_hi;
    c.base_w = static_cast<uint64_t>(base_end - c.base_x);
    c.req_x = req.x;
    c.req_w = req.width;
    c.in_place = in_place;
    c.has_layout = true;
    return OK;
}

// Starts cached row r of step k. Rows read in place, rows wholly under a
// constant edge and rows copied from the run's input are finished here;
// otherwise `producer_dest` is where the producer must make its row r, after
// which end_row fills the edges.
Status ChainRunner::begin_row(size_t k, int64_t r, CachedRow* row, uint8_t** producer_dest) {
    const RowCache& c = plan.stages[k].cache;
    const PixelFormat& pf = read_format(k);
    *producer_dest = nullptr;
    row->y = r;
    if (c.in_place) {
        uint8_t* line = source.data + static_cast<uint64_t>(r - source.rect.y) * source.stride;
        row->base = at_column(line, source.rect.x, c.base_x, pf.pixel);
        return OK;
    }
    uint64_t bytes = 0;
    if (!checked_mul(c.base_w, pf.pixel, &bytes)) return OUT_OF_MEMORY;
    PYXA_TRY(pool.take(bytes, &row->buf));
    row->base = row->buf.data;
    if (c.src_lo >= c.src_hi) {  // nothing of the producer lies under a constant edge
        fill_constant(row->base, c.base_w, edge_rule(k, pf));
        return OK;
    }
    uint8_t* into = at_column(row->base, c.base_x, c.src_lo, pf.pixel);
    if (k != run_first) {
        *producer_dest = into;
        return OK;
    }
    const uint8_t* line = source.data + static_cast<uint64_t>(r - source.rect.y) * source.stride;
    std::memcpy(into, at_column(const_cast<uint8_t*>(line), source.rect.x, c.src_lo, pf.pixel),
                static_cast<uint64_t>(c.src_hi - c.src_lo) * pf.pixel);
    end_row(k, row);
    return OK;
}

void ChainRunner::end_row(size_t k, CachedRow* row) {
    const RowCache& c = plan.stages[k].cache;
    if (c.base_x >= c.src_lo && c.base_x + static_cast<int64_t>(c.base_w) <= c.src_hi) return;
    const Rect p = producer_rect(k);
    fill_row_edges(row->base, c.base_x, c.base_w, c.src_lo, c.src_hi, p.x, p.x + static_cast<int64_t>(p.width),
                   edge_rule(k, read_format(k)));
}

Status ChainRunner::constant_row(size_t k, const PixelFormat& pf, uint8_t** base) {
    RowCache& c = plan.stages[k].cache;
    if (!c.constant_ready) {
        uint64_t bytes = 0;
        if (!checked_mul(c.base_w, pf.pixel, &bytes)) return OUT_OF_MEMORY;
        PYXA_TRY(pool.take(bytes, &c.constant_row));
        fill_constant(c.constant_row.data, c.base_w, edge_rule(k, pf));
        c.constant_ready = true;
    }
    *base = c.constant_row.data;
    return OK;
}

// ---- The pull stack: an output row asks its step's producer for rows, which
// asks its own producer, and so on down the chain; each waiting call is a
// frame on a heap stack, so a chain of any length runs on a small C stack.
// It lives in this file so the pieces above inline into it.

Status ChainRunner::produce(size_t k, int64_t y, uint8_t* dest) {
    frames.clear();
    PullFrame& top = frames.emplace_back();
    top.k = k;
    top.produce = true;
    top.y = y;
    top.dest = dest;
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
            const size_t k = fr.k;
            PullFrame& child = frames.emplace_back();  // `fr` may move: not used past this point
            child.k = k - 1;
            child.req = *inner;
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
            const size_t k = fr.k;
            const int64_t r = fr.next_row;
            PullFrame& child = frames.emplace_back();  // `fr` may move: not used past this point
            child.k = k - 1;
            child.produce = true;
            child.y = r;
            child.dest = into;
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
    const PullFrame& fr = frames[f];
    const Status s = fr.produce ? finish_produce(fr.k, fr.y, fr.dest, fr.req) : OK;
    frames.pop_back();
    return s;
}

}  // namespace pyxa
