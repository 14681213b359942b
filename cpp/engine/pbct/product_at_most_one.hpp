#pragma once
// At most one literal true with the product encoding: the literals fill a grid
// of `rows` rows, each implies its row's and its column's auxiliary, and at
// most one row and one column may be set. 2n clauses plus the two smaller
// at-most-one constraints; unit propagation sees every conflict.

#include <cstddef>
#include <span>

#include "engine/pbct/clause_writer.hpp"

namespace kelvo {

// Columns of the grid for n literals in `rows` rows.
std::size_t product_columns(std::size_t literal_count, std::size_t rows);

// 2 <= rows, 2 <= product_columns(literals.size(), rows).
void encode_product_at_most_one(std::span<const Literal> literals, std::size_t rows, ClauseWriter& writer);

}  // namespace kelvo
