#include "kernels/clause_assembly/conjunction_text.hpp"

#include <stdexcept>

namespace vx {

namespace {

std::string_view without_parentheses(std::string_view text) {
    return text.size() >= 2 ? text.substr(1, text.size() - 2) : text;
}

// The first separator outside parentheses: index texts may hold " & " and " | " ("x(i & 1)").
std::size_t find_outside_parentheses(std::string_view text, std::string_view separator) {
    int depth = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '(') ++depth;
        else if (text[at] == ')') --depth;
        else if (depth == 0 && text.substr(at, separator.size()) == separator) return at;
    }
    return std::string_view::npos;
}

// Calls part(piece) for each piece of text between separators outside parentheses.
template <typename Part>
void for_each_piece(std::string_view text, std::string_view separator, const Part& part) {
    for (;;) {
        const auto end = find_outside_parentheses(text, separator);
        part(text.substr(0, end));
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + separator.size());
    }
}

}  // namespace

std::string template_literal(std::string_view literal) {
    if (literal.find('(') == std::string_view::npos) {
        std::string quoted;
        quoted.reserve(literal.size() + 2);
        quoted += '\'';
        quoted += literal;
        quoted += '\'';
        return quoted;
    }
    // Only the leading "~" is the negation: one inside an index text is the
    // host's bitwise not (x(~i + 4)).
    std::string call(literal);
    if (call.front() == '~') call.front() = '-';
    return call;
}

namespace {

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
    const auto body = without_parentheses(text);
    if (body.empty()) return clauses;  // "()": the empty conjunction has no clauses
    for_each_piece(body, " & ", [&clauses](std::string_view clause) { clauses.push_back(clause_of_text(clause)); });
    return clauses;
}

}  // namespace vx
