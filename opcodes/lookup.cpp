// The opcode table in lookup order, the lookup by exact name and the version.
#include <cstring>

#include "opcodes/entries.h"

namespace {

struct OpcodeEntry {
    const char* name;
    OpcodeFn fn;
};

// In lookup order, from the op table (opcodes/opcode_list.gen.h).
constexpr OpcodeEntry kOpcodes[] = {
#define TARNIMG_TABLE_ROW(name) {#name, tarnimg_##name},
    TARNIMG_FOR_EACH_OPCODE(TARNIMG_TABLE_ROW)
#undef TARNIMG_TABLE_ROW
};

}  // namespace

extern "C" TARNIMG_EXPORT OpcodeFn tarnimg_lookup_opcode(const char* name) {
    if (name == nullptr) return nullptr;
    for (const OpcodeEntry& e : kOpcodes) {
        if (std::strcmp(e.name, name) == 0) return e.fn;
    }
    return nullptr;
}

extern "C" TARNIMG_EXPORT const char* tarnimg_version(void) { return "1.0.0"; }
