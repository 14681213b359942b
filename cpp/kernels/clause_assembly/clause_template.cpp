#include "kernels/clause_assembly/clause_template.hpp"

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

}  // namespace

void check_auxiliary_literals(std::span<const std::vector<std::string>> clauses, const AuxiliaryBlock& block) {
    for (const auto& clause : clauses) {
        for (const auto& text : clause) {
            if (const auto name = quoted_name(trimmed(text))) parse_auxiliary_literal(*name, block);
        }
    }
}

std::optional<ClauseTemplate> ClauseTemplate::with_shapes(std::size_t index_count,
                                                          std::span<const VariableShape> variables,
                                                          const AuxiliaryBlock& block) {
    ClauseTemplate result;
    result.block_ = block;
    result.index_count_ = index_count;
    for (const auto& variable : variables) {
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
    return result;
}

std::optional<ClauseTemplate::TemplateLiteral> ClauseTemplate::cell_call(std::int64_t number) const {
    for (std::size_t s = 0; s < shapes_.size(); ++s) {
        const auto& shape = shapes_[s];
        const std::int64_t cells = shape.sizes.empty() ? 1 : shape.strides[0] * shape.sizes[0];
        if (number < shape.first || number - shape.first >= cells) continue;
        TemplateLiteral literal;
        literal.call.variable = s;
        std::int64_t offset = number - shape.first;
        for (std::size_t d = 0; d < shape.sizes.size(); ++d) {
            literal.call.indexes.push_back({offset / shape.strides[d], {}});
            offset %= shape.strides[d];
        }
        return literal;
    }
    return std::nullopt;
}

std::optional<ClauseTemplate> ClauseTemplate::compile_structured(const StructuredTemplate& structure,
                                                                 std::span<const VariableShape> variables,
                                                                 const AuxiliaryBlock& block) {
    structure.check();
    auto result = with_shapes(structure.index_count, variables, block);
    if (!result) return std::nullopt;
    result->read_.reserve(structure.kinds.size());
    for (std::size_t l = 0; l < structure.kinds.size(); ++l) {
        result->read_.push_back(result->structured_literal(structure, l));
    }
    result->literals_.reserve(structure.literals.size());
    for (const auto reference : structure.literals) {
        const auto position = static_cast<std::size_t>(reference < 0 ? -static_cast<std::int64_t>(reference) : reference);
        result->literals_.push_back({position - 1, reference < 0});
    }
    result->clause_ends_.assign(structure.ends.begin(), structure.ends.end());
    return result;
}

ClauseTemplate::TemplateLiteral ClauseTemplate::structured_literal(const StructuredTemplate& structure,
                                                                   std::size_t literal) const {
    const auto value = structure.values[literal];
    switch (static_cast<StructuredKind>(structure.kinds[literal])) {
        case StructuredKind::cell: {
            auto call = cell_call(value);
            if (!call) throw std::invalid_argument("number " + std::to_string(value) + " is no cell of the variables");
            return std::move(*call);
        }
        case StructuredKind::occurrence: {
            if (value < 0 || static_cast<std::size_t>(value) >= shapes_.size()) {
                throw std::invalid_argument("variable position " + std::to_string(value) + " names no variable");
            }
            const auto forms = structure.forms_of(literal);
            const auto& shape = shapes_[static_cast<std::size_t>(value)];
            const auto width = index_count_ + 1;
            if (forms.size() != shape.sizes.size() * width) {
                throw std::invalid_argument("an occurrence of " + shape.name + " needs one form per dimension");
            }
            TemplateLiteral occurrence;
            occurrence.call.variable = static_cast<std::size_t>(value);
            for (std::size_t d = 0; d < shape.sizes.size(); ++d) {
                auto& index = occurrence.call.indexes.emplace_back();
                index.constant = forms[d * width];
                for (std::size_t n = 0; n < index_count_; ++n) {
                    if (const auto coefficient = forms[d * width + 1 + n]; coefficient != 0) {
                        index.terms.push_back({n, coefficient});
                    }
                }
            }
            return occurrence;
        }
        case StructuredKind::pbct_auxiliary:
        case StructuredKind::bxpr_auxiliary: break;
    }
    TemplateLiteral auxiliary;
    auxiliary.auxiliary = true;
    auxiliary.auxiliary_literal = auxiliary_literal_of(static_cast<StructuredKind>(structure.kinds[literal]) ==
                                                           StructuredKind::pbct_auxiliary,
                                                       value, block_);
    return auxiliary;
}

}  // namespace vx
