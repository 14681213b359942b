#pragma once
// The order every instantiation of a clause template follows, the formula
// encoder's and the kernels' alike: the combinations of index values with the
// first index outermost, and each clause sorted by variable.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvo {

// Moves positions to the next combination, the last index fastest; false,
// every position back at 0, after the last.
inline bool next_combination(std::span<std::size_t> positions, std::span<const std::size_t> lengths) {
    for (std::size_t i = positions.size(); i-- > 0;) {
        if (++positions[i] < lengths[i]) return true;
        positions[i] = 0;
    }
    return false;
}

// Stable, so that a literal, its complement and repeats keep their template
// order; clauses are short, and an insertion sort allocates nothing.
inline void sort_by_variable(std::span<std::int32_t> clause) {
    const auto magnitude = [](std::int32_t literal) { return literal < 0 ? -std::int64_t{literal} : literal; };
    const auto by_variable = [&magnitude](std::int32_t a, std::int32_t b) { return magnitude(a) < magnitude(b); };
    if (clause.size() > 16) {
        std::stable_sort(clause.begin(), clause.end(), by_variable);
        return;
    }
    for (std::size_t i = 1; i < clause.size(); ++i) {
        const std::int32_t literal = clause[i];
        std::size_t j = i;
        for (; j > 0 && by_variable(literal, clause[j - 1]); --j) clause[j] = clause[j - 1];
        clause[j] = literal;
    }
}

}  // namespace kelvo
