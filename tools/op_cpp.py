"""Renders the op table as C++: the attribute rows and definitions of the
built-in ops (ops/op_table.gen.cpp), and the parameter schemas
(opcodes/opcode_schemas.gen.hpp) and lookup order (opcodes/opcode_list.gen.h)
of the correction opcodes."""

from __future__ import annotations

from op_table import OPS, AttrDef, OpDef

GENERATED = "Generated from python/pyxa/_opdefs.py by `python tools/generate_ops.py`; do not edit."

# Attribute kind of the table -> the engine's AttrKind for built-in ops.
ENGINE_KIND = {
    "int": "Int", "bool": "Flag", "float": "Float", "floats": "Floats", "ints": "Ints", "str": "Choice",
    "dtype": "DType", "cfa": "Cfa", "json": "Switches",
}
# Attribute kind -> the opcode schema's AttrType code name.
OPCODE_TYPE = {
    "int": "TARNIMG_ATTR_INT32", "bool": "TARNIMG_ATTR_INT32", "float": "TARNIMG_ATTR_FLOAT32",
    "float64": "TARNIMG_ATTR_FLOAT64", "ints": "TARNIMG_ATTR_INT32_ARRAY", "floats": "TARNIMG_ATTR_FLOAT32_ARRAY",
    "floats64": "TARNIMG_ATTR_FLOAT64_ARRAY", "str": "TARNIMG_ATTR_STRING",
}
FAMILY = {"pointwise": "Pointwise", "span": "Span", "demosaic": "Demosaic", "orientation": "Orientation"}


