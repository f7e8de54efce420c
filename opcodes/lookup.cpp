// PLACEHOLDER: replaced by the opcode library's lookup table.
#include "tarnimg_opcodes.h"

extern "C" OpcodeFn tarnimg_lookup_opcode(const char*) { return nullptr; }
extern "C" const char* tarnimg_version(void) { return "1.0.0"; }
