// Arrays whose data pointer is not a multiple of their element size, which
// NumPy allows, reach the engine as aligned stand-ins, since kernels read and
// write elements through typed pointers.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/records.hpp"

namespace pyxa {

class AlignedStandIns {
public:
    // Takes the bindings of one call; a misaligned input is copied once into
    // an aligned buffer, a misaligned output gets an aligned buffer holding its
    // current bytes. Raises MemoryError when a buffer cannot be had.
    AlignedStandIns(const std::vector<TensorBinding>& inputs, const std::vector<TensorBinding>& outputs);

    const std::vector<TensorBinding>& inputs() const { return inputs_; }
    const std::vector<TensorBinding>& outputs() const { return outputs_; }

    // After a successful call: the output stand-ins' rows go to the caller's
    // arrays. A failed call writes nothing.
    void copy_back() const;

private:
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    struct StandIn {
        TensorBinding caller;  // where the rows live for the caller
        std::unique_ptr<uint8_t, Free> buffer;
    };
    static std::vector<StandIn> replace_misaligned(std::vector<TensorBinding>& bindings);

    std::vector<TensorBinding> inputs_, outputs_;
    std::vector<StandIn> input_copies_, output_copies_;
};

}  // namespace pyxa
