// Notes on the exception being raised (PEP 678): the context a message cannot
// carry without changing it, such as the node or tensor at fault.
#pragma once

#include <string>

namespace pyxa::py {

// Adds `note` to the exception currently set, through its add_note method.
// The exception itself is never replaced: if there is none, the note is empty,
// or adding fails (an interpreter without add_note, no memory), the pending
// exception stays exactly as it was.
void add_note_to_raised(const std::string& note) noexcept;

}  // namespace pyxa::py
