#pragma once
// at_least <= count of true literals <= at_most with a sequential counter:
// after each prefix of the literals, registers "at least j of them are true"
// for the counts j that can still decide a bound. For the upper bound they are
// implied by the count (the literal that would pass at_most is refused), for
// the lower bound they imply it (a literal left false that would leave
// at_least out of reach is refused): the lower side is the upper one's mirror
// over the negations, on the same registers. The first literal is its own
// register. Unit propagation enforces both bounds fully.

#include <cstdint>
#include <span>

#include "engine/pbct/clause_writer.hpp"

namespace kelvo {

// Clauses the encoding writes, computed without writing them.
std::int64_t sequential_counter_clause_count(std::size_t literal_count, std::size_t at_most, std::size_t at_least);

// 1 <= at_most < literals.size(); at_least <= at_most (0: no lower bound).
void encode_sequential_counter(std::span<const Literal> literals, std::size_t at_most, std::size_t at_least,
                               ClauseWriter& writer);

}  // namespace kelvo
