// PLACEHOLDER: replaced by the execution driver.
#include "engine/mod/engine.hpp"

namespace pyxa {

Status engine_execute(const Graph&, const TensorBinding*, size_t, const TensorBinding*, size_t,
                      ProfileList* profile) {
    if (profile) profile->clear();
    return NOT_IMPLEMENTED;
}

}  // namespace pyxa
