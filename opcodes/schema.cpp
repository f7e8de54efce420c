// The schema check that every opcode entry runs first: the first item of a name
// decides, later items of the same name are never looked at.
#include "opcodes/schema.hpp"

#include <cstring>

namespace tarnimg {
namespace {

const AttrItem* find_first(const char* name, const AttrItem* items, uint64_t item_count) {
    if (items == nullptr) return nullptr;
    for (uint64_t i = 0; i < item_count; ++i) {
        if (items[i].name != nullptr && std::strcmp(items[i].name, name) == 0) return &items[i];
    }
    return nullptr;
}

bool count_fits(const ParamSpec& row, uint64_t count) {
    return row.count != 0 ? count == row.count : count != 0;
}

bool string_present(const AttrItem& item) {
    const char* s = static_cast<const char*>(item.value.ptr);
    return s != nullptr && s[0] != '\0';
}

}  // namespace

Status check_schema(const ParamSpec* rows, size_t row_count, const AttrItem* items, uint64_t item_count,
                    const AttrItem** slots) {
    for (size_t i = 0; i < row_count; ++i) {
        const ParamSpec& row = rows[i];
        const AttrItem* item = find_first(row.name, items, item_count);
        slots[i] = nullptr;
        if (item == nullptr) {
            if (row.optional) continue;
            return pyxa::INVALID_ARGUMENT;
        }
        if (item->type != row.type) return pyxa::INVALID_ARGUMENT;
        if (!count_fits(row, item->count)) return pyxa::INVALID_ARGUMENT;
        if (row.type == TARNIMG_ATTR_STRING && !string_present(*item)) return pyxa::INVALID_ARGUMENT;
        slots[i] = item;
    }
    return pyxa::OK;
}

}  // namespace tarnimg
