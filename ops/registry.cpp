// The one table that names every built-in op with its family and builder, and
// the resolver that dispatches through it (falling back to the opcode library).
#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "ops/builders.hpp"
#include "ops/registry.hpp"

namespace pyxa {
namespace {

// One row per built-in op: its name, the family the runner calls it through,
// and its builder.
struct OpEntry {
    const char* name;
    KernelKind kind;
    Builder build;
};

constexpr OpEntry kOps[] = {
    {"sub_scalar", KernelKind::Pointwise, build_sub_scalar},
    {"mul_scalar", KernelKind::Pointwise, build_mul_scalar},
    {"matrix_3x3", KernelKind::Pointwise, build_matrix_3x3},
    {"convert_dtype", KernelKind::Pointwise, build_convert_dtype},
    {"lut", KernelKind::Pointwise, build_lut},
    {"mono_lut", KernelKind::Pointwise, build_mono_lut},
    {"transform_color", KernelKind::Pointwise, build_transform_color},
    {"clip_and_transform_color", KernelKind::Pointwise, build_clip_and_transform},
    {"apply_hue_sat_map", KernelKind::Pointwise, build_hue_sat_map},
    {"apply_hue_sat_val_map", KernelKind::Pointwise, build_hue_sat_val_map},
    {"normalize_raw", KernelKind::Span, build_normalize_raw},
    {"view", KernelKind::Span, build_view},
    {"pad", KernelKind::Span, build_pad},
    {"fill", KernelKind::Span, build_fill},
    {"bilinear_demosaic", KernelKind::Demosaic, build_bilinear_demosaic},
    {"ea_demosaic", KernelKind::Demosaic, build_ea_demosaic},
    {"orientation", KernelKind::Orientation, build_orientation},
};

const OpEntry* find_builtin(const char* op, size_t op_len) {
    for (const OpEntry& e : kOps) {
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
    for (const OpEntry& e : kOps) {
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

Status resolve(const char* op, size_t op_len, const AttrList& attrs, const TensorDesc* input,
               const TensorDesc& output, KernelStep* step) {
    KernelStep s;
    if (const OpEntry* e = find_builtin(op, op_len)) {
        s.kind = e->kind;
        PYXA_TRY(e->build(attrs, input, output, &s));
        // Demosaic windows reach past the image; their outside samples mirror.
        s.edge_mode = e->kind == KernelKind::Demosaic ? static_cast<uint8_t>(PadMode::Reflect) : kNoEdgeMode;
    } else {
        // The op string holds no NUL (checked at parsing), so it is a C string.
        s.opcode = tarnimg_lookup_opcode(op);
        if (s.opcode == nullptr) return unknown_op(attrs.diag(), op, op_len);
        s.kind = KernelKind::Opcode;
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
