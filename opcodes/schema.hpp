// Parameter schemas of the opcodes: one ParamSpec row per parameter, checked in
// row order against a caller's AttrItem list, and typed readers for the matches.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/status.hpp"
#include "tarnimg_opcodes.h"

namespace tarnimg {

using pyxa::Status;

struct ParamSpec {
    const char* name;
    int32_t type;    // AttrType code
    uint64_t count;  // 0: any count of at least 1; otherwise exactly this count
    uint8_t optional;
};

// Fills slots[i] with the first item named like rows[i] (or null for an absent
// optional row). Fails with INVALID_ARGUMENT at the first row that is missing or
// whose first item has the wrong type, count or (for strings) an empty value.
Status check_schema(const ParamSpec* rows, size_t row_count, const AttrItem* items, uint64_t item_count,
                    const AttrItem** slots);

template <size_t N>
Status check_schema(const ParamSpec (&rows)[N], const AttrItem* items, uint64_t item_count,
                    const AttrItem* (&slots)[N]) {
    return check_schema(rows, N, items, item_count, slots);
}

inline int32_t attr_i32(const AttrItem* a) { return a->value.i32; }
inline float attr_f32(const AttrItem* a) { return a->value.f32; }
inline double attr_f64(const AttrItem* a) { return a->value.f64; }
inline const float* attr_f32s(const AttrItem* a) { return static_cast<const float*>(a->value.ptr); }
inline const double* attr_f64s(const AttrItem* a) { return static_cast<const double*>(a->value.ptr); }

}  // namespace tarnimg
