// Attribution of a refused call to its node and the text of the note.
#include "core/diagnostic.hpp"

namespace pyxa {

Status fail_at_node(Diagnostic* diag, Status status, uint32_t node_id, const char* op, size_t op_len) noexcept {
    if (diag == nullptr || diag->has_node) return status;
    diag->has_node = true;
    diag->node_id = node_id;
    try {
        diag->op.assign(op != nullptr ? op : "", op != nullptr ? op_len : 0);
    } catch (...) {
        diag->op.clear();
    }
    return status;
}

std::string describe(const Diagnostic& diag) {
    if (!diag.has_node) return diag.reason;
    std::string text = "node " + std::to_string(diag.node_id);
    if (!diag.op.empty()) text += " (" + diag.op + ")";
    if (!diag.reason.empty()) text += ": " + diag.reason;
    return text;
}

}  // namespace pyxa
