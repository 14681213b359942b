#pragma once
// A clause template as the engine's reader gives it, as data: each distinct
// literal once, positive, with its kind and value, an occurrence's index
// values as affine forms, and the clauses referring to the literals by
// position. The kernels instantiate it without reading any text; its literal
// texts are printed only for the host's evaluation of index values past 64 bits.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kernels/clause_assembly/variable_shape.hpp"

namespace vx {

enum class StructuredKind : std::uint8_t { cell, occurrence, pbct_auxiliary, bxpr_auxiliary };

struct StructuredTemplate {
    std::span<const std::uint8_t> kinds;  // StructuredKind per distinct literal
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
    [[nodiscard]] std::span<const std::int64_t> forms_of(std::size_t literal) const {
        const auto begin = literal == 0 ? 0 : form_ends[literal - 1];
        return forms.subspan(static_cast<std::size_t>(begin), static_cast<std::size_t>(form_ends[literal] - begin));
    }
};

// The template's clauses as literal texts ("x(2 * i - j + 1,0)", "-x(3,4)",
// "'_pbct_aux_0'"), variables named by position, cells by their number as
// the shapes number them.
std::vector<std::vector<std::string>> clause_texts_of(const StructuredTemplate& structure,
                                                      std::span<const VariableShape> variables,
                                                      std::span<const std::string> index_names);

}  // namespace vx
