// Typed attribute getters shared by every builder. The first item of a name
// decides; later items of the same name are never seen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/diagnostic.hpp"
#include "core/records.hpp"

namespace pyxa {

// A node's attributes and the record its refusals go to: every getter names
// the attribute and what was wrong with it there, so builders need not.
class AttrList {
public:
    AttrList(const AttrItem* items, size_t count, Diagnostic* diag = nullptr)
        : items_(items), count_(items ? count : 0), diag_(diag) {}

    const AttrItem* find(const char* name) const;
    bool empty() const { return count_ == 0; }
    // Where the node's builder records why it refused; may be null.
    Diagnostic* diag() const { return diag_; }
    // The two refusals every getter shares: an absent required attribute, and
    // a present one that is not of the `wanted` AttrType. Both INVALID_ARGUMENT.
    Status missing(const char* name) const;
    Status wrong_type(const AttrItem& it, int32_t wanted) const;

    // Required integer: absent or mistyped -> INVALID_ARGUMENT.
    Status required_int(const char* name, int32_t* out) const;
    // Optional flag: absent -> default; non-integer -> INVALID_ARGUMENT.
    Status flag(const char* name, bool default_value, bool* out) const;
    Status required_float(const char* name, float* out) const;
    // Float array of at least `min_count` elements, copied.
    Status float_array_min(const char* name, uint64_t min_count, std::vector<float>* out) const;
    // Float array of exactly `count` elements, copied.
    Status float_array_exact(const char* name, uint64_t count, std::vector<float>* out) const;
    // Optional string: absent -> nullptr; present but not a string -> INVALID_ARGUMENT.
    Status optional_string(const char* name, const char** out) const;

private:
    const AttrItem* items_;
    size_t count_;
    Diagnostic* diag_;
};

// "an int", "a float list or float32 array", ...: the attribute types as a caller wrote them.
const char* attr_type_name(int32_t type);

// "dest_dtype": "uint8" | "uint16" | "float32". Absent or not a string:
// INVALID_ARGUMENT; any other string: UNSUPPORTED_DTYPE.
Status read_dest_dtype(const AttrList& attrs, int32_t* dtype);

// "cfa_pattern": RGGB, BGGR, GRBG or GBRG in any case; colour index of the
// sites (0,0), (0,1), (1,0), (1,1) with red 0, green 1, blue 2.
Status read_cfa_pattern(const AttrList& attrs, int32_t cfa[4]);

// "engine_opts": optional JSON text of an object whose only allowed key is
// `key`, a boolean; *value keeps `default_value` when the key is absent.
Status read_engine_opts(const AttrList& attrs, const char* key, bool default_value, bool* value);

}  // namespace pyxa
