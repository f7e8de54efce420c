// The resolver: finds a node's op among the built-in definitions and runs its
// builder, falling back to the opcode library; names a near op on a typo.
#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "ops/op_definitions.hpp"
#include "ops/registry.hpp"
#include "ops/tensor_checks.hpp"

namespace pyxa {
namespace {

const OpDefinition* find_builtin(const char* op, size_t op_len) {
    for (const OpDefinition& e : op_definitions()) {
        if (std::strlen(e.name) == op_len && std::memcmp(e.name, op, op_len) == 0) return &e;
    }
    return nullptr;
}

// Edit distance between two names (insertions, deletions, substitutions); `b`
// is a built-in name, at most kMax characters.
size_t edit_distance(std::string_view a, std::string_view b) {
    constexpr size_t kMax = 64;
    size_t row[kMax + 1];
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The built-in op nearest to a misspelt name, or null when none is close:
// a typo costs one or two edits, a different name costs many more. Long names
// are no typo of a built-in and would only cost time.
const char* closest_builtin(std::string_view op) {
    if (op.size() > 64) return nullptr;
    const char* best = nullptr;
    size_t best_distance = 3;
    for (const OpDefinition& e : op_definitions()) {
        const size_t d = edit_distance(op, e.name);
        if (d < best_distance) {
            best = e.name;
            best_distance = d;
        }
    }
    return best;
}

Status unknown_op(Diagnostic* diag, const char* op, size_t op_len) {
    const std::string_view name(op, op_len);
    if (const char* near = closest_builtin(name))
        return fail(diag, UNKNOWN_OP, "unknown op \"", name, "\" (did you mean \"", near, "\"?)");
    return fail(diag, UNKNOWN_OP, "unknown op \"", name, '"');
}

// A built-in op: its input, the tensor checks it makes first, every
// attribute row, then its builder with the checked values.
Status build_step(const OpDefinition& e, const AttrList& attrs, const TensorDesc* input, const TensorDesc& output,
                  KernelStep* step) {
    Diagnostic* diag = attrs.diag();
    if (e.needs_input) PYXA_TRY(require_input(input, diag));
    if (e.precheck != nullptr) PYXA_TRY(e.precheck(input, output, diag));
    AttrValues values;
    PYXA_TRY(values.check(e.attrs, attrs));
    return e.build(values, input, output, step);
}

Status resolve(const char* op, size_t op_len, const AttrList& attrs, const TensorDesc* input,
               const TensorDesc& output, KernelStep* step) {
    KernelStep s;
    if (const OpDefinition* e = find_builtin(op, op_len)) {
        s.kind = e->kind;
        PYXA_TRY(build_step(*e, attrs, input, output, &s));
        // Demosaic windows reach past the image; their outside samples mirror.
        s.edge_mode = e->kind == KernelKind::Demosaic ? static_cast<uint8_t>(PadMode::Reflect) : kNoEdgeMode;
    } else {
        // The op string holds no NUL (checked at parsing), so it is a C string.
        s.opcode = tarnimg_lookup_opcode(op);
        if (s.opcode == nullptr) return unknown_op(attrs.diag(), op, op_len);
        s.kind = KernelKind::Opcode;
        s.opcode_in_place =
            std::ranges::any_of(in_place_opcodes(), [op](const char* n) { return std::strcmp(n, op) == 0; });
    }
    *step = std::move(s);
    return OK;
}

}  // namespace

Status resolve_kernel_step(const char* op, size_t op_len, const AttrItem* attrs, size_t attr_count,
                           const TensorDesc* input, const TensorDesc& output, KernelStep* step,
                           Diagnostic* diag) {
    if (op == nullptr) return UNKNOWN_OP;
    try {
        return resolve(op, op_len, AttrList(attrs, attr_count, diag), input, output, step);
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    }
}

}  // namespace pyxa
