#pragma once
// A store of hard and weighted soft clauses with the header a CNF/WCNF file
// needs. A storage without soft clauses and without a weight limit is a
// plain CNF; setting the weight limit makes it a WCNF even when every soft
// clause was dropped.
//
// Changes hold the storage exclusively. A reader that runs without the
// interpreter lock (the DIMACS writers) holds it shared for as long as it
// reads, so another thread's change waits instead of moving the clauses
// under it. Readers that hold the interpreter lock need no lock of their own:
// every change is made holding it too.

#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/support/clause_buffer.hpp"

namespace kelvo {

using Weight = std::uint64_t;

class WcnfStorage {
public:
    // Each adder validates first, so a refused call leaves the storage unchanged.
    void add_hard_clause(std::span<const Literal> clause);
    void add_soft_clause(std::span<const Literal> clause, Weight weight);
    // Clauses given as one literal array and clause boundaries: offsets has one
    // entry more than there are clauses, starts at 0 and ends at literals.size().
    void add_hard_clauses(std::span<const Literal> literals, std::span<const std::int64_t> offsets);
    // The same for soft clauses, with one weight per clause.
    void add_soft_clauses(std::span<const Literal> literals, std::span<const std::int64_t> offsets,
                          std::span<const Weight> weights);
    void merge(const WcnfStorage& other);
    // Appends hard clauses of a buffer, literals beyond `above` in magnitude moved `shift` further out.
    void add_hard_clauses_shifted(const ClauseBuffer& clauses, Literal above, Literal shift);
    void reserve_hard(std::size_t clauses, std::size_t literals) {
        const auto lock = lock_for_changing();
        hard_.reserve(clauses, literals);
    }
    // Remove clauses [first, first + count) of one kind; std::out_of_range
    // when the range is not stored.
    void remove_hard_clauses(std::size_t first, std::size_t count);
    void remove_soft_clauses(std::size_t first, std::size_t count);

    void set_model_name(std::string name) {
        const auto lock = lock_for_changing();
        model_name_ = std::move(name);
    }
    void set_variable_count(std::int64_t count) {
        const auto lock = lock_for_changing();
        variable_count_ = count;
    }
    void set_clause_count(std::int64_t count) {
        const auto lock = lock_for_changing();
        clause_count_ = count;
    }
    void set_weight_limit(Weight limit) {
        const auto lock = lock_for_changing();
        weight_limit_ = limit;
        weighted_ = true;
    }
    // std::invalid_argument for literal 0, which names no variable.
    void insert_prefatory_value(Literal literal);

    [[nodiscard]] const std::string& model_name() const { return model_name_; }
    [[nodiscard]] std::int64_t variable_count() const { return variable_count_; }
    [[nodiscard]] std::int64_t clause_count() const { return clause_count_; }
    [[nodiscard]] Weight weight_limit() const { return weight_limit_; }
    [[nodiscard]] const std::vector<Literal>& prefatory_values() const { return prefatory_values_; }

    [[nodiscard]] const ClauseBuffer& hard_clauses() const { return hard_; }
    [[nodiscard]] const ClauseBuffer& soft_clauses() const { return soft_; }
    [[nodiscard]] const std::vector<Weight>& soft_weights() const { return weights_; }
    [[nodiscard]] std::size_t size() const { return hard_.size() + soft_.size(); }
    [[nodiscard]] bool is_weighted() const { return weighted_ || !soft_.empty(); }
    // The largest variable number that occurs in a clause, 0 for none.
    [[nodiscard]] std::int64_t largest_variable() const;

    [[nodiscard]] std::shared_lock<std::shared_mutex> lock_for_reading() const {
        return std::shared_lock(mutex_);
    }

private:
    ClauseBuffer hard_;
    ClauseBuffer soft_;
    std::vector<Weight> weights_;
    std::string model_name_;
    std::int64_t variable_count_ = 0;
    std::int64_t clause_count_ = 0;
    Weight weight_limit_ = 0;
    bool weighted_ = false;
    std::vector<Literal> prefatory_values_;
    std::int64_t largest_variable_ = 0;
    mutable std::shared_mutex mutex_;

    [[nodiscard]] std::unique_lock<std::shared_mutex> lock_for_changing() { return std::unique_lock(mutex_); }

    void note_literals(std::span<const Literal> literals);
    void recount_largest_variable();
};

// Throws std::invalid_argument naming the first literal 0 in the span.
void check_literals(std::span<const Literal> literals);

}  // namespace kelvo
