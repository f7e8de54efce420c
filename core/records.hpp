// The shared vocabulary of the engine: element types, tensor descriptions,
// attributes, graph nodes, graphs, array bindings and profiling records.
// Plain records that cross from the Python boundary into the engine unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/checked.hpp"
#include "core/row_layout.hpp"
#include "core/status.hpp"
#include "tarnimg_opcodes.h"

namespace pyxa {

enum DType : int32_t { UINT8 = 0, UINT16 = 1, FLOAT16 = 2, FLOAT32 = 3 };

inline bool dtype_valid(int64_t d) { return d >= 0 && d <= 3; }

// The dtype as a graph spells it ("uint8", ...); "unknown" outside 0..3.
inline const char* dtype_name(int64_t d) {
    static constexpr const char* kNames[] = {"uint8", "uint16", "float16", "float32"};
    return dtype_valid(d) ? kNames[d] : "unknown";
}

struct TensorDesc {
    uint32_t id = 0;
    uint64_t height = 0;
    uint64_t width = 0;
    uint64_t channels = 0;
    int32_t dtype = 0;
    uint64_t stride = 0;
    int64_t origin_y = 0;
    int64_t origin_x = 0;
    int64_t canvas_x0 = 0;
    int64_t canvas_y0 = 0;
    uint64_t canvas_width = 0;
    uint64_t canvas_height = 0;

    uint64_t pixel_size() const { return pyxa::pixel_size(dtype, channels); }
    uint64_t packed_row_size() const { return pyxa::packed_row_size(dtype, width, channels); }
};

enum AttrType : int32_t {
    ATTR_INT32 = TARNIMG_ATTR_INT32,
    ATTR_FLOAT32 = TARNIMG_ATTR_FLOAT32,
    ATTR_FLOAT64 = TARNIMG_ATTR_FLOAT64,
    ATTR_INT32_ARRAY = TARNIMG_ATTR_INT32_ARRAY,
    ATTR_FLOAT32_ARRAY = TARNIMG_ATTR_FLOAT32_ARRAY,
    ATTR_FLOAT64_ARRAY = TARNIMG_ATTR_FLOAT64_ARRAY,
    ATTR_STRING = TARNIMG_ATTR_STRING,
};

// A node attribute is an AttrItem (name + AttrValue fields), the same record the
// opcode library receives.
using ::AttrItem;
using ::ImageView;

struct GraphNode {
    const char* op = nullptr;  // NUL-terminated, no NUL inside
    size_t op_len = 0;
    const uint32_t* inputs = nullptr;
    size_t input_count = 0;
    const uint32_t* outputs = nullptr;
    size_t output_count = 0;
    const AttrItem* attrs = nullptr;
    size_t attr_count = 0;
    uint32_t id = 0;
};

struct Graph {
    const TensorDesc* tensor_descs = nullptr;
    size_t tensor_desc_count = 0;
    const uint32_t* inputs = nullptr;
    size_t input_count = 0;
    const uint32_t* outputs = nullptr;
    size_t output_count = 0;
    const GraphNode* nodes = nullptr;
    size_t node_count = 0;
};

// The first six fields are those of an ImageView.
struct TensorBinding {
    void* data = nullptr;
    uint64_t height = 0;
    uint64_t width = 0;
    uint64_t channels = 0;
    int32_t dtype = 0;
    uint64_t row_stride = 0;
    uint32_t tensor_id = 0;

    ImageView view() const { return ImageView{data, height, width, channels, dtype, row_stride}; }
};

struct ProfileEntry {
    uint64_t exclusive_ns = 0;
    uint32_t node_id = 0;
};

using ProfileList = std::vector<ProfileEntry>;

}  // namespace pyxa
