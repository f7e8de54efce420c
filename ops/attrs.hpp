// A node's attribute items as the builders' checks see them: the first item of
// a name decides; later items of the same name are never seen.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/diagnostic.hpp"
#include "core/records.hpp"

namespace pyxa {

// A node's attributes and the record its refusals go to: every refusal names
// the attribute and what was wrong with it there, so builders need not.
class AttrList {
public:
    AttrList(const AttrItem* items, size_t count, Diagnostic* diag = nullptr)
        : items_(items), count_(items ? count : 0), diag_(diag) {}

    const AttrItem* find(const char* name) const;
    // Where the node's refusals are recorded; may be null.
    Diagnostic* diag() const { return diag_; }
    // The two refusals every check shares: an absent required attribute, and
    // a present one that is not of the `wanted` AttrType. Both INVALID_ARGUMENT.
    Status missing(const char* name) const;
    Status wrong_type(const AttrItem& it, int32_t wanted) const;

private:
    const AttrItem* items_;
    size_t count_;
    Diagnostic* diag_;
};

// "an int", "a float list or float32 array", ...: the attribute types as a caller wrote them.
const char* attr_type_name(int32_t type);

}  // namespace pyxa
