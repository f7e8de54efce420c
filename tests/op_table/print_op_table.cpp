// Prints the op definitions the engine was compiled with, and the opcode
// library's schemas, as JSON for check_op_table.py to hold against the Python
// op table: the generated files must be what the build really uses.
#include <cstdio>
#include <iterator>

#include <nlohmann/json.hpp>

#include "opcodes/opcode_list.gen.h"
#include "opcodes/opcode_schemas.gen.hpp"
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

const char* kind_name(pyxa::AttrKind kind) {
    switch (kind) {
        case pyxa::AttrKind::Int: return "int";
        case pyxa::AttrKind::Flag: return "bool";
        case pyxa::AttrKind::Float: return "float";
        case pyxa::AttrKind::Floats: return "floats";
        case pyxa::AttrKind::Ints: return "ints";
        case pyxa::AttrKind::Choice: return "str";
        case pyxa::AttrKind::DType: return "dtype";
        case pyxa::AttrKind::Cfa: return "cfa";
        case pyxa::AttrKind::Switches: return "json";
    }
    return "unknown";
}

nlohmann::json row_json(const pyxa::AttrRow& a) {
    nlohmann::json j = {{"name", a.name}, {"kind", kind_name(a.kind)}, {"required", a.required}};
    if (a.exact_count != 0) j["length"] = a.exact_count;
    if (a.min_count != 1) j["min_length"] = a.min_count;
    if (a.has_minimum) j["minimum"] = a.minimum;
    if (a.has_maximum) j["maximum"] = a.maximum;
    if (a.empty_is_absent) j["empty_is_absent"] = true;
    if (!a.choices.empty()) j["choices"] = std::vector<std::string>(a.choices.begin(), a.choices.end());
    return j;
}

template <size_t N>
nlohmann::json schema_json(const char* name, const tarnimg::ParamSpec (&rows)[N]) {
    nlohmann::json attrs = nlohmann::json::array();
    for (const tarnimg::ParamSpec& r : rows)
        attrs.push_back({{"name", r.name}, {"type", r.type}, {"count", r.count}, {"optional", r.optional != 0}});
    return {{"name", name}, {"family", "opcode"}, {"schema", attrs}};
}

}  // namespace

int main() {
    nlohmann::json ops = nlohmann::json::array();
    for (const pyxa::OpDefinition& op : pyxa::op_definitions()) {
        nlohmann::json attrs = nlohmann::json::array();
        for (const pyxa::AttrRow& a : op.attrs) attrs.push_back(row_json(a));
        ops.push_back({{"name", op.name}, {"family", family_name(op.kind)}, {"needs_input", op.needs_input},
                       {"tensor_checks_first", op.precheck != nullptr}, {"attrs", attrs}});
    }
#define PYXA_PRINT_OPCODE(name) ops.push_back(schema_json(#name, tarnimg::schemas::name));
    TARNIMG_FOR_EACH_OPCODE(PYXA_PRINT_OPCODE)
#undef PYXA_PRINT_OPCODE
    std::puts(ops.dump(1).c_str());
    return 0;
}
