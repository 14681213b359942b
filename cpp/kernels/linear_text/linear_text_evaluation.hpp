#pragma once
// Evaluation of a linear model's expression text with the host's meaning,
// terms streamed into one accumulator per row: every term is written once,
// scaled by the number factors around it, so cost and memory stay
// proportional to the terms however the text nests its sums. The numbers are
// the host's to the last bit: factors are applied from the innermost out and
// constants are summed and scaled as the host's compiled expressions do. What the host
// would evaluate differently or refuse (a wrong index, an overflowing
// integer, a name it does not know, a product of a quadratic part) throws
// OutsideNativeText, and the host evaluates the text itself.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "kernels/linear_text/element_layout.hpp"
#include "kernels/linear_text/linear_text_syntax.hpp"
#include "kernels/linear_text/sparse_row_accumulator.hpp"

namespace vx {

// A host number of the subset: a 64-bit integer or a real.
struct TextNumber {
    bool integral = true;
    std::int64_t integer = 0;
    double real = 0.0;

    [[nodiscard]] double as_real() const { return integral ? static_cast<double>(integer) : real; }
};

// What the names of a text stand for besides the index names its for clauses
// bind: the model's variables and the sequences bound for the foralls values.
struct LinearTextNames {
    std::unordered_map<std::string, const ElementLayout*> variables;
    std::unordered_map<std::string, std::vector<TextNumber>> sequences;
};

// A compiled expression: constant, terms, and whether every coefficient is an
// integer (a product of integer factors).
struct TextExpression {
    TextNumber constant;
    SparseRowAccumulator terms;
    bool integral = true;
};

// The rows of a constraint text, a list or list comprehension of linear
// expressions: constants and merged linear parts compressed by row.
struct TextRows {
    std::vector<double> constants;
    CompressedMatrix matrix;
};

TextExpression evaluate_linear_expression(const LinearSyntaxTree& tree, const LinearTextNames& names);
TextRows evaluate_linear_rows(const LinearSyntaxTree& tree, const LinearTextNames& names);

}  // namespace vx