def _c_string(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def range_text(minimum: int | None, maximum: int | None) -> str:
    """How a refusal words an integer range: "positive", "1..8", "at least 2", "at most 31"."""
    if minimum is not None and maximum is not None:
        return f"{minimum}..{maximum}"
    if minimum == 1:
        return "positive"
    if minimum is not None:
        return f"at least {minimum}"
    return f"at most {maximum}" if maximum is not None else ""


def choices_text(a: AttrDef) -> str:
    """How a refusal lists the strings taken: quoted for element types."""
    names = list(a.engine_order or a.choices)
    words = [f'"{c}"' for c in names] if a.kind == "dtype" else names
    return words[0] if len(words) == 1 else ", ".join(words[:-1]) + " or " + words[-1]


def _engine_row(op: OpDef, a: AttrDef) -> str:
    fields = [f".name = {_c_string(a.name)}", f".kind = AttrKind::{ENGINE_KIND[a.kind]}",
              f".required = {'true' if a.required else 'false'}"]
    if a.empty_is_absent:
        fields.append(".empty_is_absent = true")
    if a.kind in ("floats", "ints"):
        if a.length is not None:
            fields.append(f".exact_count = {a.length}")
        elif a.min_length != 1:
            fields.append(f".min_count = {a.min_length}")
    if a.kind == "int" and (a.minimum is not None or a.maximum is not None):
        # Designators follow the declaration order of AttrRow.
        lowest = None if a.minimum is None else int(a.minimum)
        highest = None if a.maximum is None else int(a.maximum)
        fields += [".has_minimum = true"] * (lowest is not None) + [".has_maximum = true"] * (highest is not None)
        fields += [f".minimum = {lowest}"] * (lowest is not None) + [f".maximum = {highest}"] * (highest is not None)
        fields.append(f".range_text = {_c_string(range_text(lowest, highest))}")
    if a.kind in ("str", "dtype", "cfa", "json"):
        fields.append(f".choices = k{_camel(op.name)}_{a.name}_choices")
        fields.append(f".choices_text = {_c_string(choices_text(a))}")
    if a.kind == "bool" and not a.required and a.default:
        fields.append(".flag_default = true")
    return _wrapped("    {", fields, "},")


def _wrapped(head: str, fields: list[str], tail: str, width: int = 116) -> str:
    """The fields joined on lines of at most `width` columns."""
    lines, line = [], head
    for i, f in enumerate(fields):
        piece = f + ("," if i < len(fields) - 1 else "")
        if len(line) + len(piece) + 1 > width and line.strip() not in ("{", ""):
            lines.append(line.rstrip())
            line = "     " + piece
        else:
            line += ("" if line.endswith("{") else " ") + piece
    return "\n".join(lines + [line + tail])


def _camel(name: str) -> str:
    return "".join(part.capitalize() for part in name.split("_"))


def _choices_array(op: OpDef, a: AttrDef) -> str:
    names = ", ".join(_c_string(c) for c in (a.engine_order or a.choices))
    head = f"constexpr const char* k{_camel(op.name)}_{a.name}_choices[] = {{"
    return _wrapped(head, [names], "};")


def engine_source() -> str:
    """ops/op_table.gen.cpp: every built-in op's rows and definition."""
    ops = [op for op in OPS if op.kind == "op"]
    out = ["// The built-in ops: attribute rows and definitions.", f"// {GENERATED}",
           '#include "ops/op_definitions.hpp"', "", "namespace pyxa {", ""]
    for op in ops:
        out.append(f"Status build_{op.name}(const AttrValues&, const TensorDesc*, const TensorDesc&, KernelStep*);")
        if op.tensor_checks_first:
            out.append(f"Status precheck_{op.name}(const TensorDesc*, const TensorDesc&, Diagnostic*);")
    out += ["", "namespace {", ""]
    for op in ops:
        out += [_choices_array(op, a) for a in op.attrs if a.kind in ("str", "dtype", "cfa", "json")]
        if op.attrs:  # an op without attributes has no rows (and C++ has no empty arrays)
            out.append(f"constexpr AttrRow k{_camel(op.name)}[] = {{")
            out += [_engine_row(op, a) for a in op.attrs]
            out.append("};")
    out += ["", "constexpr OpDefinition kOps[] = {"]
    for op in ops:
        precheck = f"precheck_{op.name}" if op.tensor_checks_first else "nullptr"
        needs_input = "true" if op.input_dtypes else "false"
        rows = f"k{_camel(op.name)}" if op.attrs else "{}"
        fields = [_c_string(op.name), f"KernelKind::{FAMILY[op.family]}", needs_input, rows,
                  precheck, f"build_{op.name}"]
        out.append(_wrapped("    {", fields, "},"))
    in_place = [op.name for op in OPS if op.kind == "opcode" and op.works_in_place]
    out += ["};", "", "constexpr const char* kInPlaceOpcodes[] = {"]
    out += [f"    {_c_string(name)}," for name in in_place]
    out += ["};", "", "}  // namespace", "", "std::span<const OpDefinition> op_definitions() { return kOps; }", "",
            "std::span<const char* const> in_place_opcodes() { return kInPlaceOpcodes; }", "",
            "}  // namespace pyxa", ""]
    return "\n".join(out)


def _schema_row(a: AttrDef) -> str:
    count = a.length if a.length is not None else (1 if a.kind in ("int", "bool", "float", "float64", "str") else 0)
    return f"    {{{_c_string(a.name)}, {OPCODE_TYPE[a.kind]}, {count}, {0 if a.required else 1}}},"


def _opcodes() -> list[OpDef]:
    return [op for op in OPS if op.kind == "opcode"]


def schemas_source() -> str:
    """opcodes/opcode_schemas.gen.hpp: each opcode's parameter schema, rows in checking order."""
    out = ["// The correction opcodes' parameter schemas.", f"// {GENERATED}", "#pragma once", "",
           '#include "opcodes/schema.hpp"', "", "namespace tarnimg::schemas {", ""]
    for op in _opcodes():
        out.append(f"inline constexpr ParamSpec {op.name}[] = {{")
        out += [_schema_row(a) for a in op.attrs]
        out += ["};", ""]
    out += ["}  // namespace tarnimg::schemas", ""]
    return "\n".join(out)


def list_source() -> str:
    """opcodes/opcode_list.gen.h: the opcodes in lookup order, as an X macro."""
    opcodes = _opcodes()
    out = ["/* The correction opcodes in lookup order.", f" * {GENERATED} */",
           "#ifndef TARNIMG_OPCODE_LIST_GEN_H", "#define TARNIMG_OPCODE_LIST_GEN_H", "",
           "/* X(name) for every opcode; its entry function is tarnimg_<name>. */",
           "#define TARNIMG_FOR_EACH_OPCODE(X) \\"]
    out += [f"    X({op.name}) \\" for op in opcodes[:-1]] + [f"    X({opcodes[-1].name})", "", "#endif", ""]
    return "\n".join(out)
