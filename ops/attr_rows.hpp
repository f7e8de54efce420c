// One attribute of a built-in op as the op table states it: the rules the
// engine checks before the op's builder runs. The rows themselves are
// generated from the op table (ops/op_table.gen.cpp).
#pragma once

#include <cstdint>
#include <span>

namespace pyxa {

// How an attribute travels and what its value means.
enum class AttrKind : uint8_t {
    Int,     // one signed 32-bit integer
    Flag,    // an integer, non-zero is true
    Float,   // one 32-bit float
    Floats,  // an array of 32-bit floats
    Ints,    // an array of 32-bit integers
    Choice,  // a string, one of `choices`
    DType,   // "uint8", "uint16" or "float32"; any other string is UNSUPPORTED_DTYPE
    Cfa,     // a 2x2 Bayer pattern, any letter case
    Switches,  // JSON text of an object whose only key is `choices[0]`, a boolean
};

struct AttrRow {
    const char* name;
    AttrKind kind;
    bool required;
    // Arrays: an array of the right type with no elements counts as absent.
    bool empty_is_absent = false;
    // Arrays: exactly this many elements (0: no such rule), or at least min_count.
    uint64_t exact_count = 0;
    uint64_t min_count = 1;
    // Int: the range, and the refusal's words for it ("positive", "1..8").
    bool has_minimum = false;
    bool has_maximum = false;
    int64_t minimum = 0;
    int64_t maximum = 0;
    const char* range_text = "";
    // Choice, DType, Cfa, Switches: the strings taken, and how a refusal lists them.
    std::span<const char* const> choices = {};
    const char* choices_text = "";
    // Flag: the value when absent.
    bool flag_default = false;
};

}  // namespace pyxa
