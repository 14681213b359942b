#pragma once
// A pseudo-Boolean comparison: a weighted sum of literals bounded from above,
// from below, or from both sides.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/support/clause_buffer.hpp"

namespace kelvo {

enum class Comparator { at_most, at_least, both };

struct WeightedLiteral {
    Literal literal;  // signed: a negative number is the negation of its variable
    std::int64_t coefficient;
};

// A weighted literal over a variable given by its number (from 1 on); refuses
// anything else with std::invalid_argument.
WeightedLiteral weighted_variable(std::int64_t number, std::int64_t coefficient);

class PBConstraint {
public:
    // `at_most` bounds the sum by `bound` from above, `at_least` from below and
    // `both` fixes it to `bound`.
    PBConstraint(std::vector<WeightedLiteral> terms, Comparator comparator, std::int64_t bound);
    // lower <= sum <= upper; the comparator is `both`.
    PBConstraint(std::vector<WeightedLiteral> terms, std::int64_t upper, std::int64_t lower);

    [[nodiscard]] std::span<const WeightedLiteral> terms() const { return terms_; }
    [[nodiscard]] Comparator comparator() const { return comparator_; }
    [[nodiscard]] bool has_upper_bound() const { return comparator_ != Comparator::at_least; }
    [[nodiscard]] bool has_lower_bound() const { return comparator_ != Comparator::at_most; }
    [[nodiscard]] std::int64_t upper_bound() const { return upper_; }
    [[nodiscard]] std::int64_t lower_bound() const { return lower_; }

private:
    std::vector<WeightedLiteral> terms_;
    Comparator comparator_;
    std::int64_t upper_ = 0;
    std::int64_t lower_ = 0;
};

}  // namespace kelvo
