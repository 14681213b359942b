#include "kernels/clause_assembly/index_expression.hpp"

#include <algorithm>
#include <array>

#include "engine/support/text_characters.hpp"

namespace vx {

namespace {

constexpr std::size_t max_depth = 64;

using Step = IndexExpression::Step;
using Operation = IndexExpression::Operation;

// Recursive descent over the text, writing a postfix program; fails (nullopt)
// on anything outside the grammar rather than guessing what the host would do.
class Parser {
public:
    Parser(std::string_view text, std::span<const std::string> names) : text_(text), names_(names) {}

    std::optional<std::vector<Step>> parse() {
        if (!sum(0) || (skip_blanks(), position_ != text_.size())) return std::nullopt;
        return std::move(program_);
    }

private:
    bool sum(std::size_t depth) {
        if (!product(depth)) return false;
        for (;;) {
            const char sign = peek();
            if (sign != '+' && sign != '-') return true;
            ++position_;
            if (!product(depth)) return false;
            program_.push_back({sign == '+' ? Operation::add : Operation::subtract, 0});
        }
    }

    bool product(std::size_t depth) {
        if (!unary(depth)) return false;
        while (peek() == '*') {
            ++position_;
            if (peek() == '*') return false;  // power
            if (!unary(depth)) return false;
            program_.push_back({Operation::multiply, 0});
        }
        return true;
    }

    bool unary(std::size_t depth) {
        if (depth > max_depth) return false;
        const char sign = peek();
        if (sign == '+' || sign == '-') {
            ++position_;
            if (!unary(depth + 1)) return false;
            if (sign == '-') program_.push_back({Operation::negate, 0});
            return true;
        }
        return atom(depth);
    }

    bool atom(std::size_t depth) {
        const char first = peek();
        if (first == '(') {
            ++position_;
            if (!sum(depth + 1) || peek() != ')') return false;
            ++position_;
            return true;
        }
        if (kelvo::text::is_digit(first)) return number();
        if (kelvo::text::starts_name(first)) return name();
        return false;
    }

    bool number() {
        const auto begin = position_;
        while (position_ < text_.size() && kelvo::text::is_digit(text_[position_])) ++position_;
        const auto digits = text_.substr(begin, position_ - begin);
        // The host refuses leading zeros; letters, dots and underscores would
        // make another literal (1e3, 1.5, 1_000, 0x1).
        if ((digits.size() > 1 && digits[0] == '0') || digits.size() > 18 || at_word_character()) return false;
        std::int64_t value = 0;
        for (const char digit : digits) value = value * 10 + (digit - '0');
        program_.push_back({Operation::constant, value});
        return true;
    }

    bool name() {
        const auto begin = position_;
        while (at_word_character()) ++position_;
        const auto word = text_.substr(begin, position_ - begin);
        const auto found = std::find(names_.begin(), names_.end(), word);
        if (found == names_.end()) return false;
        program_.push_back({Operation::index, static_cast<std::int64_t>(found - names_.begin())});
        return true;
    }

    bool at_word_character() const {
        if (position_ >= text_.size()) return false;
        return kelvo::text::continues_name(text_[position_]) || text_[position_] == '.';
    }

    char peek() {
        skip_blanks();
        return position_ < text_.size() ? text_[position_] : '\0';
    }

    void skip_blanks() {
        while (position_ < text_.size() && kelvo::text::is_blank(text_[position_])) ++position_;
    }

    std::string_view text_;
    std::span<const std::string> names_;
    std::size_t position_ = 0;
    std::vector<Step> program_;
};

// A constant plus one coefficient per index, or none when the program
// multiplies two indexes or overflows while folding.
struct Affine {
    std::int64_t constant = 0;
    std::vector<std::int64_t> coefficients;

