#pragma once
// The ranges a constraint holds for, read from the text the model hands over:
// "Foralls: " and the host's text of a dictionary from index name to values.
// Values are read leniently as integer sequences: range(0, 3), [0, 1, 2],
// (0, 1), NumPy's [0 1 2], array([0, 1]) and np.int64(0), and a quoted text
// holding any of these.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/support/exact_integer.hpp"

namespace kelvo::model_text {

struct IndexRange {
    std::string name;
    std::vector<std::int64_t> values;          // 0 where a value passes 64 bits
    std::vector<ExactInteger> exact_values;    // every value, when one of them passes 64 bits; else empty

    [[nodiscard]] bool passes_64_bits() const { return !exact_values.empty(); }
};

// In the dictionary's order, the first index outermost.
std::vector<IndexRange> parse_foralls(std::string_view text);

}  // namespace kelvo::model_text
