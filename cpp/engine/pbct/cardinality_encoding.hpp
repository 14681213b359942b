#pragma once
// At most k of a set of literals, with the encoding that suits k and the set:
// a single clause, the at-most-one chain, a sequential counter or a totalizer
// (plain or modulo, by clause count). If none fits the clause limit, adders
// are tried.

#include <cstddef>
#include <span>

#include "engine/pbct/clause_writer.hpp"

namespace kelvo {

void encode_at_most(std::span<const Literal> literals, std::size_t k, ClauseWriter& writer);

}  // namespace kelvo
