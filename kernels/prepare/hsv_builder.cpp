// PLACEHOLDER: replaced by the hsv family's builder.
#include "kernels/prepare/builders.hpp"

namespace pyxa {

Status build_hue_sat_map(uint8_t, const AttrList&, const TensorDesc*, const TensorDesc&, KernelStep*) {
    return NOT_IMPLEMENTED;
}

}  // namespace pyxa
