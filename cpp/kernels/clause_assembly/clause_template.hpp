#pragma once
// A compiled clause template: the engine's structured template with the
// variables' shapes and the auxiliary block, each literal a variable call whose
// index values are affine in the indexes, or an auxiliary. instantiate() covers
// every combination of index values.

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "kernels/clause_assembly/auxiliary_literal.hpp"
#include "kernels/clause_assembly/clause_writer.hpp"
#include "kernels/clause_assembly/structured_template.hpp"
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
    // An index value: constant + coefficient * value of index, term by term.
    struct AffineIndex {
        struct Term {
            std::size_t index;
            std::int64_t coefficient;
        };
        std::int64_t constant = 0;
        std::vector<Term> terms;

        // nullopt when the 64-bit arithmetic overflows.
        [[nodiscard]] std::optional<std::int64_t> evaluate(std::span<const std::int64_t> values) const {
            std::int64_t value = constant;
            for (const auto& term : terms) {
                std::int64_t product = 0;
                if (__builtin_mul_overflow(term.coefficient, values[term.index], &product) ||
                    __builtin_add_overflow(value, product, &value)) {
                    return std::nullopt;
                }
            }
            return value;
        }
    };

    // The engine's structured template: nothing is read but numbers.
    // Variables are taken by position in variables, none hidden (the engine's
    // readers decline an index named like a variable). nullopt when the
    // variables' numbers do not fit 64 bits. Throws std::invalid_argument for
    // arrays that disagree or a cell or auxiliary outside the variables or the block.
    static std::optional<ClauseTemplate> compile_structured(const StructuredTemplate& structure,
                                                            std::span<const VariableShape> variables,
                                                            const AuxiliaryBlock& block);

    // The clauses of every instance, the first index outermost; values holds
    // one sequence per index name. weights: as for ClauseWriter. Throws
    // CellOutOfRange, HostEvaluationNeeded, std::invalid_argument.
    [[nodiscard]] InstantiatedClauses instantiate(std::span<const std::vector<std::int64_t>> values,
                                                  std::span<const std::uint64_t> weights) const;

private:
    struct Call {
        std::size_t variable = 0;
        std::vector<AffineIndex> indexes;
    };
    struct TemplateLiteral {
        bool negated = false;
        bool auxiliary = false;
        AuxiliaryLiteral auxiliary_literal;
        Call call;
    };
    struct Shape {
        std::string name;
        std::int64_t first;
        std::vector<std::int64_t> sizes;
        std::vector<std::int64_t> strides;
    };

    // nullopt when the variables' numbers do not fit 64 bits.
    static std::optional<ClauseTemplate> with_shapes(std::size_t index_count,
                                                     std::span<const VariableShape> variables,
                                                     const AuxiliaryBlock& block);
    // Literal l of a structured template, positive.
    [[nodiscard]] TemplateLiteral structured_literal(const StructuredTemplate& structure, std::size_t literal) const;
    // The call of the cell of that number; nullopt when no variable has it.
    [[nodiscard]] std::optional<TemplateLiteral> cell_call(std::int64_t number) const;

    // Every literal's number as one affine function of the index values,
    // when every instance is known in advance to stay inside the dimensions.
    struct AffinePlan;
    [[nodiscard]] std::optional<AffinePlan> affine_plan(std::span<const std::vector<std::int64_t>> values,
                                                        std::int64_t count) const;
    [[nodiscard]] InstantiatedClauses instantiate_affine(const AffinePlan& plan,
                                                         std::span<const std::vector<std::int64_t>> values,
                                                         std::span<const std::uint64_t> weights,
                                                         std::int64_t count) const;
    [[nodiscard]] InstantiatedClauses instantiate_checked(std::span<const std::vector<std::int64_t>> values,
                                                          std::span<const std::uint64_t> weights,
                                                          std::int64_t count) const;
    void number_instance(std::span<const std::int64_t> values, std::vector<std::int64_t>& cell,
                         ClauseWriter& writer) const;
    [[nodiscard]] std::int64_t number_call(const Call& call, std::span<const std::int64_t> values,
                                           std::vector<std::int64_t>& cell) const;

    // A literal of the clauses: one of the distinct literals read, negated or not.
    struct LiteralUse {
        std::size_t read;
        bool negated;
    };

    AuxiliaryBlock block_;
    std::vector<Shape> shapes_;
    // Each distinct name is read once; the clauses refer to it by position.
    std::vector<TemplateLiteral> read_;
    std::vector<LiteralUse> literals_;
    // Clause c holds literals_[clause_ends_[c - 1] .. clause_ends_[c]).
    std::vector<std::size_t> clause_ends_;
    std::size_t index_count_ = 0;
};

}  // namespace vx
