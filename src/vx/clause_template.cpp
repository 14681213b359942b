#include "vx/clause_template.hpp"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace vx {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The name between apostrophes, when the text is a plain quoted name (no
// escapes, no inner quotes).
std::optional<std::string_view> quoted_name(std::string_view text) {
    if (text.size() < 2 || text.front() != '\'' || text.back() != '\'') return std::nullopt;
    const auto inner = text.substr(1, text.size() - 2);
    if (inner.find_first_of("'\\") != std::string_view::npos) return std::nullopt;
    return inner;
}

bool is_identifier(std::string_view word) {
    if (word.empty() || std::isdigit(static_cast<unsigned char>(word[0]))) return false;
    return std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

// The index texts between the parentheses, split at commas outside any
// parentheses; nullopt when they do not balance.
std::optional<std::vector<std::string_view>> call_arguments(std::string_view inside) {
    std::vector<std::string_view> arguments;
    if (trimmed(inside).empty()) return arguments;
    int depth = 0;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < inside.size(); ++i) {
        if (inside[i] == '(') ++depth;
        if (inside[i] == ')' && --depth < 0) return std::nullopt;
        if (inside[i] == ',' && depth == 0) {
            arguments.push_back(inside.substr(begin, i - begin));
            begin = i + 1;
        }
    }
    if (depth != 0) return std::nullopt;
    arguments.push_back(inside.substr(begin));
    return arguments;
}

}  // namespace

void check_auxiliary_literals(std::span<const std::vector<std::string>> clauses, const AuxiliaryBlock& block) {
    for (const auto& clause : clauses) {
        for (const auto& text : clause) {
            if (const auto name = quoted_name(trimmed(text))) parse_auxiliary_literal(*name, block);
        }
    }
}

std::optional<ClauseTemplate> ClauseTemplate::compile(std::span<const std::vector<std::string>> clauses,
                                                      std::span<const std::string> index_names,
                                                      std::span<const VariableShape> variables,
                                                      const AuxiliaryBlock& block) {
    check_auxiliary_literals(clauses, block);
    ClauseTemplate result;
    result.block_ = block;
    result.index_count_ = index_names.size();
    for (const auto& variable : variables) {
        // An index of the same name hides the variable inside the comprehension.
        if (std::find(index_names.begin(), index_names.end(), variable.name) != index_names.end()) continue;
        Shape shape{variable.name, variable.first, variable.sizes, std::vector<std::int64_t>(variable.sizes.size())};
        std::int64_t stride = 1;
        bool fits = true;
        for (std::size_t d = shape.sizes.size(); d-- > 0;) {
            shape.strides[d] = stride;
            fits = fits && shape.sizes[d] >= 0 && !__builtin_mul_overflow(stride, shape.sizes[d], &stride);
        }
        std::int64_t last = 0;
        if (!fits || __builtin_add_overflow(shape.first, stride, &last)) return std::nullopt;
        result.shapes_.push_back(std::move(shape));
    }
    for (const auto& clause : clauses) {
        for (const auto& raw_text : clause) {
            auto text = trimmed(raw_text);
            TemplateLiteral literal;
            if (const auto name = quoted_name(text)) {
                literal.auxiliary = true;
                literal.auxiliary_literal = parse_auxiliary_literal(*name, block);
                result.literals_.push_back(std::move(literal));
                continue;
            }
            if (!text.empty() && text.front() == '-') {
                literal.negated = true;
                text = trimmed(text.substr(1));
            }
            const auto open = text.find('(');
            if (open == std::string_view::npos || text.back() != ')') return std::nullopt;
            const auto name = trimmed(text.substr(0, open));
            if (!is_identifier(name)) return std::nullopt;
            const auto shape = std::find_if(result.shapes_.begin(), result.shapes_.end(),
                                            [&](const Shape& s) { return s.name == name; });
            if (shape == result.shapes_.end()) return std::nullopt;
            const auto arguments = call_arguments(text.substr(open + 1, text.size() - open - 2));
            if (!arguments || arguments->size() != shape->sizes.size()) return std::nullopt;
            literal.call.variable = static_cast<std::size_t>(shape - result.shapes_.begin());
            for (const auto argument : *arguments) {
                auto expression = IndexExpression::parse(argument, index_names);
                if (!expression) return std::nullopt;
                literal.call.indexes.push_back(std::move(*expression));
            }
            result.literals_.push_back(std::move(literal));
        }
        result.clause_ends_.push_back(result.literals_.size());
    }
    return result;
}

}  // namespace vx
