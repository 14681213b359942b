#pragma once
// Brings a pseudo-Boolean comparison into the form the encodings work on:
// distinct variables, positive weights without common divisor, no term heavier
// than its bound, and a bound that can still go either way.

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/pbct/pb_constraint.hpp"

namespace kelvo {

struct WeightedTerm {
    Literal literal;
    std::int64_t weight;  // > 0
};

struct NormalisedConstraint {
    // Literals every model must set true, found while normalising.
    std::vector<Literal> forced;
    // Nothing satisfies the comparison (the forced literals may not be set).
    bool contradiction = false;
    // What is left: lower <= sum of terms <= upper. A constraint with only a
    // lower bound is turned into an upper bound over the negated literals, so
    // `lower` is set only together with `upper`. No bound: nothing is left.
    std::vector<WeightedTerm> terms;
    std::optional<std::int64_t> upper;
    std::optional<std::int64_t> lower;

    [[nodiscard]] bool is_cardinality() const;  // every weight is 1
};

NormalisedConstraint normalise(const PBConstraint& constraint);

}  // namespace kelvo
