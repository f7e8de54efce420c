// Small graph builder for the engine's C++ tests: owns the id lists, nodes and
// descriptions that a Graph points into.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/records.hpp"

namespace pyxa::testing {

struct TestGraph {
    std::vector<TensorDesc> descs;
    std::vector<uint32_t> inputs, outputs;
    std::deque<std::vector<uint32_t>> id_lists;
    std::deque<std::string> ops;
    std::vector<GraphNode> nodes;

    TensorDesc& tensor(uint32_t id, uint64_t h, uint64_t w, uint64_t c = 1, int32_t dtype = UINT8) {
        TensorDesc d;
        d.id = id;
        d.height = h;
        d.width = w;
        d.channels = c;
        d.dtype = dtype;
        d.stride = packed_row_size(dtype, w, c);
        d.canvas_width = w;
        d.canvas_height = h;
        descs.push_back(d);
        return descs.back();
    }

    GraphNode& node(const std::string& op, std::vector<uint32_t> ins, std::vector<uint32_t> outs, uint32_t id = 0) {
        ops.push_back(op);
        id_lists.push_back(std::move(ins));
        const auto& i = id_lists.back();
        id_lists.push_back(std::move(outs));
        const auto& o = id_lists.back();
        GraphNode n;
        n.op = ops.back().c_str();
        n.op_len = ops.back().size();
        n.inputs = i.data();
        n.input_count = i.size();
        n.outputs = o.data();
        n.output_count = o.size();
        n.id = id;
        nodes.push_back(n);
        return nodes.back();
    }

    Graph graph() const {
        Graph g;
        g.tensor_descs = descs.data();
        g.tensor_desc_count = descs.size();
        g.inputs = inputs.data();
        g.input_count = inputs.size();
        g.outputs = outputs.data();
        g.output_count = outputs.size();
        g.nodes = nodes.data();
        g.node_count = nodes.size();
        return g;
    }

    const TensorDesc* desc(uint32_t id) const {
        for (const auto& d : descs)
            if (d.id == id) return &d;
        return nullptr;
    }
};

// A binding over caller memory that matches a description.
inline TensorBinding bind(const TensorDesc& d, std::vector<uint8_t>& mem) {
    mem.assign(d.height * d.stride, 0);
    TensorBinding b;
    b.data = mem.data();
    b.height = d.height;
    b.width = d.width;
    b.channels = d.channels;
    b.dtype = d.dtype;
    b.row_stride = d.stride;
    b.tensor_id = d.id;
    return b;
}

}  // namespace pyxa::testing
