#include "engine/pbct/pb_constraint.hpp"

#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace kelvo {

namespace {

void check_literals(std::span<const WeightedLiteral> terms) {
    for (const auto& term : terms) {
        if (term.literal == 0 || term.literal == std::numeric_limits<Literal>::min()) {
            throw std::invalid_argument("literal " + std::to_string(term.literal) + " is not a literal");
        }
    }
}

}  // namespace

WeightedLiteral weighted_variable(std::int64_t number, std::int64_t coefficient) {
    if (number <= 0) {
        throw std::invalid_argument("variable number " + std::to_string(number) +
                                    " is not positive: variables are numbered from 1");
    }
    if (number > std::numeric_limits<Literal>::max()) {
        throw std::invalid_argument("variable number " + std::to_string(number) + " is out of the 32-bit range");
    }
    return {static_cast<Literal>(number), coefficient};
}

PBConstraint::PBConstraint(std::vector<WeightedLiteral> terms, Comparator comparator, std::int64_t bound)
    : terms_(std::move(terms)), comparator_(comparator), upper_(bound), lower_(bound) {
    check_literals(terms_);
}

PBConstraint::PBConstraint(std::vector<WeightedLiteral> terms, std::int64_t upper, std::int64_t lower)
    : terms_(std::move(terms)), comparator_(Comparator::both), upper_(upper), lower_(lower) {
    check_literals(terms_);
}

}  // namespace kelvo
