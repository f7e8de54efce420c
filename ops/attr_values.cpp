// Typed reads of checked attribute values, by attribute name.
#include <cstring>

#include "ops/attr_values.hpp"

namespace pyxa {

const AttrValues::Slot& AttrValues::slot(const char* name) const {
    static const Slot kAbsent{};
    for (const Slot& s : slots_)
        if (std::strcmp(s.row->name, name) == 0) return s;
    return kAbsent;  // a name the op's rows lack reads as absent
}

bool AttrValues::has(const char* name) const { return slot(name).item != nullptr; }

int32_t AttrValues::i32(const char* name) const {
    const Slot& s = slot(name);
    return s.item != nullptr ? s.item->value.i32 : 0;
}

bool AttrValues::flag(const char* name) const { return slot(name).code != 0; }

float AttrValues::f32(const char* name) const {
    const Slot& s = slot(name);
    return s.item != nullptr ? s.item->value.f32 : 0.0f;
}

std::span<const float> AttrValues::floats(const char* name) const {
    const Slot& s = slot(name);
    if (s.item == nullptr) return {};
    return {static_cast<const float*>(s.item->value.ptr), static_cast<size_t>(s.item->count)};
}

std::span<const int32_t> AttrValues::ints(const char* name) const {
    const Slot& s = slot(name);
    if (s.item == nullptr) return {};
    return {static_cast<const int32_t*>(s.item->value.ptr), static_cast<size_t>(s.item->count)};
}

int32_t AttrValues::dtype(const char* name) const { return slot(name).code; }

int32_t AttrValues::choice(const char* name, int32_t absent) const {
    const Slot& s = slot(name);
    return s.item != nullptr ? s.code : absent;
}

const int32_t* AttrValues::cfa_sites(const char* name) const { return slot(name).sites; }

bool AttrValues::switch_on(const char* name, bool default_value) const {
    const Slot& s = slot(name);
    return s.switch_given ? s.code != 0 : default_value;
}

}  // namespace pyxa
