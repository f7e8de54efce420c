// PLACEHOLDER: replaced by the pad family's builder.
#include "kernels/prepare/builders.hpp"

namespace pyxa {

Status build_pad(uint8_t, const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*) {
    return NOT_IMPLEMENTED;
}

}  // namespace pyxa
