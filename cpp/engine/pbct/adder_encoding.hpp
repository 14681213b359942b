#pragma once
// Binary adder network: the weighted sum is added up with full and half adders
// along a balanced tree over the terms, and its binary result compared with
// the bound(s).

#include <cstdint>
#include <optional>
#include <span>

#include "engine/pbct/clause_writer.hpp"
#include "engine/pbct/pb_normalisation.hpp"

namespace kelvo {

// lower <= sum <= upper (upper always set). Adders are encoded in full: with
// one-directional clauses a solver must guess the sum bits and, near the bound,
// searches long even when all inputs are fixed.
void encode_with_adders(std::span<const WeightedTerm> terms, std::int64_t upper, std::optional<std::int64_t> lower,
                        ClauseWriter& writer);

}  // namespace kelvo
