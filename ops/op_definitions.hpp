// One definition per built-in op: its name, the family the runner calls it
// through, its attribute rows and its builder. The definitions are generated
// from the op table (ops/op_table.gen.cpp); the registry resolves through them.
#pragma once

#include <span>

#include "core/kernel_step.hpp"
#include "core/records.hpp"
#include "ops/attr_rows.hpp"
#include "ops/attr_values.hpp"

namespace pyxa {

// Fills a step from a node's checked attributes and its tensors; `input` is
// null when the node has no inputs.
using Builder = Status (*)(const AttrValues& attrs, const TensorDesc* input, const TensorDesc& output,
                           KernelStep* step);
// The tensor checks an op makes before its attributes are looked at.
using Precheck = Status (*)(const TensorDesc* input, const TensorDesc& output, Diagnostic* diag);

struct OpDefinition {
    const char* name;
    KernelKind kind;
    bool needs_input;  // a node without an input is refused before anything else
    std::span<const AttrRow> attrs;
    Precheck precheck;  // null for ops that check their attributes first
    Builder build;
};

// Every built-in op, in the order of the op table.
std::span<const OpDefinition> op_definitions();

// The opcodes that copy their input to their output first and then read only
// their output, so that they can run on their input's own buffer.
std::span<const char* const> in_place_opcodes();

}  // namespace pyxa
