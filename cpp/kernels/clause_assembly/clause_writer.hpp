#pragma once
// Numbers the literals of instantiated clauses, sorts each clause by absolute
// literal and collects the clauses flat (one literal array plus offsets), the
// form in which the engine storage takes them in bulk.

#include <cstdint>
#include <span>
#include <vector>

#include "kernels/clause_assembly/auxiliary_literal.hpp"

namespace vx {

using Literal = std::int32_t;

// The first occurrence of an auxiliary variable: its instance and its slot in
// the instance's block.
struct AuxiliaryUse {
    std::int64_t instance;
    std::int64_t slot;
};

struct InstantiatedClauses {
    std::vector<Literal> literals;
    std::vector<std::int64_t> offsets{0};
    // One weight per clause for a soft constraint; empty for a hard one.
    std::vector<std::uint64_t> weights;
    // In order of first occurrence: instances in order, then literal order.
    std::vector<AuxiliaryUse> auxiliaries;

    [[nodiscard]] std::size_t clause_count() const { return offsets.size() - 1; }
};


class ClauseWriter {
public:
    // weights: one per template clause for a soft constraint, empty for a hard one.
    ClauseWriter(const AuxiliaryBlock& block, std::span<const std::uint64_t> weights);

    void reserve(std::size_t clauses, std::size_t literals);
    void begin_instance(std::int64_t instance);
    // A signed variable number. Throws std::invalid_argument for 0 or a number
    // beyond 32 bits.
    void add_variable_literal(std::int64_t literal);
    void add_auxiliary_literal(const AuxiliaryLiteral& literal);
    // Ends the clause at the given position of the template.
    void end_clause(std::size_t position);

    [[nodiscard]] InstantiatedClauses take() { return std::move(result_); }

private:
    void append(std::int64_t literal);

    AuxiliaryBlock block_;
    std::span<const std::uint64_t> weights_;
    std::int64_t instance_ = 0;
    // The instance in which each slot was last seen, for first occurrences.
    std::vector<std::int64_t> seen_in_;
    std::size_t clause_begin_ = 0;
    InstantiatedClauses result_;
};

}  // namespace vx
