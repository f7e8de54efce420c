// One definition per built-in op: its name, the family the runner calls it
// through, its attributes and its builder. The registry resolves through this
// table, and the Python op table is checked against it.
#pragma once

#include <cstddef>
#include <span>

#include "core/kernel_step.hpp"
#include "core/records.hpp"
#include "ops/builders.hpp"

namespace pyxa {

// One attribute as a graph carries it. `rule` is the count or range the builder
// checks, in words ("" when any value of the type is taken).
struct AttrRow {
    const char* name;
    AttrType type;
    bool required;
    const char* rule;
};

struct OpDefinition {
    const char* name;
    KernelKind kind;
    std::span<const AttrRow> attrs;
    Builder build;
};

// The seventeen built-in ops, in the order of the op reference.
std::span<const OpDefinition> op_definitions();

}  // namespace pyxa
