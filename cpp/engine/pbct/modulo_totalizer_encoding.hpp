#pragma once
// At most k literals true with a modulo totalizer: every node of a balanced
// tree counts its leaves as quotient and remainder modulo m, both in unary
// (with a carry between them), so a node needs about m² + (k/m)² clauses
// instead of the plain totalizer's k². For large k it is several times
// smaller; unit propagation is weaker than the plain totalizer's.

#include <cstdint>
#include <span>

#include "engine/pbct/clause_writer.hpp"

namespace kelvo {

struct ModulusChoice {
    std::size_t modulus;
    std::int64_t clauses;
};

// The modulus (2..k) that gives the fewest clauses, and their number; a
// number above clause_cap when no modulus stays within it.
ModulusChoice best_modulus(std::size_t literal_count, std::size_t k, std::int64_t clause_cap);

// 2 <= k < literals.size(), 2 <= modulus <= k.
void encode_modulo_totalizer_at_most(std::span<const Literal> literals, std::size_t k, std::size_t modulus,
                                     ClauseWriter& writer);

}  // namespace kelvo
