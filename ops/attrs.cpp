// The attribute item list: lookup by name and the two refusals it shares.
#include "ops/attrs.hpp"

#include <cstring>

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

}  // namespace pyxa
