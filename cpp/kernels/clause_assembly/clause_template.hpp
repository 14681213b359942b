#pragma once
// A parsed clause template whose literal texts are all within the native
// grammar: a variable call, "-" before it when negated, whose index texts are
// index expressions, or an auxiliary name between apostrophes. Each text is
// parsed once; instantiate() then covers every combination of index values.

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kernels/clause_assembly/auxiliary_literal.hpp"
#include "kernels/clause_assembly/clause_writer.hpp"
#include "kernels/clause_assembly/index_expression.hpp"
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

// The 64-bit arithmetic of an index expression overflowed: only the host's
// integers give the right answer.
class HostEvaluationNeeded : public std::runtime_error {
public:
    HostEvaluationNeeded() : std::runtime_error("index arithmetic beyond 64 bits") {}
};

// Reads every auxiliary literal of the template, so that a refused one is
// refused whichever path evaluates the template and however many instances
// it has. Throws std::invalid_argument (see parse_auxiliary_literal).
void check_auxiliary_literals(std::span<const std::vector<std::string>> clauses, const AuxiliaryBlock& block);

// Throws std::invalid_argument unless ends rise to literal_count.
void check_clause_ends(std::span<const std::int64_t> ends, std::size_t literal_count);

class ClauseTemplate {
public:
    // nullopt when some literal text is outside the native grammar, names an
    // unknown variable or index, or calls a variable with the wrong number of
    // values: the host evaluates such a template.
    static std::optional<ClauseTemplate> compile(std::span<const std::vector<std::string>> clauses,
                                                 std::span<const std::string> index_names,
                                                 std::span<const VariableShape> variables,
                                                 const AuxiliaryBlock& block);

    // The same from the engine's structured template: nothing is read but
    // numbers. Variables are taken by position in variables, none hidden (the
    // engine's reader declines an index named like a variable). Throws
    // std::invalid_argument for arrays that disagree or a cell or auxiliary
    // outside the variables or the block.
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
        std::vector<IndexExpression> indexes;
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

    // The shapes of the variables, those named like an index left out (an
    // index hides a variable of its name inside the host's comprehension).
    static std::optional<ClauseTemplate> with_shapes(std::size_t index_count,
                                                     std::span<const VariableShape> variables,
                                                     const AuxiliaryBlock& block,
                                                     std::span<const std::string> hiding_names);
    // A variable call, "-" before it when negated; nullopt outside the grammar.
    [[nodiscard]] std::optional<TemplateLiteral> parse_call(std::string_view text,
                                                            std::span<const std::string> index_names) const;
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
