// Prints the engine's built-in op definitions as JSON (name, family, attribute
// name, type and required flag) for check_op_table.py to hold against the
// Python op table.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "ops/op_definitions.hpp"

namespace {

const char* family_name(pyxa::KernelKind kind) {
    switch (kind) {
        case pyxa::KernelKind::Pointwise: return "pointwise";
        case pyxa::KernelKind::Span: return "span";
        case pyxa::KernelKind::Demosaic: return "demosaic";
        case pyxa::KernelKind::Orientation: return "orientation";
        default: return "opcode";
    }
}

const char* type_name(pyxa::AttrType type) {
    switch (type) {
        case pyxa::ATTR_INT32: return "int32";
        case pyxa::ATTR_FLOAT32: return "float32";
        case pyxa::ATTR_FLOAT64: return "float64";
        case pyxa::ATTR_INT32_ARRAY: return "int32 array";
        case pyxa::ATTR_FLOAT32_ARRAY: return "float32 array";
        case pyxa::ATTR_FLOAT64_ARRAY: return "float64 array";
        case pyxa::ATTR_STRING: return "string";
    }
    return "unknown";
}

}  // namespace

int main() {
    nlohmann::json ops = nlohmann::json::array();
    for (const pyxa::OpDefinition& op : pyxa::op_definitions()) {
        nlohmann::json attrs = nlohmann::json::array();
        for (const pyxa::AttrRow& a : op.attrs)
            attrs.push_back({{"name", a.name}, {"type", type_name(a.type)}, {"required", a.required}});
        ops.push_back({{"name", op.name}, {"family", family_name(op.kind)}, {"attrs", attrs}});
    }
    std::puts(ops.dump(1).c_str());
    return 0;
}
