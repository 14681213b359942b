#pragma once
// at_least <= count of true literals <= at_most as one structure, with the
// encoding that suits the bounds and the set: unit clauses, a single clause,
// an at-most-one encoding, a sequential counter or a totalizer read at both
// bounds, or, where those would be many times larger, the adder network with
// its one comparison.

#include <cstddef>
#include <span>

#include "engine/pbct/clause_writer.hpp"

namespace kelvo {

// at_least <= at_most < literals.size(); at_least = 0: no lower bound.
void encode_cardinality(std::span<const Literal> literals, std::size_t at_most, std::size_t at_least,
                        ClauseWriter& writer);

}  // namespace kelvo
