#pragma once
// A compiled clause template: the engine's structured template with the
// variables' shapes and the auxiliary block, numbered for every combination of
// index values by the engine's instantiator. The kernels add what is the
// package's: the shapes it passes, soft clauses' weights, the auxiliaries'
// first uses for their names, and the errors the host reads.

#include <cstdint>
#include <optional>
#include <utility>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/instantiation/structured_template_view.hpp"
#include "engine/instantiation/template_instantiator.hpp"
#include "kernels/clause_assembly/auxiliary_literal.hpp"
#include "kernels/clause_assembly/clause_writer.hpp"
#include "engine/instantiation/variable_cells.hpp"

namespace vx {

// Index values of a call outside the variable's dimensions.
class CellOutOfRange : public std::out_of_range {
public:
    CellOutOfRange(std::string variable, std::vector<std::int64_t> values)
        : std::out_of_range("index values out of the dimensions of variable " + variable),
          variable(std::move(variable)), values(std::move(values)) {}

    std::string variable;
    std::vector<std::int64_t> values;
};

// The 64-bit arithmetic of an index value overflowed: only the host's
// integers give the right answer.
class HostEvaluationNeeded : public std::runtime_error {
public:
    HostEvaluationNeeded() : std::runtime_error("index arithmetic beyond 64 bits") {}
};

// Reads every quoted auxiliary literal of a template of literal texts, so that
// a refused one is refused whichever road evaluates the template and however
// many instances it has. Throws std::invalid_argument (see parse_auxiliary_literal).
void check_auxiliary_literals(std::span<const std::vector<std::string>> clauses, const AuxiliaryBlock& block);

class ClauseTemplate {
public:
    // The engine's structured template: nothing is read but numbers.
    // Variables are taken by position in variables, none hidden (the engine's
    // readers decline an index named like a variable); the template's
    // auxiliaries are slots.pbct and slots.bxpr per instance. Throws
    // std::invalid_argument for arrays that disagree or a cell or auxiliary
    // outside the variables or the slots. With kelvo::CellNumbers::per_call
    // the template is a shape's, its cells and parameters bound per call.
    ClauseTemplate(const kelvo::StructuredTemplateView& structure, std::span<const kelvo::VariableCells> variables,
                   kelvo::AuxiliarySlots slots, kelvo::CellNumbers cells = kelvo::CellNumbers::in_template);

    // The clauses of every instance, the first index outermost, instance k's
    // auxiliaries in the k-th block from first_auxiliary; values holds one
    // sequence per index name, bindings a shape's cells and parameters.
    // weights: one per template clause for a soft constraint, empty for a
    // hard one. Throws CellOutOfRange, HostEvaluationNeeded, std::invalid_argument.
    [[nodiscard]] InstantiatedClauses instantiate(std::span<const std::vector<std::int64_t>> values,
                                                  std::span<const std::uint64_t> weights,
                                                  std::int64_t first_auxiliary,
                                                  kelvo::ShapeBindings bindings = {}) const;

    [[nodiscard]] const kelvo::AuxiliarySlots& slots() const { return instantiator_.slots(); }
    // How many literals instantiating over values writes, saturating at the largest count.
    [[nodiscard]] std::uint64_t literals_written(std::span<const std::vector<std::int64_t>> values) const;

private:
    kelvo::TemplateInstantiator instantiator_;
    // The positions and names of the variables the template calls: a
    // template compiled per shape keeps few of a model's many.
    std::vector<std::pair<std::size_t, std::string>> names_;
};

}  // namespace vx
