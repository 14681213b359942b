#pragma once
// at_least <= count of true literals <= at_most with a totalizer: a balanced
// tree whose nodes count their leaves in unary, capped at at_most + 1. With a
// lower bound the outputs below it are exact (they also imply their count
// downwards), and the root compares its two halves with both bounds. Unit
// propagation enforces both bounds fully.

#include <cstdint>
#include <span>

#include "engine/pbct/clause_writer.hpp"

namespace kelvo {

// Clauses the encoding writes, computed without writing them.
std::int64_t totalizer_clause_count(std::size_t literal_count, std::size_t at_most, std::size_t at_least);

// 1 <= at_most < literals.size(); at_least <= at_most (0: no lower bound).
void encode_totalizer(std::span<const Literal> literals, std::size_t at_most, std::size_t at_least,
                      ClauseWriter& writer);

}  // namespace kelvo
