#pragma once
// At most one literal true, with the fewest clauses of the encodings that
// unit propagation enforces fully: pairwise exclusions, the sequential chain,
// or the product grid (recursively, for large sets).

#include <cstdint>
#include <span>

#include "engine/pbct/clause_writer.hpp"

namespace kelvo {

// Clauses encode_at_most_one writes for that many literals.
std::int64_t at_most_one_clause_count(std::size_t literal_count);

void encode_at_most_one(std::span<const Literal> literals, ClauseWriter& writer);

}  // namespace kelvo
