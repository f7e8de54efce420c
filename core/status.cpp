// Printed names of the status codes.
#include "core/status.hpp"

namespace pyxa {

const char* status_name(Status code) {
    switch (code) {
        case OK: return "OK";
        case INVALID_ARGUMENT: return "INVALID_ARGUMENT";
        case UNSUPPORTED_DTYPE: return "UNSUPPORTED_DTYPE";
        case DIMENSION_MISMATCH: return "DIMENSION_MISMATCH";
        case OUT_OF_MEMORY: return "OUT_OF_MEMORY";
        case UNKNOWN_OP: return "UNKNOWN_OP";
        case GRAPH_INVALID: return "GRAPH_INVALID";
        case NOT_IMPLEMENTED: return "NOT_IMPLEMENTED";
        case INTERNAL: return "INTERNAL";
        default: return "UNKNOWN";
    }
}

}  // namespace pyxa
