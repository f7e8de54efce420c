// Status codes returned by every engine operation, and their printed names.
#pragma once

#include <cstdint>

namespace pyxa {

using Status = uint32_t;

enum StatusCode : Status {
    OK = 0,
    INVALID_ARGUMENT = 1,
    UNSUPPORTED_DTYPE = 2,
    DIMENSION_MISMATCH = 3,
    OUT_OF_MEMORY = 4,
    UNKNOWN_OP = 10,
    GRAPH_INVALID = 11,
    NOT_IMPLEMENTED = 12,
    INTERNAL = 13,
};

// "INVALID_ARGUMENT", ...; "UNKNOWN" for unassigned codes.
const char* status_name(Status code);

}  // namespace pyxa

// Early return on failure: keeps check-and-return lines to one line each.
#define PYXA_TRY(expr)                                   \
    do {                                                 \
        const ::pyxa::Status pyxa_try_status_ = (expr);  \
        if (pyxa_try_status_ != ::pyxa::OK) return pyxa_try_status_; \
    } while (0)
