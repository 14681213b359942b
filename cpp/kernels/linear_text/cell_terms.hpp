#pragma once
// Terms that a caller writes as numbers: a variable's cell, or a plain number
// times one, kept as (column, coefficient) from the moment they are written.
// Their expression is what the host's reading of their text gives, to the
// last bit: the same coefficients, the same constant (an integer 0, or the
// real 0.0 a real factor makes) and the same merged row.

#include <cstdint>
#include <span>

#include "kernels/linear_text/linear_text_evaluation.hpp"

namespace vx {

// How a term's factor was written; unit: the bare cell, no factor.
enum class CoefficientKind : std::uint8_t { unit = 0, integer, boolean, real };

// Zero-initialised memory is the unit factor.
struct TermCoefficient {
    CoefficientKind kind = CoefficientKind::unit;
    std::int64_t integer = 0;  // the integer or boolean written
    double real = 0.0;         // the real written

    [[nodiscard]] double value() const;
    [[nodiscard]] bool integral() const { return kind != CoefficientKind::real; }
};

struct CellTerm {
    std::int64_t column;
    TermCoefficient coefficient;
};

// One term on its own, as its text "c * (x(..))" or "x(..)" reads.
TextExpression expression_of_term(const CellTerm& term);
// The sum of terms, as "CompiledSum([t1, t2, ...])" reads.
TextExpression expression_of_term_sum(std::span<const CellTerm> terms);
// The one row of an expression: its constant and its merged linear part.
TextRows row_of(TextExpression expression);

}  // namespace vx
