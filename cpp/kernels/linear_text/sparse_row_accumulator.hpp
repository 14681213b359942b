#pragma once
// The coefficients of one compiled linear or quadratic expression over solver
// columns. Building an expression only appends terms to flat buffers; equal
// columns are merged once, when the expression is read or sent as a row. So a
// row of k terms costs O(k log k) however many operators built it.

#include <cstdint>
#include <span>
#include <vector>

namespace vx {

struct LinearTerm {
    std::int64_t column;
    double coefficient;
};

struct QuadraticTerm {
    std::int64_t row;
    std::int64_t column;
    double value;
};

// A sparse vector with ascending, distinct indices and no zero value.
struct MergedVector {
    std::vector<std::int64_t> indices;
    std::vector<double> values;
};

// A sparse matrix as coordinates, sorted by row then column, duplicates summed.
struct CoordinateMatrix {
    std::vector<std::int64_t> rows;
    std::vector<std::int64_t> columns;
    std::vector<double> values;
};

// A sparse matrix compressed by row or by column: starts has one entry more
// than there are rows (columns).
struct CompressedMatrix {
    std::vector<std::int64_t> starts;
    std::vector<std::int64_t> indices;
    std::vector<double> values;
};

class SparseRowAccumulator {
public:
    // No term, length 0: the coefficients of a constant.
    SparseRowAccumulator() = default;

    // The coefficient 1 for one column; the length is column + 1.
    static SparseRowAccumulator single_column(std::int64_t column);
    static SparseRowAccumulator from_terms(std::span<const std::int64_t> columns,
                                           std::span<const double> coefficients, std::int64_t length);
    // All terms of all parts; the longest part gives the length.
    static SparseRowAccumulator sum(std::span<const SparseRowAccumulator* const> parts);

    [[nodiscard]] SparseRowAccumulator with_quadratic_part(std::span<const std::int64_t> rows,
                                                           std::span<const std::int64_t> columns,
                                                           std::span<const double> values, std::int64_t size) const;
    // this + sign * other, linear and quadratic parts alike.
    [[nodiscard]] SparseRowAccumulator plus(const SparseRowAccumulator& other, double sign) const;
    [[nodiscard]] SparseRowAccumulator scaled(double factor) const;
    // The non-constant part of (own_constant + this)(other_constant + other):
    // linear b0 a + a0 b and the symmetric quadratic part (a b^T + b a^T) / 2.
    // Both operands must be linear.
    [[nodiscard]] SparseRowAccumulator times(const SparseRowAccumulator& other, double own_constant,
                                             double other_constant) const;

    // In place: one term more, the length grown to cover its column.
    void append_term(std::int64_t column, double coefficient);
    // In place: this + factor * other, linear and quadratic parts alike.
    void append_scaled(const SparseRowAccumulator& other, double factor);
    // Appends the merged linear part as the next row of rows (whose starts
    // already hold the row's start) and leaves this accumulator empty.
    void move_merged_row_into(CompressedMatrix& rows);

    [[nodiscard]] std::int64_t length() const { return length_; }
    [[nodiscard]] bool has_quadratic_part() const { return has_quadratic_part_; }
    [[nodiscard]] std::int64_t quadratic_size() const { return quadratic_size_; }

    [[nodiscard]] MergedVector merged_linear_part() const;
    [[nodiscard]] CoordinateMatrix merged_quadratic_part() const;
    // factor * Q compressed by column, as a dimension x dimension matrix.
    [[nodiscard]] CompressedMatrix quadratic_part_by_column(double factor, std::int64_t dimension) const;

    // The merged linear parts of rows, compressed by row.
    static CompressedMatrix rows_by_row(std::span<const SparseRowAccumulator* const> rows);

private:
    std::vector<LinearTerm> linear_;
    std::int64_t length_ = 0;
    std::vector<QuadraticTerm> quadratic_;
    std::int64_t quadratic_size_ = 0;
    bool has_quadratic_part_ = false;
};

}  // namespace vx
