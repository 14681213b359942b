#pragma once
// At most one literal true with a sequential chain: 3n - 4 clauses, n - 2
// auxiliaries; unit propagation sees every conflict.

#include <span>

#include "engine/pbct/clause_writer.hpp"

namespace kelvo {

// literals.size() >= 2.
void encode_sequential_at_most_one(std::span<const Literal> literals, ClauseWriter& writer);

}  // namespace kelvo
