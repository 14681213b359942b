#include "engine/storage/wcnf_storage.hpp"

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
    const auto lock = lock_for_changing();
    check_literals(clause);
    hard_.append(clause);
    note_literals(clause);
}

void WcnfStorage::insert_prefatory_value(Literal literal) {
    const auto lock = lock_for_changing();
    if (literal == 0) throw std::invalid_argument("prefatory value 0 is not a literal: variables are numbered from 1");
    prefatory_values_.push_back(literal);
}

void WcnfStorage::add_soft_clause(std::span<const Literal> clause, Weight weight) {
    const auto lock = lock_for_changing();
    check_literals(clause);
    soft_.append(clause);
    weights_.push_back(weight);
    note_literals(clause);
}

namespace {

void check_offsets(std::span<const Literal> literals, std::span<const std::int64_t> offsets) {
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
}

std::size_t clause_count_of(std::span<const std::int64_t> offsets) { return offsets.empty() ? 0 : offsets.size() - 1; }

}  // namespace

void WcnfStorage::add_hard_clauses(std::span<const Literal> literals,
                                   std::span<const std::int64_t> offsets) {
    const auto lock = lock_for_changing();
    check_offsets(literals, offsets);
    hard_.append_flat(literals, offsets);
    note_literals(literals);
}

void WcnfStorage::add_soft_clauses(std::span<const Literal> literals, std::span<const std::int64_t> offsets,
                                   std::span<const Weight> weights) {
    const auto lock = lock_for_changing();
    check_offsets(literals, offsets);
    if (weights.size() != clause_count_of(offsets)) {
        throw std::invalid_argument("one weight per clause is expected: " + std::to_string(clause_count_of(offsets)) +
                                    " clauses, " + std::to_string(weights.size()) + " weights");
    }
    soft_.append_flat(literals, offsets);
    weights_.insert(weights_.end(), weights.begin(), weights.end());
    note_literals(literals);
}

void WcnfStorage::add_hard_clauses_shifted(const ClauseBuffer& clauses, Literal above, Literal shift) {
    const auto lock = lock_for_changing();
    const auto before = hard_.literal_count();
    hard_.append_all_shifted(clauses, above, shift);
    note_literals(hard_.literals().subspan(before));
}

void WcnfStorage::merge(const WcnfStorage& other) {
    std::unique_lock mine(mutex_, std::defer_lock);
    std::shared_lock theirs(other.mutex_, std::defer_lock);
    if (&other == this) {
        mine.lock();
    } else {
        std::lock(mine, theirs);
    }
    const std::vector<Weight> other_weights = other.weights_;  // other may be *this
    hard_.append_all(other.hard_);
    soft_.append_all(other.soft_);
    weights_.insert(weights_.end(), other_weights.begin(), other_weights.end());
    largest_variable_ = std::max(largest_variable_, other.largest_variable_);
}

namespace {

void check_range(const ClauseBuffer& buffer, std::size_t first, std::size_t count, const char* kind) {
    if (first > buffer.size() || count > buffer.size() - first) {
        throw std::out_of_range(std::string("clauses ") + std::to_string(first) + " to " +
                                std::to_string(first + count) + " are not among the " +
                                std::to_string(buffer.size()) + " " + kind + " clauses stored");
    }
}

}  // namespace

void WcnfStorage::remove_hard_clauses(std::size_t first, std::size_t count) {
    const auto lock = lock_for_changing();
    check_range(hard_, first, count, "hard");
    hard_.erase(first, count);
    recount_largest_variable();
}

void WcnfStorage::remove_soft_clauses(std::size_t first, std::size_t count) {
    const auto lock = lock_for_changing();
    check_range(soft_, first, count, "soft");
    soft_.erase(first, count);
    weights_.erase(weights_.begin() + static_cast<std::ptrdiff_t>(first),
                   weights_.begin() + static_cast<std::ptrdiff_t>(first + count));
    recount_largest_variable();
}

void WcnfStorage::recount_largest_variable() {
    largest_variable_ = 0;
    note_literals(hard_.literals());
    note_literals(soft_.literals());
}

std::int64_t WcnfStorage::largest_variable() const { return largest_variable_; }

}  // namespace kelvo
