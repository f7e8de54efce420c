// Builders of "bilinear_demosaic", "ea_demosaic" and "half_demosaic": check the
// mosaic and the RGB output, read the CFA pattern and options, size the green cache.
#include <algorithm>
#include <memory>
#include <new>

#include "core/isa.hpp"
#include "kernels/demosaic/demosaic_params.hpp"
#include "ops/builders.hpp"

namespace pyxa {
namespace {

// Output row (x, y, w) reads rows y - halo .. y + halo, columns x - halo .. x + w - 1 + halo.
template <int Halo>
Status window_request(const void*, int64_t x, int64_t y, uint64_t w, RowRequest* out) {
    int64_t sx, sy;
    uint64_t width;
    if (__builtin_sub_overflow(x, Halo, &sx) || __builtin_sub_overflow(y, Halo, &sy) ||
        !checked_add(w, 2 * Halo, &width))
        return INVALID_ARGUMENT;
    *out = RowRequest{sx, sy, width, 2 * Halo + 1, 0};
    return OK;
}

// Output row (x, y, w) of the half-size op reads input rows 2y and 2y + 1,
// columns 2x .. 2x + 2w - 1: never beyond the mosaic, whose odd last row or
// column is left out.
Status cell_request(const void*, int64_t x, int64_t y, uint64_t w, RowRequest* out) {
    int64_t sx, sy;
    uint64_t width;
    if (__builtin_mul_overflow(x, 2, &sx) || __builtin_mul_overflow(y, 2, &sy) || !checked_mul(w, 2, &width))
        return INVALID_ARGUMENT;
    *out = RowRequest{sx, sy, width, 2, 0};
    return OK;
}

int64_t floor_half(__int128 v) { return static_cast<int64_t>(v >= 0 ? v / 2 : -((1 - v) / 2)); }

// The output pixels whose whole cell lies in the input rect `in`. The planner
// skips the forward check of demosaic-family steps today; the rule stays exact
// for a planner that does not. Rects reaching it are addressable, so halves fit.
Rect cell_forward(const void*, const Rect& in, const Rect&) {
    const __int128 x0 = in.x, y0 = in.y;
    const int64_t ox0 = floor_half(x0 + 1), oy0 = floor_half(y0 + 1);
    const int64_t ox1 = floor_half(x0 + in.width), oy1 = floor_half(y0 + in.height);
    if (in.empty() || ox1 <= ox0 || oy1 <= oy0) return Rect{};
    return Rect{ox0, oy0, static_cast<uint64_t>(ox1 - ox0), static_cast<uint64_t>(oy1 - oy0)};
}

Status allocate_green_cache(uint64_t width, GreenCache* cache) {
    uint64_t row = 0, total = 0;
    // Three green rows and their three difference rows.
    if (!checked_add(width, 2, &row) || !checked_mul(row, 6, &total) || total > kSizeMax / sizeof(float))
        return OUT_OF_MEMORY;
    cache->buf.reset(new (std::nothrow) float[total]);
    if (cache->buf == nullptr) return OUT_OF_MEMORY;
    cache->row_capacity = row;
    return OK;
}

// The mosaic and the RGB output are checked before the attributes.
Status precheck(const TensorDesc* input, const TensorDesc& output, Diagnostic* diag) {
    if (input->dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "input", *input, "float32");
    if (output.dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "output", output, "float32");
    // One mosaic sample in, one RGB pixel out at the same position.
    if (input->channels != 1) return refuse_channels(diag, "input", *input, 1);
    if (input->height == 0 || input->width == 0) return INVALID_ARGUMENT;
    return check_output_size(output, input->height, input->width, 3, diag);
}

void read_cfa(const AttrValues& attrs, DemosaicParams* p) {
    std::copy_n(attrs.cfa_sites("cfa_pattern"), 4, p->cfa);
    for (int site = 0; site < 4; ++site) {
        if (p->cfa[site] == 0) {
            p->red_row = site / 2;
            p->red_col = site % 2;
        }
    }
}

Status build_demosaic(bool edge_aware, const AttrValues& attrs, const TensorDesc* input, KernelStep* step) {
    auto p = std::make_shared<DemosaicParams>();
    p->in_height = p->out_height = input->height;
    p->in_width = p->out_width = input->width;
    if (edge_aware) {
        p->fast = attrs.flag("fast");
        p->neon = attrs.switch_on("engine_opts", true);
        if (!p->fast) {
            auto cache = std::make_shared<GreenCache>();
            PYXA_TRY(allocate_green_cache(input->width, cache.get()));
            p->green = cache.get();
            step->run_state = std::move(cache);
        }
    }
    read_cfa(attrs, p.get());
    step->params = p;
    step->forward = same_rect_forward;
    if (!edge_aware) {
        step->demosaic = bilinear_demosaic_routine(best_isa());
        step->request = window_request<1>;
    } else if (p->fast) {
        step->demosaic = ea_fast_demosaic_routine(best_isa());
        step->request = window_request<1>;
    } else {
        step->demosaic = ea_full_demosaic_routine(best_isa());
        step->request = window_request<3>;
    }
    return OK;
}

}  // namespace

Status precheck_bilinear_demosaic(const TensorDesc* input, const TensorDesc& output, Diagnostic* diag) {
    return precheck(input, output, diag);
}

Status precheck_ea_demosaic(const TensorDesc* input, const TensorDesc& output, Diagnostic* diag) {
    return precheck(input, output, diag);
}

Status precheck_half_demosaic(const TensorDesc* input, const TensorDesc& output, Diagnostic* diag) {
    if (input->dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "input", *input, "float32");
    if (output.dtype != FLOAT32) return refuse_dtype(diag, UNSUPPORTED_DTYPE, "output", output, "float32");
    if (input->channels != 1) return refuse_channels(diag, "input", *input, 1);
    // An output pixel is a whole 2x2 cell: a mosaic under two rows or columns makes none.
    if (input->height < 2 || input->width < 2)
        return fail(diag, INVALID_ARGUMENT, "input tensor ", input->id, " is ", input->height, " x ", input->width,
                    ", the op needs at least 2 x 2 (one whole cell)");
    return check_output_size(output, input->height / 2, input->width / 2, 3, diag);
}

Status build_half_demosaic(const AttrValues& attrs, const TensorDesc* input, const TensorDesc&, KernelStep* step) {
    auto p = std::make_shared<DemosaicParams>();
    p->in_height = input->height;
    p->in_width = input->width;
    p->out_height = input->height / 2;
    p->out_width = input->width / 2;
    read_cfa(attrs, p.get());
    step->params = p;
    step->forward = cell_forward;
    step->demosaic = half_demosaic_routine(best_isa());
    step->request = cell_request;
    return OK;
}

Status build_bilinear_demosaic(const AttrValues& attrs, const TensorDesc* input, const TensorDesc&,
                               KernelStep* step) {
    return build_demosaic(false, attrs, input, step);
}

Status build_ea_demosaic(const AttrValues& attrs, const TensorDesc* input, const TensorDesc&, KernelStep* step) {
    return build_demosaic(true, attrs, input, step);
}

}  // namespace pyxa
