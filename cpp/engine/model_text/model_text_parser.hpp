#pragma once
// The syntax tree of a model text, read by a recursive-descent parser. Sums
// and differences are one n-ary node however many terms they hold, so a sum
// of any length costs no depth; nesting deeper than max_nesting, or deeper
// than the thread's stack allows, is refused with a clean error.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kelvo::model_text {

enum class NodeKind : std::uint8_t {
    integer,        // value
    wide_integer,   // value: index into strings, the decimal digits of an integer past 64 bits
    decimal,        // value: index into strings, the float's text
    none,
    name,           // value: symbol
    string,         // value: index into strings
    attribute,      // child 0: object; value: symbol of the attribute
    call,           // child 0: callee; children 1..: arguments (maybe starred)
    starred,        // child 0
    list,           // children: elements
    tuple,          // children: elements
    comprehension,  // child 0: element; then (name, iterable) per for-clause
    sum,            // children: operands, subtracted ones wrapped in `negated`
    negated,        // child 0 (unary minus too)
    positive,       // child 0 (unary plus)
    invert,         // child 0 (~)
    product,        // children 0, 1
    power,          // children 0, 1
    bit_and,        // children 0, 1
    bit_or,         // children 0, 1
    bit_xor,        // children 0, 1
    dictionary,     // children: key, value, key, value, ...
};

struct Node {
    NodeKind kind;
    std::uint32_t position;
    std::int64_t value;
    std::uint32_t first;  // first child in the child list
    std::uint32_t count;
};

using NodeId = std::uint32_t;

class SyntaxTree {
public:
    [[nodiscard]] const Node& node(NodeId id) const { return nodes_[id]; }
    [[nodiscard]] std::span<const NodeId> children(NodeId id) const {
        return {children_.data() + nodes_[id].first, nodes_[id].count};
    }
    [[nodiscard]] NodeId root() const { return root_; }
    [[nodiscard]] const std::vector<std::string>& symbols() const { return symbols_; }
    [[nodiscard]] const std::string& symbol(std::int64_t id) const { return symbols_[static_cast<std::size_t>(id)]; }
    [[nodiscard]] const std::string& string_value(std::int64_t id) const { return strings_[static_cast<std::size_t>(id)]; }
    [[nodiscard]] std::size_t size() const { return nodes_.size(); }
    [[nodiscard]] const std::string& text() const { return text_; }

private:
    friend class Parser;
    std::string text_;
    std::vector<Node> nodes_;
    std::vector<NodeId> children_;
    std::vector<std::string> symbols_;
    std::unordered_map<std::string, std::int64_t> symbol_ids_;
    std::vector<std::string> strings_;
    NodeId root_ = 0;
};

inline constexpr std::size_t max_nesting = 100'000;

struct ParseOptions {
    // Lists whose numbers are separated by blanks only, as NumPy prints them.
    bool lenient_number_lists = false;
};

// Reads one expression; throws TextError for anything else.
SyntaxTree parse_expression(std::string_view text, ParseOptions options = {});


}  // namespace kelvo::model_text
