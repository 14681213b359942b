#pragma once
// An index expression of a variable call in a clause template: integers, index
// names, "+", "-", "*" and parentheses, with the host's integer semantics.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

class IndexExpression {
public:
    // nullopt when the text is outside that grammar or names something other
    // than one of index_names; such a template is left to the host.
    static std::optional<IndexExpression> parse(std::string_view text, std::span<const std::string> index_names);

    // The expression of one integer, as parse() reads its plain decimal text.
    static IndexExpression of_constant(std::int64_t value) {
        IndexExpression constant;
        constant.constant_ = value;
        return constant;
    }

    // constant + coefficients[n] * index n: the engine's form of an index text.
    static IndexExpression of_affine(std::int64_t constant, std::span<const std::int64_t> coefficients) {
        IndexExpression affine;
        affine.constant_ = constant;
        for (std::size_t n = 0; n < coefficients.size(); ++n) {
            if (coefficients[n] != 0) affine.terms_.push_back({n, coefficients[n]});
        }
        return affine;
    }

    // The value for the given values of the index names (by position in
    // index_names); nullopt when the 64-bit arithmetic overflows.
    [[nodiscard]] std::optional<std::int64_t> evaluate(std::span<const std::int64_t> values) const {
        return affine_ ? evaluate_affine(values) : evaluate_program(values);
    }

    // Most index texts are affine (i, i + 1, 2 * i - j): a constant and one
    // coefficient per index they read. Others run as a postfix program.
    struct Term {
        std::size_t index;
        std::int64_t coefficient;
    };
    [[nodiscard]] bool is_affine() const { return affine_; }
    [[nodiscard]] std::int64_t constant() const { return constant_; }
    [[nodiscard]] std::span<const Term> terms() const { return terms_; }

    enum class Operation : std::uint8_t { constant, index, add, subtract, multiply, negate };
    struct Step {
        Operation operation;
        std::int64_t operand;  // the constant, or the index position
    };

private:
    [[nodiscard]] std::optional<std::int64_t> evaluate_affine(std::span<const std::int64_t> values) const {
        std::int64_t value = constant_;
        for (const auto& term : terms_) {
            std::int64_t product = 0;
            if (__builtin_mul_overflow(term.coefficient, values[term.index], &product) ||
                __builtin_add_overflow(value, product, &value)) {
                return std::nullopt;
            }
        }
        return value;
    }
    [[nodiscard]] std::optional<std::int64_t> evaluate_program(std::span<const std::int64_t> values) const;

    friend class IndexExpressionCompiler;

    bool affine_ = true;
    std::int64_t constant_ = 0;
    std::vector<Term> terms_;
    std::vector<Step> program_;
};

}  // namespace vx
