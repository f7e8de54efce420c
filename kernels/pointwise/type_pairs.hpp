// The table through which a typed routine is chosen once per step: one
// instantiation of a kernel template per (input, output) pair of uint8,
// uint16 and float32.
#pragma once

#include <cstdint>

#include "kernels/pointwise/isa_dispatch.hpp"

namespace pyxa {

// 0, 1, 2 for uint8, uint16, float32; -1 for any other code.
inline int pointwise_type_index(int64_t dtype) {
    switch (dtype) {
        case UINT8: return 0;
        case UINT16: return 1;
        case FLOAT32: return 2;
        default: return -1;
    }
}

// K<In, Out>::run is the routine of one pair.
template <template <typename, typename> class K>
inline constexpr RoutinePick kTypePairs[3][3] = {
    {routine_for<K<uint8_t, uint8_t>::run>, routine_for<K<uint8_t, uint16_t>::run>,
     routine_for<K<uint8_t, float>::run>},
    {routine_for<K<uint16_t, uint8_t>::run>, routine_for<K<uint16_t, uint16_t>::run>,
     routine_for<K<uint16_t, float>::run>},
    {routine_for<K<float, uint8_t>::run>, routine_for<K<float, uint16_t>::run>,
     routine_for<K<float, float>::run>},
};

// The routine for (in, out), or null when either type has none.
inline PointwiseRun pick_type_pair(const RoutinePick (&table)[3][3], int64_t in, int64_t out, Isa isa) {
    const int i = pointwise_type_index(in);
    const int o = pointwise_type_index(out);
    return (i < 0 || o < 0) ? nullptr : table[i][o](isa);
}

}  // namespace pyxa
