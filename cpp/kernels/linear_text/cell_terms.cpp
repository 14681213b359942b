#include "kernels/linear_text/cell_terms.hpp"

#include <utility>

namespace vx {

namespace {

// The constant of a term: the cell's integer 0 times the factor, as the host
// multiplies it (a real factor makes a real zero, of the factor's sign).
TextNumber constant_of(const TermCoefficient& coefficient) {
    if (coefficient.kind == CoefficientKind::real) return {false, 0, coefficient.real * 0.0};
    return {true, 0, 0.0};
}

TextNumber added(TextNumber left, TextNumber right) {
    if (left.integral && right.integral) return {true, 0, 0.0};  // both constants are 0
    return {false, 0, left.as_real() + right.as_real()};
}

}  // namespace

double TermCoefficient::value() const {
    switch (kind) {
        case CoefficientKind::unit:
            return 1.0;
        case CoefficientKind::real:
            return real;
        default:
            return static_cast<double>(integer);
    }
}

TextExpression expression_of_term(const CellTerm& term) {
    TextExpression expression;
    expression.constant = constant_of(term.coefficient);
    // The factor times the cell's coefficient 1, as the text reader scales it.
    expression.terms.append_term(term.column, term.coefficient.value() * 1.0);
    expression.integral = term.coefficient.integral();
    return expression;
}

TextExpression expression_of_term_sum(std::span<const CellTerm> terms) {
    TextExpression expression;
    for (const auto& term : terms) {
        expression.constant = added(expression.constant, constant_of(term.coefficient));
        expression.terms.append_term(term.column, term.coefficient.value() * 1.0);
        expression.integral = expression.integral && term.coefficient.integral();
    }
    return expression;
}

TextRows row_of(TextExpression expression) {
    TextRows rows;
    rows.constants.push_back(expression.constant.as_real());
    rows.matrix.starts.push_back(0);
    expression.terms.move_merged_row_into(rows.matrix);
    return rows;
}

}  // namespace vx
