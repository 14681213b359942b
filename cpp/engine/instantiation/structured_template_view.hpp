#pragma once
// A clause template as data, seen through spans: each distinct literal once,
// positive, with its kind and value, an occurrence's index values as affine
// forms, and the clauses referring to the literals by position. The engine's
// reader gives it as StructuredClauseTemplate; the kernels receive the same
// arrays from the package.

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvo {

enum class TemplateLiteralKind : std::uint8_t { cell, occurrence, pbct_auxiliary, bxpr_auxiliary };

struct StructuredTemplateView {
    std::span<const std::uint8_t> kinds;  // TemplateLiteralKind per distinct literal
    // A cell: its number; an occurrence: its variable's position; an auxiliary: n of its kind.
    std::span<const std::int64_t> values;
    // Literal l's forms at forms[form_ends[l - 1] .. form_ends[l]) (from 0 for
    // l = 0): per dimension a constant, then one coefficient per index.
    std::span<const std::int64_t> forms;
    std::span<const std::int64_t> form_ends;
    std::span<const std::int32_t> literals;  // +-(1 + position of the distinct literal)
    std::span<const std::int64_t> ends;      // clause c ends before literals[ends[c]]
    std::size_t index_count = 0;

    // Throws std::invalid_argument unless the arrays agree with each other.
    void check() const;
    [[nodiscard]] TemplateLiteralKind kind(std::size_t literal) const {
        return static_cast<TemplateLiteralKind>(kinds[literal]);
    }
    [[nodiscard]] std::span<const std::int64_t> forms_of(std::size_t literal) const {
        const auto begin = literal == 0 ? 0 : form_ends[literal - 1];
        return forms.subspan(static_cast<std::size_t>(begin), static_cast<std::size_t>(form_ends[literal] - begin));
    }
};

// The position of the distinct literal a clause literal refers to, and whether it is negated.
inline std::size_t distinct_position(std::int32_t reference) {
    return static_cast<std::size_t>(reference < 0 ? -static_cast<std::int64_t>(reference) : reference) - 1;
}

}  // namespace kelvo
