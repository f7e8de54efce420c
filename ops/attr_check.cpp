// The checks of a node's attributes against its op's rows: presence, type,
// count, range and the string rules ("dest_dtype", "cfa_pattern", a choice,
// the "engine_opts" switches), each with the refusal text it records.
#include <cctype>
#include <cstring>
#include <nlohmann/json.hpp>

#include "ops/attr_values.hpp"

namespace pyxa {
namespace {

Status out_of_range(const AttrList& list, const AttrRow& row, int64_t value) {
    return fail(list.diag(), INVALID_ARGUMENT, '"', row.name, "\" must be ", row.range_text, ", got ", value);
}

Status check_int(const AttrRow& row, const AttrList& list, const AttrItem& it) {
    if (it.type != ATTR_INT32 || it.count != 1) return list.wrong_type(it, ATTR_INT32);
    const int64_t v = it.value.i32;
    if ((row.has_minimum && v < row.minimum) || (row.has_maximum && v > row.maximum))
        return out_of_range(list, row, v);
    return OK;
}

Status check_array(const AttrRow& row, const AttrList& list, const AttrItem& it, int32_t type) {
    if (it.type != type || it.value.ptr == nullptr) return list.wrong_type(it, type);
    if (row.exact_count != 0 && it.count != row.exact_count)
        return fail(list.diag(), INVALID_ARGUMENT, '"', row.name, "\" needs ", row.exact_count, " values, got ",
                    it.count);
    if (row.exact_count == 0 && (it.count == 0 || it.count < row.min_count))
        return fail(list.diag(), INVALID_ARGUMENT, '"', row.name, "\" needs at least ", row.min_count,
                    " values, got ", it.count);
    return OK;
}

// The text of a String item, or a refusal of its type.
Status string_of(const AttrList& list, const AttrItem& it, const char** text) {
    if (it.type != ATTR_STRING || it.count != 1 || it.value.ptr == nullptr) return list.wrong_type(it, ATTR_STRING);
    *text = static_cast<const char*>(it.value.ptr);
    return OK;
}

int32_t index_of(std::span<const char* const> choices, const char* text) {
    for (size_t i = 0; i < choices.size(); ++i)
        if (std::strcmp(choices[i], text) == 0) return static_cast<int32_t>(i);
    return -1;
}

Status decode_dtype(const AttrRow& row, const AttrList& list, const char* text, int32_t* code) {
    static constexpr struct {
        const char* name;
        int32_t code;
    } kTypes[] = {{"uint8", UINT8}, {"uint16", UINT16}, {"float32", FLOAT32}};
    if (index_of(row.choices, text) >= 0) {
        for (const auto& t : kTypes) {
            if (std::strcmp(t.name, text) == 0) {
                *code = t.code;
                return OK;
            }
        }
    }
    return fail(list.diag(), UNSUPPORTED_DTYPE, '"', row.name, "\" must be ", row.choices_text, ", got \"", text, '"');
}

// Four letters of R, G and B in any case, one of the row's patterns.
Status decode_cfa(const AttrRow& row, const AttrList& list, const char* text, int32_t sites[4]) {
    char upper[5] = {};
    if (std::strlen(text) == 4) {
        for (int i = 0; i < 4; ++i) upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        if (index_of(row.choices, upper) >= 0) {
            for (int i = 0; i < 4; ++i) sites[i] = upper[i] == 'R' ? 0 : upper[i] == 'G' ? 1 : 2;
            return OK;
        }
    }
    return fail(list.diag(), INVALID_ARGUMENT, '"', row.name, "\" must be ", row.choices_text, ", got \"", text, '"');
}

// JSON text of an object whose only allowed key is the row's switch, a boolean.
Status decode_switches(const AttrRow& row, const AttrList& list, const char* text, bool* given, int32_t* value) {
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded() || !doc.is_object())
        return fail(list.diag(), INVALID_ARGUMENT, '"', row.name, "\" must be the text of a JSON object");
    const char* key = row.choices.empty() ? "" : row.choices[0];
    for (const auto& [k, v] : doc.items()) {
        if (k != key || !v.is_boolean())
            return fail(list.diag(), INVALID_ARGUMENT, '"', row.name, "\" allows only \"", key,
                        "\" set to true or false, got \"", k, "\" (", v.type_name(), ')');
        *given = true;
        *value = v.get<bool>() ? 1 : 0;
    }
    return OK;
}

}  // namespace

Status AttrValues::check_row(const AttrRow& row, const AttrList& list, Slot* s) const {
    const AttrItem* it = list.find(row.name);
    const bool arrays = row.kind == AttrKind::Floats || row.kind == AttrKind::Ints;
    if (it != nullptr && arrays && row.empty_is_absent && it->count == 0 &&
        it->type == (row.kind == AttrKind::Floats ? ATTR_FLOAT32_ARRAY : ATTR_INT32_ARRAY))
        it = nullptr;
    if (it == nullptr) {
        s->code = row.flag_default ? 1 : 0;
        return row.required ? list.missing(row.name) : OK;
    }
    const char* text = nullptr;
    switch (row.kind) {
        case AttrKind::Int: PYXA_TRY(check_int(row, list, *it)); break;
        case AttrKind::Flag:
            if (it->type != ATTR_INT32 || it->count != 1) return list.wrong_type(*it, ATTR_INT32);
            s->code = it->value.i32 != 0 ? 1 : 0;
            break;
        case AttrKind::Float:
            if (it->type != ATTR_FLOAT32 || it->count != 1) return list.wrong_type(*it, ATTR_FLOAT32);
            break;
        case AttrKind::Floats: PYXA_TRY(check_array(row, list, *it, ATTR_FLOAT32_ARRAY)); break;
        case AttrKind::Ints: PYXA_TRY(check_array(row, list, *it, ATTR_INT32_ARRAY)); break;
        case AttrKind::Choice:
            PYXA_TRY(string_of(list, *it, &text));
            s->code = index_of(row.choices, text);
            if (s->code < 0)
                return fail(list.diag(), INVALID_ARGUMENT, '"', row.name, "\" must be ", row.choices_text, ", got \"",
                            text, '"');
            break;
        case AttrKind::DType:
            PYXA_TRY(string_of(list, *it, &text));
            PYXA_TRY(decode_dtype(row, list, text, &s->code));
            break;
        case AttrKind::Cfa:
            PYXA_TRY(string_of(list, *it, &text));
            PYXA_TRY(decode_cfa(row, list, text, s->sites));
            break;
        case AttrKind::Switches:
            PYXA_TRY(string_of(list, *it, &text));
            PYXA_TRY(decode_switches(row, list, text, &s->switch_given, &s->code));
            break;
    }
    s->item = it;
    return OK;
}

Status AttrValues::check(std::span<const AttrRow> rows, const AttrList& list) {
    diag_ = list.diag();
    slots_.assign(rows.size(), Slot{});
    for (size_t i = 0; i < rows.size(); ++i) {
        slots_[i].row = &rows[i];
        PYXA_TRY(check_row(rows[i], list, &slots_[i]));
    }
    return OK;
}

}  // namespace pyxa
