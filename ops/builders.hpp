// What the builders of every op share. A builder (`build_<op>`, declared by
// the generated op table, ops/op_table.gen.cpp) takes a node's attributes
// already checked against its rows, checks the tensors and the rules that tie
// attributes together, and fills a KernelStep with its typed routine and
// parameters.
#pragma once

#include <memory>
#include <utility>

#include "core/kernel_step.hpp"
#include "ops/attr_values.hpp"
#include "ops/tensor_checks.hpp"

namespace pyxa {

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
