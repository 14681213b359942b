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
//
// A template compiled once for every text of a shape takes what differs
// between those texts per call: the numbers of its cells and the values of its
// parameters, indexes that every instance of the call shares.

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

// Whether a cell literal's value is its number, or its slot among the numbers a call binds.
enum class CellNumbers : std::uint8_t { in_template, per_call };

// What one call binds: cell literal s is cells[s] (with CellNumbers::per_call),
// and the last parameters.size() indexes take these values in every instance,
// as if each were an index of one value appended innermost.
struct ShapeBindings {
    std::span<const std::int64_t> cells;
    std::span<const std::int64_t> parameters;
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
    // dimension, or an auxiliary outside the slots. With CellNumbers::per_call
    // a cell's value is a slot, and the call's cells are the caller's to take
    // from the variables.
    TemplateInstantiator(const StructuredTemplateView& structure, std::span<const VariableCells> variables,
                         AuxiliarySlots slots, CellNumbers cells = CellNumbers::in_template);

    // The clauses of every combination of values (one sequence per index not
    // bound as a parameter). With whole_blocks, every instance's whole block
    // must be literals, used or not; otherwise only the numbers written. An
    // InstantiationFailure's index values are the combination of values, the
    // parameters left out. Throws InstantiationFailure, std::invalid_argument
    // for the wrong number of sequences or too few cells bound, and
    // std::length_error for more combinations than 64 bits count.
    [[nodiscard]] FlatClauses instantiate(std::span<const std::vector<std::int64_t>> values,
                                          std::int64_t first_auxiliary, bool whole_blocks,
                                          ShapeBindings bindings = {}) const;

    // Throws std::invalid_argument unless values and the parameters hold one
    // sequence or value per index, and the call binds every cell slot.
    void check_values(std::span<const std::vector<std::int64_t>> values, ShapeBindings bindings = {}) const;
    // The product of the lengths; throws std::length_error past 64 bits.
    [[nodiscard]] static std::int64_t instance_count(std::span<const std::vector<std::int64_t>> values);

    // The auxiliary slots in the order the clauses first use them, the same in every instance.
    [[nodiscard]] std::span<const std::int64_t> auxiliary_order() const { return auxiliary_order_; }
    [[nodiscard]] std::size_t clause_count() const { return clause_ends_.size(); }
    [[nodiscard]] std::size_t literal_count() const { return uses_.size(); }
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

    // The variables the occurrences call, each once: a template calls few of a model's many.
    std::vector<VariableCells> called_;
    AuxiliarySlots slots_;
    std::size_t index_count_ = 0;
    CellNumbers cell_numbers_ = CellNumbers::in_template;
    std::size_t cell_slots_ = 0;  // with CellNumbers::per_call, the cells a call binds
    std::vector<Distinct> distinct_;
    std::vector<std::int64_t> forms_;
    std::vector<Use> uses_;
    std::vector<std::size_t> clause_ends_;  // clause c ends before uses_[clause_ends_[c]]
    std::vector<std::int64_t> auxiliary_order_;
    // Per occurrence, its number at all index values 0 and its coefficient of
    // index n at r * index_count_ + n: the affine form of its number.
    std::vector<std::int64_t> affine_bases_;
    std::vector<std::int64_t> affine_rows_;

    [[nodiscard]] Distinct distinct_of(const StructuredTemplateView& structure, std::size_t literal,
                                       std::span<const VariableCells> variables, std::vector<std::int64_t>& called);
    // A cell literal's number in this call.
    [[nodiscard]] std::int64_t cell_number(const Distinct& literal, ShapeBindings bindings) const {
        return cell_numbers_ == CellNumbers::per_call ? bindings.cells[static_cast<std::size_t>(literal.value)]
                                                      : literal.value;
    }
    // Whether every instance stays inside the dimensions and the literals, so
    // that each number is its affine form.
    [[nodiscard]] bool affine_fits(std::span<const std::vector<std::int64_t>> values, std::int64_t count,
                                   std::int64_t first_auxiliary, ShapeBindings bindings) const;
    [[nodiscard]] FlatClauses instantiate_affine(std::span<const std::vector<std::int64_t>> values,
                                                 std::int64_t count, std::int64_t first_auxiliary,
                                                 ShapeBindings bindings) const;
    [[nodiscard]] FlatClauses instantiate_checked(std::span<const std::vector<std::int64_t>> values,
                                                  std::int64_t count, std::int64_t first_auxiliary,
                                                  bool whole_blocks, ShapeBindings bindings) const;
    // The number of a distinct literal in the instance whose auxiliaries start
    // at start (nullopt past 64 bits); a failure names the first named index values of current.
    [[nodiscard]] std::int64_t number_of(std::size_t literal, std::span<const std::int64_t> current, std::size_t named,
                                         std::optional<std::int64_t> start, std::vector<std::int64_t>& cell,
                                         std::int64_t instance, ShapeBindings bindings) const;
};

}  // namespace kelvo
