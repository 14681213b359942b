#include "kernels/linear_text/sparse_row_accumulator.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace vx {

namespace {

void require_column_in_range(std::int64_t column, std::int64_t length) {
    if (column < 0 || column >= length) {
        throw std::out_of_range("column " + std::to_string(column) + " is outside a vector of length " +
                                std::to_string(length));
    }
}

// Sorts the terms by column (stably, so that sums are reproducible) and
// appends one entry per column holding the sum of its coefficients; columns
// whose sum is zero are left out.
void append_merged(std::vector<LinearTerm>& terms, std::vector<std::int64_t>& indices, std::vector<double>& values) {
    std::stable_sort(terms.begin(), terms.end(),
                     [](const LinearTerm& left, const LinearTerm& right) { return left.column < right.column; });
    for (std::size_t position = 0; position < terms.size();) {
        const auto column = terms[position].column;
        double sum = 0.0;
        for (; position < terms.size() && terms[position].column == column; ++position) {
            sum += terms[position].coefficient;
        }
        if (sum != 0.0) {
            indices.push_back(column);
            values.push_back(sum);
        }
    }
}

MergedVector merged(std::vector<LinearTerm> terms) {
    MergedVector result;
    append_merged(terms, result.indices, result.values);
    return result;
}

// Sorts by (major, minor) and sums duplicates, leaving out zero sums.
template <class Major, class Minor>
std::vector<QuadraticTerm> merged_entries(std::vector<QuadraticTerm> entries, Major major, Minor minor) {
    std::stable_sort(entries.begin(), entries.end(), [&](const QuadraticTerm& left, const QuadraticTerm& right) {
        return major(left) != major(right) ? major(left) < major(right) : minor(left) < minor(right);
    });
    std::vector<QuadraticTerm> result;
    for (std::size_t position = 0; position < entries.size();) {
        QuadraticTerm entry{entries[position].row, entries[position].column, 0.0};
        for (; position < entries.size() && entries[position].row == entry.row &&
               entries[position].column == entry.column;
             ++position) {
            entry.value += entries[position].value;
        }
        if (entry.value != 0.0) result.push_back(entry);
    }
    return result;
}

}  // namespace

SparseRowAccumulator SparseRowAccumulator::single_column(std::int64_t column) {
    if (column < 0) throw std::out_of_range("column " + std::to_string(column) + " is negative");
    SparseRowAccumulator result;
    result.linear_.push_back({column, 1.0});
    result.length_ = column + 1;
    return result;
}

SparseRowAccumulator SparseRowAccumulator::from_terms(std::span<const std::int64_t> columns,
                                                      std::span<const double> coefficients, std::int64_t length) {
    if (columns.size() != coefficients.size()) {
        throw std::invalid_argument("columns and coefficients differ in length");
    }
    if (length < 0) throw std::invalid_argument("a vector length must not be negative");
    SparseRowAccumulator result;
    result.length_ = length;
    result.linear_.reserve(columns.size());
    for (std::size_t position = 0; position < columns.size(); ++position) {
        require_column_in_range(columns[position], length);
        result.linear_.push_back({columns[position], coefficients[position]});
    }
    return result;
}

SparseRowAccumulator SparseRowAccumulator::sum(std::span<const SparseRowAccumulator* const> parts) {
    SparseRowAccumulator result;
    std::size_t linear_count = 0;
    std::size_t quadratic_count = 0;
    for (const auto* part : parts) {
        linear_count += part->linear_.size();
        quadratic_count += part->quadratic_.size();
    }
    result.linear_.reserve(linear_count);
    result.quadratic_.reserve(quadratic_count);
    for (const auto* part : parts) {
        result.linear_.insert(result.linear_.end(), part->linear_.begin(), part->linear_.end());
        result.quadratic_.insert(result.quadratic_.end(), part->quadratic_.begin(), part->quadratic_.end());
        result.length_ = std::max(result.length_, part->length_);
        result.quadratic_size_ = std::max(result.quadratic_size_, part->quadratic_size_);
        result.has_quadratic_part_ = result.has_quadratic_part_ || part->has_quadratic_part_;
    }
    return result;
}

SparseRowAccumulator SparseRowAccumulator::with_quadratic_part(std::span<const std::int64_t> rows,
                                                               std::span<const std::int64_t> columns,
                                                               std::span<const double> values,
                                                               std::int64_t size) const {
    if (rows.size() != columns.size() || rows.size() != values.size()) {
        throw std::invalid_argument("rows, columns and values of a quadratic part differ in length");
    }
    if (size < 0) throw std::invalid_argument("a matrix size must not be negative");
    SparseRowAccumulator result = *this;
    result.quadratic_.clear();
    result.quadratic_.reserve(rows.size());
    for (std::size_t position = 0; position < rows.size(); ++position) {
        require_column_in_range(rows[position], size);
        require_column_in_range(columns[position], size);
        result.quadratic_.push_back({rows[position], columns[position], values[position]});
    }
    result.quadratic_size_ = size;
    result.has_quadratic_part_ = true;
    return result;
}

SparseRowAccumulator SparseRowAccumulator::plus(const SparseRowAccumulator& other, double sign) const {
    SparseRowAccumulator result = *this;
    result.linear_.reserve(linear_.size() + other.linear_.size());
    for (const auto& term : other.linear_) result.linear_.push_back({term.column, sign * term.coefficient});
    result.quadratic_.reserve(quadratic_.size() + other.quadratic_.size());
    for (const auto& entry : other.quadratic_) result.quadratic_.push_back({entry.row, entry.column, sign * entry.value});
    result.length_ = std::max(length_, other.length_);
    result.quadratic_size_ = std::max(quadratic_size_, other.quadratic_size_);
    result.has_quadratic_part_ = has_quadratic_part_ || other.has_quadratic_part_;
    return result;
}