    bool is_constant() const {
        return std::all_of(coefficients.begin(), coefficients.end(), [](std::int64_t c) { return c == 0; });
    }
};

bool combine(Affine& left, const Affine& right, Operation operation) {
    switch (operation) {
        case Operation::add:
        case Operation::subtract: {
            const bool add = operation == Operation::add;
            auto apply = [add](std::int64_t& a, std::int64_t b) {
                return add ? !__builtin_add_overflow(a, b, &a) : !__builtin_sub_overflow(a, b, &a);
            };
            if (!apply(left.constant, right.constant)) return false;
            for (std::size_t i = 0; i < left.coefficients.size(); ++i) {
                if (!apply(left.coefficients[i], right.coefficients[i])) return false;
            }
            return true;
        }
        case Operation::multiply: {
            if (!left.is_constant() && !right.is_constant()) return false;
            const Affine& scaled = left.is_constant() ? right : left;
            const std::int64_t factor = left.is_constant() ? left.constant : right.constant;
            Affine product = scaled;
            if (__builtin_mul_overflow(scaled.constant, factor, &product.constant)) return false;
            for (std::size_t i = 0; i < product.coefficients.size(); ++i) {
                if (__builtin_mul_overflow(scaled.coefficients[i], factor, &product.coefficients[i])) return false;
            }
            left = std::move(product);
            return true;
        }
        default:
            return false;
    }
}

std::optional<Affine> fold(const std::vector<Step>& program, std::size_t index_count) {
    std::vector<Affine> stack;
    for (const auto& step : program) {
        switch (step.operation) {
            case Operation::constant:
                stack.push_back({step.operand, std::vector<std::int64_t>(index_count, 0)});
                break;
            case Operation::index: {
                Affine value{0, std::vector<std::int64_t>(index_count, 0)};
                value.coefficients[static_cast<std::size_t>(step.operand)] = 1;
                stack.push_back(std::move(value));
                break;
            }
            case Operation::negate: {
                Affine minus_one{-1, std::vector<std::int64_t>(index_count, 0)};
                if (!combine(stack.back(), minus_one, Operation::multiply)) return std::nullopt;
                break;
            }
            default: {
                Affine right = std::move(stack.back());
                stack.pop_back();
                if (!combine(stack.back(), right, step.operation)) return std::nullopt;
            }
        }
    }
    return std::move(stack.back());
}

}  // namespace

class IndexExpressionCompiler {
public:
    static IndexExpression build(std::vector<Step> program, std::size_t index_count) {
        IndexExpression expression;
        if (const auto affine = fold(program, index_count)) {
            expression.constant_ = affine->constant;
            for (std::size_t i = 0; i < index_count; ++i) {
                if (affine->coefficients[i] != 0) expression.terms_.push_back({i, affine->coefficients[i]});
            }
        } else {
            expression.affine_ = false;
            expression.program_ = std::move(program);
        }
        return expression;
    }
};

namespace {

// A whole decimal number as the parser reads one: no leading zero, at most 18 digits.
std::optional<std::int64_t> plain_number(std::string_view text) {
    if (text.empty() || text.size() > 18 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    std::int64_t value = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9') return std::nullopt;
        value = value * 10 + (digit - '0');
    }
    return value;
}

}  // namespace

std::optional<IndexExpression> IndexExpression::parse(std::string_view text, std::span<const std::string> index_names) {
    // The cells of a constraint are named by plain numbers, by the million.
    if (const auto number = plain_number(text)) return of_constant(*number);
    auto program = Parser(text, index_names).parse();
    if (!program) return std::nullopt;
    return IndexExpressionCompiler::build(std::move(*program), index_names.size());
}

std::optional<std::int64_t> IndexExpression::evaluate_program(std::span<const std::int64_t> values) const {
    // Each nesting level holds at most a pending sum and product operand.
    std::array<std::int64_t, 4 * max_depth + 8> stack{};
    std::size_t top = 0;
    for (const auto& step : program_) {
        switch (step.operation) {
            case Operation::constant: stack[top++] = step.operand; break;
            case Operation::index: stack[top++] = values[static_cast<std::size_t>(step.operand)]; break;
            case Operation::negate:
                if (__builtin_sub_overflow(std::int64_t{0}, stack[top - 1], &stack[top - 1])) return std::nullopt;
                break;
            case Operation::add:
                --top;
                if (__builtin_add_overflow(stack[top - 1], stack[top], &stack[top - 1])) return std::nullopt;
                break;
            case Operation::subtract:
                --top;
                if (__builtin_sub_overflow(stack[top - 1], stack[top], &stack[top - 1])) return std::nullopt;
                break;
            case Operation::multiply:
                --top;
                if (__builtin_mul_overflow(stack[top - 1], stack[top], &stack[top - 1])) return std::nullopt;
                break;
        }
    }
    return stack[0];
}

}  // namespace vx
