// Notes on the exception being raised (PEP 678): the context a message cannot
// carry without changing it, such as the node or tensor at fault.
#pragma once

#include <functional>
#include <string>

namespace pyxa::py {

// Adds the text `make_note` returns to the exception currently set, through
// its add_note method. `make_note` runs with the exception put aside, so it may
// call Python; whatever it throws or raises only drops the note. The exception
// itself is never replaced: if there is none, the note is empty, or adding
// fails (an interpreter without add_note, no memory), it stays exactly as it was.
void add_note_to_raised(const std::function<std::string()>& make_note) noexcept;

}  // namespace pyxa::py
