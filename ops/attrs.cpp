// Typed attribute getters and the shared "dest_dtype", "cfa_pattern" and
// "engine_opts" rules.
#include "ops/attrs.hpp"

#include <cctype>
#include <cstring>
#include <nlohmann/json.hpp>

namespace pyxa {

const AttrItem* AttrList::find(const char* name) const {
    for (size_t i = 0; i < count_; ++i) {
        const AttrItem& it = items_[i];
        if (it.name != nullptr && std::strcmp(it.name, name) == 0) return &it;
    }
    return nullptr;
}

const char* attr_type_name(int32_t type) {
    switch (type) {
        case ATTR_INT32: return "an int";
        case ATTR_FLOAT32: return "a float";
        case ATTR_FLOAT64: return "a float64 scalar";
        case ATTR_INT32_ARRAY: return "an int array";
        case ATTR_FLOAT32_ARRAY: return "a float list or float32 array";
        case ATTR_FLOAT64_ARRAY: return "a float64 array";
        case ATTR_STRING: return "a string";
        default: return "an unknown type";
    }
}

Status AttrList::missing(const char* name) const {
    return fail(diag_, INVALID_ARGUMENT, "missing required attribute \"", name, '"');
}

Status AttrList::wrong_type(const AttrItem& it, int32_t wanted) const {
    return fail(diag_, INVALID_ARGUMENT, '"', it.name, "\" must be ", attr_type_name(wanted), ", got ",
                attr_type_name(it.type));
}

Status AttrList::required_int(const char* name, int32_t* out) const {
    const AttrItem* it = find(name);
    if (it == nullptr) return missing(name);
    if (it->type != ATTR_INT32 || it->count != 1) return wrong_type(*it, ATTR_INT32);
    *out = it->value.i32;
    return OK;
}

Status AttrList::flag(const char* name, bool default_value, bool* out) const {
    const AttrItem* it = find(name);
    if (it == nullptr) {
        *out = default_value;
        return OK;
    }
    if (it->type != ATTR_INT32 || it->count != 1) return wrong_type(*it, ATTR_INT32);
    *out = it->value.i32 != 0;
    return OK;
}

Status AttrList::required_float(const char* name, float* out) const {
    const AttrItem* it = find(name);
    if (it == nullptr) return missing(name);
    if (it->type != ATTR_FLOAT32 || it->count != 1) return wrong_type(*it, ATTR_FLOAT32);
    *out = it->value.f32;
    return OK;
}

Status AttrList::float_array_min(const char* name, uint64_t min_count, std::vector<float>* out) const {
    const AttrItem* it = find(name);
    if (it == nullptr) return missing(name);
    if (it->type != ATTR_FLOAT32_ARRAY || it->value.ptr == nullptr) return wrong_type(*it, ATTR_FLOAT32_ARRAY);
    if (it->count == 0 || it->count < min_count)
        return fail(diag_, INVALID_ARGUMENT, '"', name, "\" needs at least ", min_count, " values, got ", it->count);
    const float* p = static_cast<const float*>(it->value.ptr);
    out->assign(p, p + it->count);
    return OK;
}

Status AttrList::float_array_exact(const char* name, uint64_t count, std::vector<float>* out) const {
    const AttrItem* it = find(name);
    if (it == nullptr) return missing(name);
    if (it->type != ATTR_FLOAT32_ARRAY || it->value.ptr == nullptr) return wrong_type(*it, ATTR_FLOAT32_ARRAY);
    if (it->count != count)
        return fail(diag_, INVALID_ARGUMENT, '"', name, "\" needs ", count, " values, got ", it->count);
    const float* p = static_cast<const float*>(it->value.ptr);
    out->assign(p, p + it->count);
    return OK;
}

Status AttrList::optional_string(const char* name, const char** out) const {
    const AttrItem* it = find(name);
    if (it == nullptr) {
        *out = nullptr;
        return OK;
    }
    if (it->type != ATTR_STRING || it->count != 1 || it->value.ptr == nullptr) return wrong_type(*it, ATTR_STRING);
    *out = static_cast<const char*>(it->value.ptr);
    return OK;
}

Status read_dest_dtype(const AttrList& attrs, int32_t* dtype) {
    const char* s = nullptr;
    PYXA_TRY(attrs.optional_string("dest_dtype", &s));
    if (s == nullptr) return attrs.missing("dest_dtype");
    if (std::strcmp(s, "uint8") == 0) *dtype = UINT8;
    else if (std::strcmp(s, "uint16") == 0) *dtype = UINT16;
    else if (std::strcmp(s, "float32") == 0) *dtype = FLOAT32;
    else
        return fail(attrs.diag(), UNSUPPORTED_DTYPE, "\"dest_dtype\" must be \"uint8\", \"uint16\" or \"float32\", got \"",
                    s, '"');
    return OK;
}

Status read_cfa_pattern(const AttrList& attrs, int32_t cfa[4]) {
    struct Pattern {
        const char* name;
        int32_t sites[4];
    };
    static constexpr Pattern kPatterns[] = {
        {"RGGB", {0, 1, 1, 2}}, {"BGGR", {2, 1, 1, 0}}, {"GRBG", {1, 0, 2, 1}}, {"GBRG", {1, 2, 0, 1}}};
    const char* s = nullptr;
    PYXA_TRY(attrs.optional_string("cfa_pattern", &s));
    if (s == nullptr) return attrs.missing("cfa_pattern");
    constexpr const char* kRefused = "\"cfa_pattern\" must be RGGB, BGGR, GRBG or GBRG, got \"";
    if (std::strlen(s) != 4) return fail(attrs.diag(), INVALID_ARGUMENT, kRefused, s, '"');
    char upper[5] = {};
    for (int i = 0; i < 4; ++i) upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
    for (const Pattern& p : kPatterns) {
        if (std::memcmp(upper, p.name, 4) == 0) {
            std::memcpy(cfa, p.sites, sizeof(p.sites));
            return OK;
        }
    }
    return fail(attrs.diag(), INVALID_ARGUMENT, kRefused, s, '"');
}

Status read_engine_opts(const AttrList& attrs, const char* key, bool default_value, bool* value) {
    *value = default_value;
    const char* text = nullptr;
    PYXA_TRY(attrs.optional_string("engine_opts", &text));
    if (text == nullptr) return OK;
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded() || !doc.is_object())
        return fail(attrs.diag(), INVALID_ARGUMENT, "\"engine_opts\" must be the text of a JSON object");
    for (const auto& [k, v] : doc.items()) {
        if (k != key || !v.is_boolean())
            return fail(attrs.diag(), INVALID_ARGUMENT, "\"engine_opts\" allows only \"", key,
                        "\" set to true or false, got \"", k, "\" (", v.type_name(), ')');
        *value = v.get<bool>();
    }
    return OK;
}

}  // namespace pyxa
