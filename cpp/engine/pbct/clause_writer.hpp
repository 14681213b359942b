#pragma once
// Where one constraint's encoding is staged: clauses and auxiliary numbers are
// drawn here and reach the database and the caller's numberer only when the
// whole encoding fits the clause limit.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>

#include "engine/pbct/aux_var_manager.hpp"
#include "engine/support/clause_buffer.hpp"

namespace kelvo {

class ClauseLimitExceeded : public std::length_error {
public:
    explicit ClauseLimitExceeded(std::int64_t limit)
        : std::length_error("the encoding of this constraint needs more than " + std::to_string(limit) +
                            " clauses, the limit max_clauses_per_constraint = " + std::to_string(limit)) {}
};

class ClauseWriter {
public:
    ClauseWriter(AuxVarManager variables, std::int64_t clause_limit)
        : variables_(variables), clause_limit_(clause_limit) {}

    Literal new_variable() { return variables_.get_variable(); }

    void add(std::initializer_list<Literal> clause) { add(std::span<const Literal>(clause.begin(), clause.size())); }
    void add(std::span<const Literal> clause) {
        if (static_cast<std::int64_t>(clauses_.size()) >= clause_limit_) throw ClauseLimitExceeded(clause_limit_);
        clauses_.append(clause);
    }

    // Keeps what another writer staged from this one's state (its numberer and
    // remaining budget): its clauses follow these, its numberer replaces this one.
    void append(const ClauseWriter& staged) {
        clauses_.append_all(staged.clauses_);
        variables_ = staged.variables_;
    }

    // Refuses early an encoding known to need `count` clauses beyond those written.
    void expect(std::int64_t count) const {
        if (count > clause_limit_ - static_cast<std::int64_t>(clauses_.size())) throw ClauseLimitExceeded(clause_limit_);
    }

    [[nodiscard]] std::int64_t clause_budget() const { return clause_limit_ - static_cast<std::int64_t>(clauses_.size()); }
    [[nodiscard]] const ClauseBuffer& clauses() const { return clauses_; }
    [[nodiscard]] const AuxVarManager& variables() const { return variables_; }

private:
    AuxVarManager variables_;
    std::int64_t clause_limit_;
    ClauseBuffer clauses_;
};

}  // namespace kelvo
