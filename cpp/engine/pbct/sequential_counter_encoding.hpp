#pragma once
// At most k literals true with a sequential counter: for every prefix of the
// literals, its count in unary up to k; the literal that would take a prefix
// past k is refused. Unit propagation enforces the bound fully.

#include <cstdint>
#include <span>

#include "engine/pbct/clause_writer.hpp"

namespace kelvo {

// Clauses the encoding writes, computed without writing them.
std::int64_t sequential_counter_clause_count(std::size_t literal_count, std::size_t k);

// 1 <= k < literals.size().
void encode_sequential_counter_at_most(std::span<const Literal> literals, std::size_t k, ClauseWriter& writer);

}  // namespace kelvo
