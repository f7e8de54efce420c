// Building the Graph view of a ParsedGraph once parsing is complete.
#include "marshal/parsed_graph.hpp"

namespace pyxa {
namespace {

void point_into_store(ParsedAttr& a) {
    a.item.name = a.name.c_str();
    switch (a.item.type) {
        case ATTR_STRING: a.item.value.ptr = a.text.c_str(); break;
        case ATTR_INT32_ARRAY: a.item.value.ptr = a.ints.data(); break;
        case ATTR_FLOAT32_ARRAY: a.item.value.ptr = a.floats.data(); break;
        case ATTR_FLOAT64_ARRAY: a.item.value.ptr = a.doubles.data(); break;
        default: break;  // scalars live in the item itself
    }
}

}  // namespace

void ParsedGraph::finish() {
    records_.clear();
    records_.reserve(nodes.size());
    for (ParsedNode& n : nodes) {
        n.items.clear();
        n.items.reserve(n.attrs.size());
        for (ParsedAttr& a : n.attrs) {
            point_into_store(a);
            n.items.push_back(a.item);
        }
        GraphNode r;
        r.op = n.op.c_str();
        r.op_len = n.op.size();
        r.inputs = n.inputs.data();
        r.input_count = n.inputs.size();
        r.outputs = n.outputs.data();
        r.output_count = n.outputs.size();
        r.attrs = n.items.data();
        r.attr_count = n.items.size();
        r.id = n.id;
        records_.push_back(r);
    }
    graph_.tensor_descs = descs.data();
    graph_.tensor_desc_count = descs.size();
    graph_.inputs = inputs.data();
    graph_.input_count = inputs.size();
    graph_.outputs = outputs.data();
    graph_.output_count = outputs.size();
    graph_.nodes = records_.data();
    graph_.node_count = records_.size();
}

}  // namespace pyxa
