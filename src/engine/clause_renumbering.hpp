#pragma once
// Clauses with their variables renumbered 1, 2, 3, ... in the order in which
// the variables first occur. A builder that takes one variable per position
// can then turn encoder clauses into a formula with a table of just the
// variables used, and a caller that names new variables sees them in reading
// order.

#include <cstdint>
#include <vector>

#include "engine/clause_buffer.hpp"

namespace kelvo {

struct ClausesByFirstOccurrence {
    // The original number of position k + 1, for every position k.
    std::vector<Literal> variables;
    // Every literal as its signed position, clause after clause.
    std::vector<std::int64_t> literals;
    // Clause c is literals[offsets[c]] up to literals[offsets[c + 1]]; one
    // entry more than there are clauses, from 0 to the number of literals.
    std::vector<std::int64_t> offsets;
};

// Throws std::invalid_argument for a literal 0 or the smallest int32 (which
// has no negation).
ClausesByFirstOccurrence number_by_first_occurrence(const ClauseBuffer& clauses);

}  // namespace kelvo
