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
#include "kernels/clause_assembly/variable_shape.hpp"

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
    // readers decline an index named like a variable). nullopt when the
    // variables' numbers do not fit 64 bits. Throws std::invalid_argument for
    // arrays that disagree or a cell or auxiliary outside the variables or the block.
    static std::optional<ClauseTemplate> compile_structured(const kelvo::StructuredTemplateView& structure,
                                                            std::span<const VariableShape> variables,
                                                            const AuxiliaryBlock& block);

    // The clauses of every instance, the first index outermost; values holds
    // one sequence per index name. weights: one per template clause for a
    // soft constraint, empty for a hard one. Throws CellOutOfRange,
    // HostEvaluationNeeded, std::invalid_argument.
    [[nodiscard]] InstantiatedClauses instantiate(std::span<const std::vector<std::int64_t>> values,
                                                  std::span<const std::uint64_t> weights) const;

private:
    ClauseTemplate(kelvo::TemplateInstantiator instantiator, AuxiliaryBlock block, std::vector<std::string> names)
        : instantiator_(std::move(instantiator)), block_(block), names_(std::move(names)) {}

    kelvo::TemplateInstantiator instantiator_;
    AuxiliaryBlock block_;
    std::vector<std::string> names_;  // of the variables, by position
};

}  // namespace vx
