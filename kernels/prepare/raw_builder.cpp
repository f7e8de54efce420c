// PLACEHOLDER: replaced by the raw family's builder.
#include "kernels/prepare/builders.hpp"

namespace pyxa {

Status build_normalize_raw(uint8_t, const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*) {
    return NOT_IMPLEMENTED;
}

}  // namespace pyxa
