// Pass: how deep calls go.
// Reads: the functions the file defines and the calls in their bodies. Changes: nothing.
// Finds, for each function, how deep the calls under it go, and where its chain passes this
// compiler's limit of 256: the entry point's compile refuses it there (compile.cpp), before the
// back end, whose checks of the call graph grow with its square (a chain of 20,000 functions costs
// it more than its 30 s). Recursion is the back end's to refuse, with its place.
#include <unordered_map>

#include "compile_limits.h"
#include "passes.h"

namespace fxcompiler {

namespace {

struct Node {
    std::string_view name;
    std::vector<std::pair<std::size_t, std::size_t>> calls;  // the callee's node, the call's token
    int depth = 0;                                           // 0: not measured yet; -1: being measured
    std::size_t deepest = 0;                                 // the call to the deepest callee
    bool calls_any = false;
};

}  // namespace

void measure_calls(Unit& unit)
{
    const TokenList& t = unit.tokens;
    const auto bodies = function_bodies(t);
    std::unordered_map<std::string_view, std::size_t> index;  // overloads share a node: by name
    std::vector<Node> nodes;
    for (const auto& body : bodies) {
        if (index.emplace(body.first, nodes.size()).second) nodes.push_back({body.first, {}, 0, 0, false});
    }
    for (const auto& body : bodies) {
        Node& node = nodes[index[body.first]];
        const std::size_t close = t.match(body.second);
        for (std::size_t k = body.second + 1; k < close; ++k) {
            if (!t.ident(k) || !t.is(k + 1, "(") || t.is(k - 1, ".")) continue;
            auto callee = index.find(t.view(k));
            if (callee != index.end()) node.calls.push_back({callee->second, k});
        }
    }
    // Depths without recursion of our own (a chain may be tens of thousands long): a stack of the
    // functions being measured, each with the next call to look at.
    for (std::size_t start = 0; start < nodes.size(); ++start) {
        if (nodes[start].depth) continue;
        std::vector<std::pair<std::size_t, std::size_t>> stack{{start, 0}};
        nodes[start].depth = -1;
        while (!stack.empty()) {
            Node& node = nodes[stack.back().first];
            std::size_t& next = stack.back().second;
            if (next < node.calls.size()) {
                const std::size_t callee = node.calls[next++].first;
                if (nodes[callee].depth == 0) {
                    nodes[callee].depth = -1;
                    stack.push_back({callee, 0});
                }
                continue;
            }
            int depth = 1;
            for (std::size_t c = 0; c < node.calls.size(); ++c) {
                const int d = nodes[node.calls[c].first].depth;  // -1: a recursion, the back end's
                if (d + 1 > depth) {
                    depth = d + 1;
                    node.deepest = c;
                    node.calls_any = true;
                }
            }
            node.depth = depth;
            stack.pop_back();
        }
    }
    for (const Node& node : nodes) {
        CallDepth d;
        d.name = std::string(node.name);
        d.depth = node.depth;
        if (d.depth > limits::MAX_CALL_DEPTH) {
            // Down the deepest chain to the call that passes the limit.
            const Node* at = &node;
            for (int level = 1; level < limits::MAX_CALL_DEPTH && at->calls_any; ++level) {
                at = &nodes[at->calls[at->deepest].first];
            }
            const Token& call = t[at->calls[at->deepest].second];
            d.too_deep = {call.line, call.column, true,
                          "'" + std::string(call.text) + "' : calls nested more than " +
                              std::to_string(limits::MAX_CALL_DEPTH) + " deep"};
        }
        unit.call_depths.push_back(std::move(d));
    }
}

}  // namespace fxcompiler
