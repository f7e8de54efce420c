// Tile runner entry (chain execution not yet wired).
#include "engine/kernel_chain/run_chain.hpp"

namespace pyxa {

Status run_chain(BufferPlanner&, const KernelChain&, ProfileList*, uint64_t, uint64_t) { return NOT_IMPLEMENTED; }

}  // namespace pyxa
