// A node's attributes after the checks of its op's rows: every value is
// present with its kind and count (or absent where the row allows it), in its
// range, and string values are decoded. Builders read them here and keep only
// the rules that tie attributes together or to the tensors.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ops/attr_rows.hpp"
#include "ops/attrs.hpp"

namespace pyxa {

class AttrValues {
public:
    // Checks `list` against `rows`, in row order; the first failing row decides
    // the status and records why. Names in no row are ignored.
    Status check(std::span<const AttrRow> rows, const AttrList& list);

    Diagnostic* diag() const { return diag_; }
    // Present (and, for arrays that may be empty, not empty).
    bool has(const char* name) const;
    int32_t i32(const char* name) const;
    // A Flag row's value, or its default when absent.
    bool flag(const char* name) const;
    float f32(const char* name) const;
    // The elements of an array row; empty when absent. They point into the
    // node's attributes: builders copy what their steps keep.
    std::span<const float> floats(const char* name) const;
    std::span<const int32_t> ints(const char* name) const;
    // A DType row's element type code.
    int32_t dtype(const char* name) const;
    // A Choice row's index into its choices, or `absent`.
    int32_t choice(const char* name, int32_t absent) const;
    // The Cfa row's colour index (red 0, green 1, blue 2) of the sites
    // (0, 0), (0, 1), (1, 0), (1, 1).
    const int32_t* cfa_sites(const char* name) const;
    // A Switches row's switch, or `default_value` when it is not given.
    bool switch_on(const char* name, bool default_value) const;

private:
    struct Slot {
        const AttrRow* row = nullptr;
        const AttrItem* item = nullptr;  // null when absent
        int32_t code = 0;                // DType code, Choice index, Flag or switch value
        bool switch_given = false;
        int32_t sites[4] = {};
    };
    const Slot& slot(const char* name) const;
    Status check_row(const AttrRow& row, const AttrList& list, Slot* s) const;

    std::vector<Slot> slots_;
    Diagnostic* diag_ = nullptr;
};

}  // namespace pyxa
