// What went wrong in a refused engine call, beside its Status: the node at
// fault (when one is), its op and a short reason. Written only on failure paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/status.hpp"

namespace pyxa {

// Passed by pointer down one call; a null pointer records nothing. The first
// reason recorded wins: outer sites that return the same status keep it.
struct Diagnostic {
    uint32_t node_id = 0;
    bool has_node = false;
    std::string op;      // empty when the op is unknown
    std::string reason;  // e.g. "missing required attribute \"white_level\""
};

namespace diagnostic_parts {

inline void append(std::string& s, const char* text) { s += text != nullptr ? text : ""; }
inline void append(std::string& s, const std::string& text) { s += text; }
inline void append(std::string& s, std::string_view text) { s += text; }
inline void append(std::string& s, char c) { s += c; }
inline void append(std::string& s, double v) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%g", v);
    s += buf;
}
template <class T>
    requires std::is_integral_v<T>
void append(std::string& s, T v) {
    s += std::to_string(v);
}

}  // namespace diagnostic_parts

// Records the reason (its parts concatenated) and returns `status`, so each
// check stays one line:
//   if (n != 9) return fail(diag, INVALID_ARGUMENT, "\"matrix\" needs 9 values, got ", n);
// A reason that cannot be allocated is dropped; the status always survives.
template <class... Parts>
Status fail(Diagnostic* diag, Status status, const Parts&... parts) noexcept {
    if (diag == nullptr || !diag->reason.empty()) return status;
    try {
        std::string text;
        (diagnostic_parts::append(text, parts), ...);
        diag->reason = std::move(text);
    } catch (...) {
        diag->reason.clear();
    }
    return status;
}

// Names the node at fault (once: the innermost site that knows it wins) and
// returns `status`. `op` may be empty when the op itself is the fault.
Status fail_at_node(Diagnostic* diag, Status status, uint32_t node_id, const char* op, size_t op_len) noexcept;

// "node 3 (matrix_3x3): reason", "node 2: reason" or the bare reason; empty
// when nothing was recorded. May throw std::bad_alloc.
std::string describe(const Diagnostic& diag);

}  // namespace pyxa