void SparseRowAccumulator::append_term(std::int64_t column, double coefficient) {
    if (column < 0) throw std::out_of_range("column " + std::to_string(column) + " is negative");
    linear_.push_back({column, coefficient});
    length_ = std::max(length_, column + 1);
}

void SparseRowAccumulator::append_scaled(const SparseRowAccumulator& other, double factor) {
    linear_.reserve(linear_.size() + other.linear_.size());
    for (const auto& term : other.linear_) linear_.push_back({term.column, factor * term.coefficient});
    quadratic_.reserve(quadratic_.size() + other.quadratic_.size());
    for (const auto& entry : other.quadratic_) quadratic_.push_back({entry.row, entry.column, factor * entry.value});
    length_ = std::max(length_, other.length_);
    quadratic_size_ = std::max(quadratic_size_, other.quadratic_size_);
    has_quadratic_part_ = has_quadratic_part_ || other.has_quadratic_part_;
}

void SparseRowAccumulator::move_merged_row_into(CompressedMatrix& rows) {
    append_merged(linear_, rows.indices, rows.values);
    rows.starts.push_back(static_cast<std::int64_t>(rows.indices.size()));
    // Emptied in place, so that the next row reuses the buffers.
    linear_.clear();
    quadratic_.clear();
    length_ = 0;
    quadratic_size_ = 0;
    has_quadratic_part_ = false;
}

SparseRowAccumulator SparseRowAccumulator::scaled(double factor) const {
    SparseRowAccumulator result = *this;
    for (auto& term : result.linear_) term.coefficient *= factor;
    for (auto& entry : result.quadratic_) entry.value *= factor;
    return result;
}

SparseRowAccumulator SparseRowAccumulator::times(const SparseRowAccumulator& other, double own_constant,
                                                 double other_constant) const {
    if (has_quadratic_part_ || other.has_quadratic_part_) {
        throw std::invalid_argument("only two linear expressions can be multiplied");
    }
    const MergedVector own = merged(linear_);
    const MergedVector others = merged(other.linear_);

    SparseRowAccumulator result;
    result.length_ = std::max(length_, other.length_);
    result.linear_.reserve(own.indices.size() + others.indices.size());
    for (std::size_t position = 0; position < own.indices.size(); ++position) {
        result.linear_.push_back({own.indices[position], other_constant * own.values[position]});
    }
    for (std::size_t position = 0; position < others.indices.size(); ++position) {
        result.linear_.push_back({others.indices[position], own_constant * others.values[position]});
    }
    result.quadratic_.reserve(2 * own.indices.size() * others.indices.size());
    for (std::size_t left = 0; left < own.indices.size(); ++left) {
        for (std::size_t right = 0; right < others.indices.size(); ++right) {
            const double half = 0.5 * own.values[left] * others.values[right];
            result.quadratic_.push_back({own.indices[left], others.indices[right], half});
            result.quadratic_.push_back({others.indices[right], own.indices[left], half});
        }
    }
    result.quadratic_size_ = result.length_;
    result.has_quadratic_part_ = true;
    return result;
}

MergedVector SparseRowAccumulator::merged_linear_part() const { return merged(linear_); }

CoordinateMatrix SparseRowAccumulator::merged_quadratic_part() const {
    const auto entries = merged_entries(
        quadratic_, [](const QuadraticTerm& entry) { return entry.row; },
        [](const QuadraticTerm& entry) { return entry.column; });
    CoordinateMatrix result;
    result.rows.reserve(entries.size());
    result.columns.reserve(entries.size());
    result.values.reserve(entries.size());
    for (const auto& entry : entries) {
        result.rows.push_back(entry.row);
        result.columns.push_back(entry.column);
        result.values.push_back(entry.value);
    }
    return result;
}

CompressedMatrix SparseRowAccumulator::quadratic_part_by_column(double factor, std::int64_t dimension) const {
    if (dimension < 0) throw std::invalid_argument("a matrix dimension must not be negative");
    const auto entries = merged_entries(
        quadratic_, [](const QuadraticTerm& entry) { return entry.column; },
        [](const QuadraticTerm& entry) { return entry.row; });
    CompressedMatrix result;
    result.starts.assign(static_cast<std::size_t>(dimension) + 1, 0);
    result.indices.reserve(entries.size());
    result.values.reserve(entries.size());
    for (const auto& entry : entries) {
        require_column_in_range(entry.row, dimension);
        require_column_in_range(entry.column, dimension);
        ++result.starts[static_cast<std::size_t>(entry.column) + 1];
        result.indices.push_back(entry.row);
        result.values.push_back(factor * entry.value);
    }
    for (std::size_t column = 1; column < result.starts.size(); ++column) {
        result.starts[column] += result.starts[column - 1];
    }
    return result;
}

CompressedMatrix SparseRowAccumulator::rows_by_row(std::span<const SparseRowAccumulator* const> rows) {
    CompressedMatrix result;
    std::size_t term_count = 0;
    for (const auto* row : rows) term_count += row->linear_.size();
    result.starts.reserve(rows.size() + 1);
    result.indices.reserve(term_count);
    result.values.reserve(term_count);
    result.starts.push_back(0);
    std::vector<LinearTerm> scratch;
    for (const auto* row : rows) {
        scratch.assign(row->linear_.begin(), row->linear_.end());
        append_merged(scratch, result.indices, result.values);
        result.starts.push_back(static_cast<std::int64_t>(result.indices.size()));
    }
    return result;
}

}  // namespace vx
