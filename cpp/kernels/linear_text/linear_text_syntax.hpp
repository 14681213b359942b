#pragma once
// The syntax tree of a linear model's expression text, for the subset of host
// syntax that the text writes: whole and real numbers, names, calls, lists,
// tuples, list comprehensions with for clauses, unary + and -, and the binary
// + - * % //. A sum of any length is one node, so a row built with + in a loop
// costs no depth. Anything else (other operators, keywords, strings, nesting
// deeper than max_linear_text_depth) is refused with OutsideNativeText: the
// host then reads the text and reports what is wrong with it. So is nesting
// that would come near the end of the calling thread's stack.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

struct OutsideNativeText {};

enum class LinearNodeKind : std::uint8_t {
    integer,        // value: the number
    real,           // value: the number's bits
    name,           // value: symbol
    call,           // children: callee, arguments
    list,           // children: elements
    tuple,          // children: elements
    comprehension,  // children: element, then a name and an iterable for each for clause
    sum,            // children: terms, subtracted ones wrapped in subtracted
    subtracted,     // child 0: a term after "-" in a sum
    negated,        // child 0: after a unary "-"
    product,        // children 0, 1
    remainder,      // children 0, 1
    floor_quotient, // children 0, 1
};

struct LinearNode {
    LinearNodeKind kind;
    std::uint32_t first;  // first child in the child list
    std::uint32_t count;
    std::int64_t value;
};

inline constexpr std::size_t max_linear_text_depth = 1'000;

class LinearSyntaxTree {
public:
    // Throws OutsideNativeText for text outside the subset.
    explicit LinearSyntaxTree(std::string_view text);

    [[nodiscard]] const LinearNode& node(std::uint32_t id) const { return nodes_[id]; }
    [[nodiscard]] std::span<const std::uint32_t> children(std::uint32_t id) const {
        return {children_.data() + nodes_[id].first, nodes_[id].count};
    }
    // Children come before their parent, so a pass in this order sees every
    // child before the node that holds it.
    [[nodiscard]] std::size_t size() const { return nodes_.size(); }
    [[nodiscard]] std::uint32_t root() const { return root_; }
    [[nodiscard]] const std::vector<std::string>& symbols() const { return symbols_; }

private:
    friend class LinearTextParser;
    std::vector<LinearNode> nodes_;
    std::vector<std::uint32_t> children_;
    std::vector<std::string> symbols_;
    std::uint32_t root_ = 0;
};

double real_value(const LinearNode& node);

}  // namespace vx
