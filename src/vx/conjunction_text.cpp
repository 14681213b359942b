#include "vx/conjunction_text.hpp"

#include <algorithm>

namespace vx {

namespace {

std::string_view without_parentheses(std::string_view text) {
    return text.size() >= 2 ? text.substr(1, text.size() - 2) : text;
}

// Calls part(piece) for each piece of text between separators.
template <typename Part>
void for_each_piece(std::string_view text, std::string_view separator, const Part& part) {
    for (;;) {
        const auto end = text.find(separator);
        part(text.substr(0, end));
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + separator.size());
    }
}

std::string template_literal(std::string_view literal) {
    if (literal.find('(') == std::string_view::npos) {
        std::string quoted;
        quoted.reserve(literal.size() + 2);
        quoted += '\'';
        quoted += literal;
        quoted += '\'';
        return quoted;
    }
    std::string call(literal);
    std::replace(call.begin(), call.end(), '~', '-');
    return call;
}

std::vector<std::string> clause_of_text(std::string_view clause) {
    std::vector<std::string> literals;
    if (clause.empty() || clause.front() != '(') {
        literals.push_back(template_literal(clause));
        return literals;
    }
    for_each_piece(without_parentheses(clause), " | ",
                   [&literals](std::string_view literal) { literals.push_back(template_literal(literal)); });
    return literals;
}

}  // namespace

std::vector<std::vector<std::string>> clause_template_of_text(std::string_view text, bool conjunction) {
    std::vector<std::vector<std::string>> clauses;
    if (!conjunction) {
        clauses.push_back(clause_of_text(text));
        return clauses;
    }
    for_each_piece(without_parentheses(text), " & ",
                   [&clauses](std::string_view clause) { clauses.push_back(clause_of_text(clause)); });
    return clauses;
}

}  // namespace vx
