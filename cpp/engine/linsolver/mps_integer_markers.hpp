#pragma once
// HiGHS's MPS writer declares integrality by markers around the integer
// columns, but skips its marker test for a column without entries (in no
// row, no cost): such a column lands inside or outside the markers by where
// it stands, and every reader takes it for the other kind. The COLUMNS
// section is rewritten here with markers set by each column's own kind.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kelvo {

// The MPS text with its COLUMNS section's markers replaced: column k (the
// k-th name of the section) lies inside INTORG/INTEND markers exactly when
// integer[k] is nonzero. Throws std::invalid_argument when the section does
// not name integer.size() columns.
std::string with_exact_integer_markers(std::string_view mps, std::span<const std::uint8_t> integer);

}  // namespace kelvo
