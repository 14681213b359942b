#pragma once
// Instantiates a structured clause template for every combination of index
// values, for the formula encoder and the package's kernels alike: the
// combinations with the first index outermost, each literal numbered from its
// affine forms, each clause sorted by variable, instance k's auxiliaries in
// the k-th block after first_auxiliary.
//
// When every instance is known in advance to stay inside the dimensions and
// the literals, each literal's number is one affine function of the index
// values (the plan); otherwise every instance is numbered with checks, and
// the first that fails is reported as an InstantiationFailure.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/instantiation/instantiation_failure.hpp"
#include "engine/instantiation/structured_template_view.hpp"
#include "engine/instantiation/variable_cells.hpp"
#include "engine/support/clause_buffer.hpp"

namespace kelvo {

// An instance's block of auxiliaries: its pbct ones first, then its bxpr ones.
struct AuxiliarySlots {
    std::int64_t pbct = 0;
    std::int64_t bxpr = 0;

    [[nodiscard]] std::int64_t size() const { return pbct + bxpr; }
};

// Clause c of the instances is literals[offsets[c] .. offsets[c + 1]).
struct FlatClauses {
    std::vector<Literal> literals;
    std::vector<std::int64_t> offsets{0};
};

class TemplateInstantiator {
public:
    // Throws std::invalid_argument for arrays that disagree, a cell no
    // variable has, an occurrence of no variable or without one form per
    // dimension, or an auxiliary outside the slots.
    TemplateInstantiator(const StructuredTemplateView& structure, std::span<const VariableCells> variables,
                         AuxiliarySlots slots);

    // The clauses of every combination of values (one sequence per index).
    // With whole_blocks, every instance's whole block must be literals, used
    // or not; otherwise only the numbers written. Throws InstantiationFailure,
    // std::invalid_argument for the wrong number of sequences and
    // std::length_error for more combinations than 64 bits count.
    [[nodiscard]] FlatClauses instantiate(std::span<const std::vector<std::int64_t>> values,
                                          std::int64_t first_auxiliary, bool whole_blocks) const;

    // Throws std::invalid_argument unless values holds one sequence per index.
    void check_values(std::span<const std::vector<std::int64_t>> values) const;
    // The product of the lengths; throws std::length_error past 64 bits.
    [[nodiscard]] static std::int64_t instance_count(std::span<const std::vector<std::int64_t>> values);

    // The auxiliary slots in the order the clauses first use them, the same in every instance.
    [[nodiscard]] std::span<const std::int64_t> auxiliary_order() const { return auxiliary_order_; }
    [[nodiscard]] std::size_t clause_count() const { return clause_ends_.size(); }
    [[nodiscard]] const AuxiliarySlots& slots() const { return slots_; }

private:
    struct Distinct {
        TemplateLiteralKind kind;
        std::int64_t value;       // a cell's number, an occurrence's variable position, an auxiliary's slot
        std::size_t forms_begin;  // an occurrence's forms in forms_, index_count_ + 1 per dimension
        std::size_t called;       // an occurrence's variable in called_
    };
    struct Use {
        std::uint32_t distinct;
        bool negated;
    };
    struct AffinePlan;

    // The variables the occurrences call, each once: a template calls few of a model's many.
    std::vector<VariableCells> called_;
    AuxiliarySlots slots_;
    std::size_t index_count_ = 0;
    std::vector<Distinct> distinct_;
    std::vector<std::int64_t> forms_;
    std::vector<Use> uses_;
    std::vector<std::size_t> clause_ends_;  // clause c ends before uses_[clause_ends_[c]]
    std::vector<std::int64_t> auxiliary_order_;

    [[nodiscard]] Distinct distinct_of(const StructuredTemplateView& structure, std::size_t literal,
                                       std::span<const VariableCells> variables, std::vector<std::int64_t>& called);
    [[nodiscard]] std::optional<AffinePlan> affine_plan(std::span<const std::vector<std::int64_t>> values,
                                                        std::int64_t count, std::int64_t first_auxiliary) const;
    [[nodiscard]] FlatClauses instantiate_affine(const AffinePlan& plan,
                                                 std::span<const std::vector<std::int64_t>> values,
                                                 std::int64_t count, std::int64_t first_auxiliary) const;
    [[nodiscard]] FlatClauses instantiate_checked(std::span<const std::vector<std::int64_t>> values,
                                                  std::int64_t count, std::int64_t first_auxiliary,
                                                  bool whole_blocks) const;
    // The number of a distinct literal in the instance whose auxiliaries start at start (nullopt past 64 bits).
    [[nodiscard]] std::int64_t number_of(std::size_t literal, std::span<const std::int64_t> current,
                                         std::optional<std::int64_t> start, std::vector<std::int64_t>& cell,
                                         std::int64_t instance) const;
};

}  // namespace kelvo
