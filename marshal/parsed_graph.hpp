// The engine-side copy of a graph description. It owns every list, string and
// attribute payload, and offers the read-only Graph view whose pointers lead
// into its own stores; the engine borrows it for one call.
#pragma once

#include <Python.h>

#include <string>
#include <vector>

#include "core/records.hpp"

namespace pyxa {

struct ParsedAttr {
    std::string name;
    AttrItem item{};  // type, count and scalar value; pointers set by finish()
    std::string text;
    std::vector<int32_t> ints;
    std::vector<float> floats;
    std::vector<double> doubles;
};

struct ParsedNode {
    uint32_t id = 0;
    std::string op;
    std::vector<uint32_t> inputs;
    std::vector<uint32_t> outputs;
    std::vector<ParsedAttr> attrs;
    std::vector<AttrItem> items;
};

class ParsedGraph {
public:
    ParsedGraph() = default;
    // The view points into this object, so it never moves.
    ParsedGraph(const ParsedGraph&) = delete;
    ParsedGraph& operator=(const ParsedGraph&) = delete;

    std::vector<TensorDesc> descs;
    std::vector<uint32_t> inputs;
    std::vector<uint32_t> outputs;
    std::vector<ParsedNode> nodes;

    // Builds the attribute items and node records; nothing may be added after.
    void finish();
    const Graph& graph() const { return graph_; }

private:
    std::vector<GraphNode> records_;
    Graph graph_{};
};

// Parses a graph description into `out`; throws py::ErrorSet with the Python
// exception set on the first problem.
void parse_graph(PyObject* graph, ParsedGraph& out);

// Parses a node's attrs dict, appending one ParsedAttr per entry in dict order.
void parse_attrs(PyObject* attrs, std::vector<ParsedAttr>& out);

// Converts one attribute value by the first matching rule.
void parse_attr_value(PyObject* value, ParsedAttr& out);

// Parses a list/tuple/Sequence of tensor ids.
std::vector<uint32_t> parse_id_list(PyObject* seq);

}  // namespace pyxa
