// PLACEHOLDER: replaced by the fill family's builder.
#include "kernels/prepare/builders.hpp"

namespace pyxa {

Status build_fill(uint8_t, const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*) {
    return NOT_IMPLEMENTED;
}

}  // namespace pyxa
