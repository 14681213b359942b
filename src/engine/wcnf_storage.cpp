#include "engine/wcnf_storage.hpp"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace kelvo {

void check_literals(std::span<const Literal> literals) {
    const auto zero = std::find(literals.begin(), literals.end(), 0);
    if (zero != literals.end()) {
        throw std::invalid_argument("literal 0 at position " +
                                    std::to_string(zero - literals.begin()) +
                                    " is not a literal: variables are numbered from 1");
    }
}

void WcnfStorage::note_literals(std::span<const Literal> literals) {
    for (const auto literal : literals) {
        largest_variable_ = std::max<std::int64_t>(largest_variable_, std::abs(std::int64_t{literal}));
    }
}

void WcnfStorage::add_hard_clause(std::span<const Literal> clause) {
    check_literals(clause);
    hard_.append(clause);
    note_literals(clause);
}

void WcnfStorage::add_soft_clause(std::span<const Literal> clause, Weight weight) {
    check_literals(clause);
    soft_.append(clause);
    weights_.push_back(weight);
    note_literals(clause);
}

void WcnfStorage::add_hard_clauses(std::span<const Literal> literals,
                                   std::span<const std::int64_t> offsets) {
    if (offsets.empty()) {
        if (!literals.empty()) throw std::invalid_argument("offsets must not be empty when literals are given");
        return;
    }
    if (offsets.front() != 0) throw std::invalid_argument("offsets must start at 0");
    if (offsets.back() != static_cast<std::int64_t>(literals.size())) {
        throw std::invalid_argument("the last offset must equal the number of literals (" +
                                    std::to_string(literals.size()) + "), not " +
                                    std::to_string(offsets.back()));
    }
    if (std::adjacent_find(offsets.begin(), offsets.end(),
                           [](std::int64_t a, std::int64_t b) { return b < a; }) != offsets.end()) {
        throw std::invalid_argument("offsets must not decrease");
    }
    check_literals(literals);
    hard_.reserve(offsets.size() - 1, literals.size());
    for (std::size_t c = 0; c + 1 < offsets.size(); ++c) {
        hard_.append(literals.subspan(static_cast<std::size_t>(offsets[c]),
                                      static_cast<std::size_t>(offsets[c + 1] - offsets[c])));
    }
    note_literals(literals);
}

void WcnfStorage::merge(const WcnfStorage& other) {
    const std::vector<Weight> other_weights = other.weights_;  // other may be *this
    hard_.append_all(other.hard_);
    soft_.append_all(other.soft_);
    weights_.insert(weights_.end(), other_weights.begin(), other_weights.end());
    largest_variable_ = std::max(largest_variable_, other.largest_variable_);
}

std::int64_t WcnfStorage::largest_variable() const { return largest_variable_; }

}  // namespace kelvo
