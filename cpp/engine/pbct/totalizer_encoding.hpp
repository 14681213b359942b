#pragma once
// At most k literals true with a k-bounded totalizer: a balanced tree whose
// nodes count their leaves in unary, capped at k + 1. Unit propagation
// enforces the bound fully.

#include <cstdint>
#include <span>

#include "engine/pbct/clause_writer.hpp"

namespace kelvo {

// Clauses the encoding writes, computed without writing them.
std::int64_t totalizer_clause_count(std::size_t literal_count, std::size_t k);

// 1 <= k < literals.size().
void encode_totalizer_at_most(std::span<const Literal> literals, std::size_t k, ClauseWriter& writer);

}  // namespace kelvo
