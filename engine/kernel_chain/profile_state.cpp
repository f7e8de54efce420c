// Sampling decisions and the scaled per-step estimates.
#include "engine/kernel_chain/profile_state.hpp"

namespace pyxa {

namespace {
constexpr U128 kU128Max = ~static_cast<U128>(0);
}

bool ProfileState::decide() {
    ++total;
    if (countdown == 0) {
        countdown = period - 1;
        ++sampled;
        return true;
    }
    --countdown;
    return false;
}

void ProfileState::add(size_t step, uint64_t ns) {
    U128& a = acc[step];
    a = kU128Max - a < ns ? kU128Max : a + ns;
}

uint64_t ProfileState::estimate(size_t step) const {
    if (sampled == 0 || total == 0) return 0;
    const U128 a = acc[step];
    const U128 product = (total != 0 && a > kU128Max / total) ? kU128Max : a * total;
    const U128 q = product / sampled;
    return q > static_cast<U128>(~0ull) ? ~0ull : static_cast<uint64_t>(q);
}

void ProfileState::append(const KernelChain& chain, ProfileList& sink) const {
    for (size_t k = 0; k < chain.steps.size(); ++k)
        sink.push_back(ProfileEntry{estimate(k), chain.steps[k].node_id});
}

}  // namespace pyxa
