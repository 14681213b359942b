#pragma once
// Clauses of formula references gathered flat, then made into and_s of one
// or_s per clause. A clause of distinct variables (each possibly negated, no
// complementary pair) is already simplified, so its disjunction is made
// directly with the node table's slot loaded a few clauses ahead: encoders
// write millions of such clauses.

#include <cstddef>
#include <span>
#include <vector>

#include "engine/bxpr/boolean_expression.hpp"

namespace kelvo::bxpr {

// Clauses up to this length are checked pair by pair; longer ones by marks.
inline constexpr std::size_t longest_compared_clause = 8;

// A short clause whose literals are of distinct nodes; false for any longer one.
bool has_distinct_nodes(std::span<const Ref> clause);

class ClauseConjunction {
public:
    void reserve(std::size_t clauses, std::size_t literals);
    // Adds a literal to the open clause; variable_literal tells that it is a
    // variable or the negation of one.
    void add(Ref literal, bool variable_literal) {
        literals_.push_back(literal);
        open_is_tidy_ = open_is_tidy_ && variable_literal;
    }
    void close_clause();
    // and_s of the or_s of every clause, the same formula as the general builders make.
    [[nodiscard]] Ref build(Context& context) const;

private:
    std::vector<Ref> literals_;
    std::vector<std::size_t> ends_;
    std::vector<bool> tidy_;
    bool open_is_tidy_ = true;

    [[nodiscard]] std::span<const Ref> clause(std::size_t c) const {
        const std::size_t begin = c == 0 ? 0 : ends_[c - 1];
        return std::span<const Ref>(literals_).subspan(begin, ends_[c] - begin);
    }
};

}  // namespace kelvo::bxpr
