// Builders of every op family: each checks a node's attributes and tensor
// descriptions once and fills a KernelStep with its typed routine and parameters.
#pragma once

#include "kernels/prepare/attrs.hpp"
#include "kernels/prepare/kernel_step.hpp"
#include "kernels/prepare/tensor_checks.hpp"

namespace pyxa {

// `input` is null when the node has no inputs; `kernel` is the id within the family.
using Builder = Status (*)(uint8_t kernel, const AttrList& attrs, const TensorDesc* input,
                           const TensorDesc& output, KernelStep* step);

Status build_pointwise(uint8_t kernel, const AttrList& attrs, const TensorDesc* input,
                       const TensorDesc& output, KernelStep* step);      // pointwise_builder.cpp
Status build_hue_sat_map(uint8_t kernel, const AttrList& attrs, const TensorDesc* input,
                         const TensorDesc& output, KernelStep* step);    // hsv_builder.cpp
Status build_normalize_raw(uint8_t kernel, const AttrList& attrs, const TensorDesc* input,
                           const TensorDesc& output, KernelStep* step);  // raw_builder.cpp
Status build_view(uint8_t kernel, const AttrList& attrs, const TensorDesc* input,
                  const TensorDesc& output, KernelStep* step);           // view_builder.cpp
Status build_pad(uint8_t kernel, const AttrList& attrs, const TensorDesc* input,
                 const TensorDesc& output, KernelStep* step);            // pad_builder.cpp
Status build_fill(uint8_t kernel, const AttrList& attrs, const TensorDesc* input,
                  const TensorDesc& output, KernelStep* step);           // fill_builder.cpp
Status build_demosaic(uint8_t kernel, const AttrList& attrs, const TensorDesc* input,
                      const TensorDesc& output, KernelStep* step);       // demosaic_builder.cpp
Status build_orientation(uint8_t kernel, const AttrList& attrs, const TensorDesc* input,
                         const TensorDesc& output, KernelStep* step);    // orientation_builder.cpp

}  // namespace pyxa
