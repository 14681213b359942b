#include "engine/pbct/pb_normalisation.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace kelvo {

namespace {

using Wide = __int128;

// The limit keeps every sum the encodings form (weights, bounds, offsets of
// signed digits) inside 64 bits.
constexpr Wide largest_total = Wide{1} << 61;

struct Merged {
    std::vector<WeightedTerm> terms;  // weights > 0, distinct variables
    Wide constant = 0;                // sum = constant + weighted terms
};

// x appearing as x and as -x: c·(-x) = c - c·x. Negative weights: w·x = w + |w|·(-x).
Merged merge_variables(std::span<const WeightedLiteral> input) {
    struct Entry {
        Literal variable;
        Wide coefficient;
    };
    std::vector<Entry> entries;
    entries.reserve(input.size());
    Wide constant = 0;
    for (const auto& term : input) {
        if (term.literal > 0) {
            entries.push_back({term.literal, term.coefficient});
        } else {
            entries.push_back({-term.literal, -Wide{term.coefficient}});
            constant += term.coefficient;
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.variable < b.variable; });
    Merged merged;
    for (std::size_t i = 0; i < entries.size();) {
        Wide coefficient = 0;
        const auto variable = entries[i].variable;
        for (; i < entries.size() && entries[i].variable == variable; ++i) coefficient += entries[i].coefficient;
        if (coefficient == 0) continue;
        const Wide magnitude = coefficient > 0 ? coefficient : -coefficient;
        if (magnitude > largest_total) throw std::invalid_argument("the coefficients of this constraint are too large");
        if (coefficient > 0) {
            merged.terms.push_back({variable, static_cast<std::int64_t>(magnitude)});
        } else {
            merged.terms.push_back({-variable, static_cast<std::int64_t>(magnitude)});
            constant += coefficient;
        }
    }
    merged.constant = constant;
    return merged;
}

// A bound that can never be violated is kept as the value that always holds
// (upper = total, lower = 0), so forcing terms needs no special cases.
class BoundedSum {
public:
    BoundedSum(std::vector<WeightedTerm> terms, std::optional<Wide> lower, std::optional<Wide> upper)
        : terms_(std::move(terms)) {
        for (const auto& term : terms_) total_ += term.weight;
        if (total_ > largest_total) throw std::invalid_argument("the total weight of this constraint is too large");
        lower_ = lower.value_or(0);
        upper_ = upper.value_or(total_);
        // Heaviest last, so forced terms are popped from the back.
        std::stable_sort(terms_.begin(), terms_.end(),
                  [](const WeightedTerm& a, const WeightedTerm& b) { return a.weight < b.weight; });
    }

    // Propagates, divides and turns a lower bound into an upper one until the
    // sum is in the form the encodings take, then hands it over.
    void settle(NormalisedConstraint& result) {
        while (true) {
            propagate(result);
            if (result.contradiction || (!has_lower() && !has_upper())) return;
            if (!has_upper()) {
                turn_lower_bound_into_upper_bound();
                continue;
            }
            if (divide_by_common_divisor()) continue;
            break;
        }
        result.terms = std::move(terms_);
        result.upper = static_cast<std::int64_t>(upper_);
        if (has_lower()) result.lower = static_cast<std::int64_t>(lower_);
    }

private:
    [[nodiscard]] bool has_lower() const { return lower_ > 0; }
    [[nodiscard]] bool has_upper() const { return upper_ < total_; }

    // Fixes every term whose value the bounds decide. If the heaviest term is
    // not decided, no lighter one is.
    void propagate(NormalisedConstraint& result) {
        while (true) {
            if (upper_ < 0 || lower_ > total_ || lower_ > upper_) {
                result.contradiction = true;
                return;
            }
            if (terms_.empty()) return;
            const auto heaviest = terms_.back();
            if (heaviest.weight > upper_) {
                result.forced.push_back(-heaviest.literal);
            } else if (total_ - heaviest.weight < lower_) {
                result.forced.push_back(heaviest.literal);
                lower_ -= heaviest.weight;
                upper_ -= heaviest.weight;
            } else {
                return;
            }
            total_ -= heaviest.weight;
            terms_.pop_back();
        }
    }

    // sum >= L  <=>  sum over negations <= total - L; weights above L count as L.
    void turn_lower_bound_into_upper_bound() {
        total_ = 0;
        for (auto& term : terms_) {
            term.weight = static_cast<std::int64_t>(std::min<Wide>(term.weight, lower_));
            term.literal = -term.literal;
            total_ += term.weight;
        }
        upper_ = total_ - lower_;
        lower_ = 0;  // capping keeps the order by weight
    }

    // The sum is a multiple of the divisor, so the bounds round inwards.
    bool divide_by_common_divisor() {
        std::int64_t divisor = 0;
        for (const auto& term : terms_) divisor = std::gcd(divisor, term.weight);
        if (divisor <= 1) return false;
        for (auto& term : terms_) term.weight /= divisor;
        total_ /= divisor;
        upper_ /= divisor;                                // floor: upper >= 0
        lower_ = (lower_ + divisor - 1) / divisor;        // ceiling: lower >= 0
        return true;
    }

    std::vector<WeightedTerm> terms_;
    Wide total_ = 0;
    Wide lower_ = 0;
    Wide upper_ = 0;
};

}  // namespace

bool NormalisedConstraint::is_cardinality() const {
    return std::all_of(terms.begin(), terms.end(), [](const WeightedTerm& term) { return term.weight == 1; });
}

NormalisedConstraint normalise(const PBConstraint& constraint) {
    auto merged = merge_variables(constraint.terms());
    std::optional<Wide> lower;
    std::optional<Wide> upper;
    if (constraint.has_lower_bound()) lower = Wide{constraint.lower_bound()} - merged.constant;
    if (constraint.has_upper_bound()) upper = Wide{constraint.upper_bound()} - merged.constant;
    NormalisedConstraint result;
    BoundedSum sum(std::move(merged.terms), lower, upper);
    sum.settle(result);
    return result;
}

}  // namespace kelvo
