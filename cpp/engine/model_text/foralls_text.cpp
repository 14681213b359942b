#include "engine/model_text/foralls_text.hpp"

#include <unordered_map>

#include "engine/model_text/model_text_evaluator.hpp"
#include "engine/model_text/model_text_tokenizer.hpp"
#include "engine/support/text_characters.hpp"

namespace kelvo::model_text {

namespace {

constexpr std::string_view prefix = "Foralls:";
constexpr int deepest_quoting = 8;

std::vector<Value> values_of(const SyntaxTree& tree, NodeId node, int quoting);

std::vector<Value> values_of_text(const std::string& text, int quoting) {
    if (quoting > deepest_quoting) throw std::invalid_argument("index values quoted too deeply");
    const SyntaxTree inner = parse_expression(text, {.lenient_number_lists = true});
    return values_of(inner, inner.root(), quoting + 1);
}

std::vector<Value> values_of(const SyntaxTree& tree, NodeId node, int quoting) {
    if (tree.node(node).kind == NodeKind::string) return values_of_text(tree.string_value(tree.node(node).value), quoting);
    const std::unordered_map<std::string, std::size_t> no_variables;
    const NameTable names(tree, {}, no_variables);
    Evaluator evaluator(tree, names, {}, {});
    const Value value = evaluator.evaluate_node(node);
    if (const auto* text = std::get_if<StringValue>(&value.content)) return values_of_text(text->text, quoting);
    return integers_of(evaluator, node, value);
}

IndexRange range_of(std::string name, const std::vector<Value>& values) {
    IndexRange range{std::move(name), std::vector<std::int64_t>(values.size(), 0), {}};
    bool wide = false;
    for (std::size_t v = 0; v < values.size(); ++v) {
        if (const auto* number = std::get_if<std::int64_t>(&values[v].content)) {
            range.values[v] = *number;
        } else {
            wide = true;
        }
    }
    if (!wide) return range;
    range.exact_values.reserve(values.size());
    for (const auto& value : values) {
        const auto* number = std::get_if<std::int64_t>(&value.content);
        range.exact_values.push_back(number ? ExactInteger(*number) : std::get<WideInteger>(value.content).value);
    }
    return range;
}

}  // namespace

std::vector<IndexRange> parse_foralls(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    if (text.substr(start, prefix.size()) == prefix) start += prefix.size();
    const std::string_view body = text.substr(start);
    if (body.find_first_not_of(" \t\n") == std::string_view::npos) return {};
    const SyntaxTree tree = parse_expression(body, {.lenient_number_lists = true});
    const Node& root = tree.node(tree.root());
    if (root.kind != NodeKind::dictionary) {
        throw TextError("the foralls must be a dictionary from index name to values", tree.text(), root.position);
    }
    std::vector<IndexRange> ranges;
    const auto children = tree.children(tree.root());
    for (std::size_t i = 0; i + 1 < children.size(); i += 2) {
        const Node& key = tree.node(children[i]);
        std::string name = key.kind == NodeKind::string ? tree.string_value(key.value)
                           : key.kind == NodeKind::name ? tree.symbol(key.value)
                                                        : std::string();
        if (!text::is_identifier(name)) throw TextError("an index name must be an identifier", tree.text(), key.position);
        for (const auto& range : ranges) {
            if (range.name == name) throw TextError("index " + name + " is given twice", tree.text(), key.position);
        }
        ranges.push_back(range_of(std::move(name), values_of(tree, children[i + 1], 0)));
    }
    return ranges;
}

}  // namespace kelvo::model_text
