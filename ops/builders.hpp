// Builders of every op: each checks a node's attributes and tensor descriptions
// once and fills a KernelStep with its typed routine and parameters. The
// registry names each op's builder directly.
#pragma once

#include <memory>
#include <utility>

#include "core/kernel_step.hpp"
#include "ops/attrs.hpp"
#include "ops/tensor_checks.hpp"

namespace pyxa {

// `input` is null when the node has no inputs.
using Builder = Status (*)(const AttrList& attrs, const TensorDesc* input, const TensorDesc& output,
                           KernelStep* step);

// Pointwise colour ops, one builder each: scalar_builder.cpp (sub, mul),
// matrix_builder.cpp (matrix, clip and transform), convert_builder.cpp,
// lut_builder.cpp (lut, mono_lut), transform_color_builder.cpp, hsv_builder.cpp.
Status build_sub_scalar(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_mul_scalar(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_matrix_3x3(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_clip_and_transform(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_convert_dtype(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_lut(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_mono_lut(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_transform_color(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_hue_sat_map(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_hue_sat_val_map(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);

// Span, demosaic and tile ops: raw_builder.cpp, view_builder.cpp,
// pad_builder.cpp, fill_builder.cpp, demosaic_builder.cpp, orientation_builder.cpp.
Status build_normalize_raw(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_view(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_pad(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_fill(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_bilinear_demosaic(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_ea_demosaic(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);
Status build_orientation(const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*);

// The ending every row step's builder shares: its family, parameter block and
// geometry rules (the routine is set by the caller).
inline Status finish_row_step(KernelStep* step, KernelKind kind, std::shared_ptr<void> params,
                              RowRequestRule request, ForwardRule forward) {
    step->kind = kind;
    step->params = std::move(params);
    step->request = request;
    step->forward = forward;
    return OK;
}

// A span step that runs `run` over rows under its request and forward rules.
inline Status finish_span(KernelStep* step, SpanRun run, std::shared_ptr<void> params, RowRequestRule request,
                          ForwardRule forward) {
    step->span = run;
    return finish_row_step(step, KernelKind::Span, std::move(params), request, forward);
}

}  // namespace pyxa
