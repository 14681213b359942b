#include "kernels/clause_assembly/structured_template.hpp"

#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "engine/reserved_names.hpp"

namespace vx {

namespace {

std::uint64_t magnitude(std::int64_t value) {
    return value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

// "i", "2 * i - j + 1", "0": as the host reads the index arithmetic back.
std::string affine_text(std::span<const std::int64_t> form, std::span<const std::string> index_names) {
    std::string text;
    for (std::size_t n = 0; n + 1 < form.size(); ++n) {
        const auto coefficient = form[n + 1];
        if (coefficient == 0) continue;
        if (!text.empty()) {
            text += coefficient < 0 ? " - " : " + ";
        } else if (coefficient < 0) {
            text += '-';
        }
        if (magnitude(coefficient) != 1) text += std::to_string(magnitude(coefficient)) + " * ";
        text += index_names[n];
    }
    const auto constant = form[0];
    if (text.empty()) return std::to_string(constant);
    if (constant != 0) text += (constant < 0 ? " - " : " + ") + std::to_string(magnitude(constant));
    return text;
}

std::string cell_text(std::span<const kelvo::VariableCells> variables, std::int64_t number) {
    for (const auto& variable : variables) {
        std::int64_t cells = 1;
        for (const auto size : variable.sizes) cells *= size;
        if (number < variable.first || number - variable.first >= cells) continue;
        std::int64_t offset = number - variable.first;
        std::string values;
        for (std::size_t d = 0; d < variable.sizes.size(); ++d) {
            cells /= variable.sizes[d];
            if (d > 0) values += ',';
            values += std::to_string(offset / cells);
            offset %= cells;
        }
        return variable.name + "(" + values + ")";
    }
    throw std::invalid_argument("number " + std::to_string(number) + " is no cell of the variables");
}

std::string literal_text(const kelvo::StructuredTemplateView& structure, std::size_t literal,
                         std::span<const kelvo::VariableCells> variables, std::span<const std::string> index_names) {
    const auto value = structure.values[literal];
    switch (structure.kind(literal)) {
        case kelvo::TemplateLiteralKind::cell: return cell_text(variables, value);
        case kelvo::TemplateLiteralKind::occurrence: {
            if (value < 0 || static_cast<std::size_t>(value) >= variables.size()) {
                throw std::invalid_argument("variable position " + std::to_string(value) + " names no variable");
            }
            const auto forms = structure.forms_of(literal);
            const auto width = structure.index_count + 1;
            std::string text = variables[static_cast<std::size_t>(value)].name + "(";
            for (std::size_t start = 0; start + width <= forms.size(); start += width) {
                if (start > 0) text += ',';
                text += affine_text(forms.subspan(start, width), index_names);
            }
            return text + ")";
        }
        case kelvo::TemplateLiteralKind::pbct_auxiliary: return std::string(kelvo::pbct_auxiliary_prefix) + "_" + std::to_string(value);
        case kelvo::TemplateLiteralKind::bxpr_auxiliary: break;
    }
    return std::string(kelvo::bxpr_auxiliary_prefix) + "_" + std::to_string(value);
}

}  // namespace

std::vector<std::vector<std::string>> clause_texts_of(const kelvo::StructuredTemplateView& structure,
                                                      std::span<const kelvo::VariableCells> variables,
                                                      std::span<const std::string> index_names) {
    structure.check();
    if (index_names.size() != structure.index_count) throw std::invalid_argument("one name per index is expected");
    std::vector<std::string> positive;
    positive.reserve(structure.kinds.size());
    for (std::size_t l = 0; l < structure.kinds.size(); ++l) {
        positive.push_back(literal_text(structure, l, variables, index_names));
    }
    std::vector<std::vector<std::string>> clauses;
    clauses.reserve(structure.ends.size());
    std::size_t begin = 0;
    for (const auto end : structure.ends) {
        auto& clause = clauses.emplace_back();
        for (auto l = begin; l < static_cast<std::size_t>(end); ++l) {
            const auto reference = structure.literals[l];
            const auto position = static_cast<std::size_t>(reference < 0 ? -static_cast<std::int64_t>(reference) : reference) - 1;
            const bool auxiliary = structure.kinds[position] >= static_cast<std::uint8_t>(kelvo::TemplateLiteralKind::pbct_auxiliary);
            // As the host's template writes them: a call with "-" for negation, an auxiliary quoted.
            if (auxiliary) {
                clause.push_back(std::string(reference < 0 ? "'~" : "'") + positive[position] + "'");
            } else {
                clause.push_back((reference < 0 ? "-" : "") + positive[position]);
            }
        }
        begin = static_cast<std::size_t>(end);
    }
    return clauses;
}

}  // namespace vx
