#pragma once
// At most one literal true: pairwise exclusions for a handful of literals,
// a sequential chain above (3n - 4 clauses, n - 1 auxiliaries; unit
// propagation sees every conflict).

#include <span>

#include "engine/pbct/clause_writer.hpp"

namespace kelvo {

void encode_at_most_one(std::span<const Literal> literals, ClauseWriter& writer);

}  // namespace kelvo
